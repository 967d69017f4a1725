#!/usr/bin/env node
// Checks a WACZ package against WACZ 1.1.1 and what ReplayWeb.page 2.5 needs.
//
//   node check_wacz.mjs [--strict] FILE.wacz
//
// Reads the ZIP central directory itself (method, sizes, offsets) and checks:
//  - datapackage.json: profile, wacz_version, every file listed in resources
//    with the right bytes and "sha256:<hex>" hash; datapackage-digest.json;
//  - archive/: WARC files, STORED (ReplayWeb.page reads records by range);
//  - indexes/: a .cdxj/.cdx that ReplayWeb.page loads (a lone .cdx.gz is
//    ignored by it), compared with warcio.js's index of archive/ (cdx_compare);
//  - pages/pages.jsonl: header line, url + RFC 3339 ts per page, pages found
//    in the index;
//  - the WARCs themselves, with check_warc.mjs.
// Exit status 0 if no errors (with --strict: no warnings either).

import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import zlib from "node:zlib";
import crypto from "node:crypto";
import { compare, parseCdxj } from "./cdx_compare.mjs";
import { checkFiles } from "./check_warc.mjs";

// ---------------------------------------------------------------------------
// Minimal ZIP reader (central directory, ZIP64 aware).

function readZip(buf) {
  const min = Math.max(0, buf.length - 65557);
  let eocd = -1;
  for (let i = buf.length - 22; i >= min; i--) {
    if (buf.readUInt32LE(i) === 0x06054b50) {
      eocd = i;
      break;
    }
  }
  if (eocd < 0) throw new Error("no ZIP end-of-central-directory record");
  let count = buf.readUInt16LE(eocd + 10);
  let cdSize = buf.readUInt32LE(eocd + 12);
  let cdOffset = buf.readUInt32LE(eocd + 16);
  const zip64 = cdOffset === 0xffffffff || count === 0xffff;
  if (zip64) {
    const loc = eocd - 20;
    if (loc < 0 || buf.readUInt32LE(loc) !== 0x07064b50) throw new Error("ZIP64 locator missing");
    const z = Number(buf.readBigUInt64LE(loc + 8));
    if (buf.readUInt32LE(z) !== 0x06064b50) throw new Error("ZIP64 end record missing");
    count = Number(buf.readBigUInt64LE(z + 32));
    cdSize = Number(buf.readBigUInt64LE(z + 40));
    cdOffset = Number(buf.readBigUInt64LE(z + 48));
  }
  const entries = [];
  let p = cdOffset;
  for (let i = 0; i < count; i++) {
    if (buf.readUInt32LE(p) !== 0x02014b50) throw new Error(`bad central directory entry at ${p}`);
    const method = buf.readUInt16LE(p + 10);
    let compSize = buf.readUInt32LE(p + 20);
    let size = buf.readUInt32LE(p + 24);
    const nameLen = buf.readUInt16LE(p + 28);
    const extraLen = buf.readUInt16LE(p + 30);
    const commentLen = buf.readUInt16LE(p + 32);
    let localOffset = buf.readUInt32LE(p + 42);
    const name = buf.subarray(p + 46, p + 46 + nameLen).toString("utf8");
    const extra = buf.subarray(p + 46 + nameLen, p + 46 + nameLen + extraLen);
    for (let e = 0; e + 4 <= extra.length;) {
      const id = extra.readUInt16LE(e);
      const len = extra.readUInt16LE(e + 2);
      if (id === 1) {
        let q = e + 4;
        if (size === 0xffffffff) { size = Number(extra.readBigUInt64LE(q)); q += 8; }
        if (compSize === 0xffffffff) { compSize = Number(extra.readBigUInt64LE(q)); q += 8; }
        if (localOffset === 0xffffffff) { localOffset = Number(extra.readBigUInt64LE(q)); q += 8; }
      }
      e += 4 + len;
    }
    if (buf.readUInt32LE(localOffset) !== 0x04034b50) throw new Error(`bad local header for ${name}`);
    const dataOffset = localOffset + 30 + buf.readUInt16LE(localOffset + 26) + buf.readUInt16LE(localOffset + 28);
    entries.push({ name, method, compSize, size, dataOffset });
    p += 46 + nameLen + extraLen + commentLen;
  }
  void cdSize;
  return entries;
}

function entryData(buf, e) {
  const raw = buf.subarray(e.dataOffset, e.dataOffset + e.compSize);
  if (e.method === 0) return raw;
  if (e.method === 8) return zlib.inflateRawSync(raw);
  throw new Error(`${e.name}: unsupported ZIP method ${e.method}`);
}

const sha256 = (b) => "sha256:" + crypto.createHash("sha256").update(b).digest("hex");

// ---------------------------------------------------------------------------

export async function checkWacz(file, { quiet = false } = {}) {
  const errors = [];
  const warnings = [];
  const E = (m) => errors.push(m);
  const W = (m) => warnings.push(m);
  const buf = fs.readFileSync(file);
  let entries;
  try {
    entries = readZip(buf);
  } catch (e) {
    E(`not a readable ZIP: ${e.message}`);
    return { errors, warnings };
  }
  const byName = new Map(entries.map((e) => [e.name, e]));
  const data = (name) => entryData(buf, byName.get(name));

  // datapackage.json
  let dp = null;
  const dpEntry = byName.get("datapackage.json");
  if (!dpEntry) E("datapackage.json missing at the root");
  else {
    try {
      dp = JSON.parse(data("datapackage.json").toString("utf8"));
    } catch (e) {
      E(`datapackage.json does not parse: ${e.message}`);
    }
  }
  if (dp) {
    if (dp.profile === "wacz") {
      W("profile 'wacz' is WACZ 1.2.0; ReplayWeb.page 2.5 refuses it ('Unknown package profile: wacz'); write 'data-package' (1.1.1)");
    } else if (dp.profile !== "data-package") {
      E(`profile is ${JSON.stringify(dp.profile)}, WACZ 1.1.1 requires "data-package"`);
    }
    if (dp.profile === "data-package" && dp.wacz_version !== "1.1.1") W(`wacz_version is ${JSON.stringify(dp.wacz_version)}, expected "1.1.1"`);
    for (const k of ["title", "created", "software"]) if (dp[k] === undefined) W(`datapackage.json has no '${k}' (SHOULD)`);
    if (dp.created !== undefined && Number.isNaN(Date.parse(dp.created))) E(`created is not an RFC 3339 date: ${dp.created}`);
    if (!Array.isArray(dp.resources)) E("datapackage.json has no resources list");
    else {
      const listed = new Set();
      for (const r of dp.resources) {
        if (!r.path) {
          E(`resource without path: ${JSON.stringify(r)}`);
          continue;
        }
        listed.add(r.path);
        if (!r.name) W(`resource ${r.path} has no name`);
        const e = byName.get(r.path);
        if (!e) {
          E(`resource ${r.path} is not in the ZIP`);
          continue;
        }
        if (r.bytes !== e.size) E(`resource ${r.path}: bytes ${r.bytes}, the file has ${e.size}`);
        if (!/^sha256:[0-9a-f]{64}$/.test(r.hash || "")) E(`resource ${r.path}: hash ${JSON.stringify(r.hash)} is not "sha256:" + 64 lower-case hex digits`);
        else if (sha256(data(r.path)) !== r.hash) E(`resource ${r.path}: sha256 of the file differs from datapackage.json`);
      }
      for (const e of entries) {
        if (e.name.endsWith("/")) continue;
        if (e.name !== "datapackage.json" && e.name !== "datapackage-digest.json" && !listed.has(e.name)) {
          E(`${e.name} is in the ZIP but not listed in datapackage.json resources`);
        }
      }
    }
  }
  const dd = byName.get("datapackage-digest.json");
  if (!dd) W("no datapackage-digest.json (SHOULD)");
  else if (dpEntry) {
    try {
      const d = JSON.parse(data("datapackage-digest.json").toString("utf8"));
      if (d.path !== "datapackage.json") E(`datapackage-digest.json path is ${JSON.stringify(d.path)}`);
      if (d.hash !== sha256(data("datapackage.json"))) E("datapackage-digest.json hash does not match datapackage.json");
    } catch (e) {
      E(`datapackage-digest.json does not parse: ${e.message}`);
    }
  }

  // archive/
  const warcs = entries.filter((e) => e.name.startsWith("archive/") && !e.name.endsWith("/"));
  if (!warcs.length) E("archive/ holds no file");
  for (const e of warcs) {
    if (!/\.warc(\.gz)?$/.test(e.name)) E(`${e.name}: archive/ files must be .warc or .warc.gz`);
    if (e.method !== 0) E(`${e.name} is compressed in the ZIP (method ${e.method}); archive/ files must be STORED so records can be read by byte range`);
  }

  // indexes/
  const idx = entries.filter((e) => e.name.startsWith("indexes/") && !e.name.endsWith("/"));
  const loadable = idx.filter((e) => /\.(cdxj|cdx|idx)$/.test(e.name));
  if (!idx.length) E("indexes/ holds no index");
  else if (!loadable.length) {
    E(`indexes/ has ${idx.map((e) => e.name).join(", ")} only; ReplayWeb.page loads *.cdx / *.cdxj whole, or *.idx (pointing into *.cdx.gz); a lone .cdx.gz is never read`);
  }
  for (const e of idx) {
    if (/\.(gz|idx)$/.test(e.name) && e.method !== 0) W(`${e.name} should be STORED`);
  }

  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), "check-wacz-"));
  try {
    const warcPaths = [];
    for (const e of warcs) {
      if (e.method !== 0 && e.method !== 8) continue;
      const out = path.join(tmp, path.basename(e.name));
      fs.writeFileSync(out, data(e.name));
      warcPaths.push(out);
    }
    const captures = new Map();
    for (const e of idx.filter((x) => /\.(cdxj|cdx)(\.gz)?$/.test(x.name))) {
      let text = data(e.name);
      if (text[0] === 0x1f && text[1] === 0x8b) text = zlib.gunzipSync(text);
      const out = path.join(tmp, "index-" + path.basename(e.name).replace(/\.gz$/, ""));
      fs.writeFileSync(out, text);
      for (const c of parseCdxj(text.toString("utf8")).entries) {
        const k = c.json.url;
        if (!captures.has(k)) captures.set(k, []);
        captures.get(k).push(c.timestamp);
      }
      if (warcPaths.length) {
        const res = await compare(warcPaths, out);
        for (const m of res.errors) E(`${e.name}: ${m}`);
      }
    }

    // pages/pages.jsonl
    const pe = byName.get("pages/pages.jsonl");
    if (!pe) E("pages/pages.jsonl missing");
    else {
      const lines = data("pages/pages.jsonl").toString("utf8").split("\n").filter((l) => l.trim() !== "");
      let header = null;
      try {
        header = JSON.parse(lines[0] || "");
      } catch {
        E("pages.jsonl: first line is not JSON");
      }
      if (header && header.format !== "json-pages-1.0") W(`pages.jsonl header format is ${JSON.stringify(header.format)}, expected "json-pages-1.0"`);
      if (header && header.url) E("pages.jsonl: the first line must be the header, not a page (ReplayWeb.page skips it)");
      let withText = 0;
      lines.slice(1).forEach((l, i) => {
        const n = i + 2;
        let p;
        try {
          p = JSON.parse(l);
        } catch {
          E(`pages.jsonl line ${n}: not JSON`);
          return;
        }
        if (!p.url) E(`pages.jsonl line ${n}: no url`);
        if (!p.ts || Number.isNaN(Date.parse(p.ts))) E(`pages.jsonl line ${n}: ts ${JSON.stringify(p.ts)} is not an RFC 3339 date`);
        if (p.text) withText++;
        if (p.url && captures.size) {
          const ts = captures.get(p.url);
          if (!ts) W(`pages.jsonl line ${n}: ${p.url} is not in the index`);
          else if (p.ts) {
            const want = new Date(p.ts).toISOString().replace(/[-:T]/g, "").slice(0, 14);
            if (!ts.some((t) => t.slice(0, 14) === want)) W(`pages.jsonl line ${n}: no capture of ${p.url} at ${p.ts}`);
          }
        }
      });
      if (lines.length <= 1) W("pages.jsonl lists no page");
      if (!withText) W("no page in pages.jsonl has 'text': ReplayWeb.page's search then matches URLs and titles only");
    }

    // The WARCs themselves.
    if (warcPaths.length) {
      const log = console.log;
      const lines = [];
      console.log = (...a) => lines.push(a.join(" "));
      let r;
      try {
        r = await checkFiles(warcPaths, { quiet });
      } finally {
        console.log = log;
      }
      for (const l of lines) {
        if (l.startsWith("ERROR")) E(`warc: ${l.slice(6).replace(tmp + "/", "")}`);
        else if (l.startsWith("WARN")) W(`warc: ${l.slice(6).replace(tmp + "/", "")}`);
      }
      void r;
    }
  } finally {
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  return { errors, warnings, entries };
}

async function main() {
  const args = process.argv.slice(2);
  const strict = args.includes("--strict");
  const files = args.filter((a) => !a.startsWith("--"));
  if (files.length !== 1) {
    console.error("usage: node check_wacz.mjs [--strict] FILE.wacz");
    process.exit(2);
  }
  const r = await checkWacz(files[0]);
  for (const w of r.warnings) console.log(`WARN  ${w}`);
  for (const e of r.errors) console.log(`ERROR ${e}`);
  if (r.entries) {
    for (const e of r.entries) console.log(`  ${e.method === 0 ? "stored  " : "deflated"} ${String(e.size).padStart(10)} ${e.name}`);
  }
  console.log(`${r.errors.length} errors, ${r.warnings.length} warnings`);
  const failed = r.errors.length > 0 || (strict && r.warnings.length > 0);
  console.log(failed ? "FAIL" : "OK");
  process.exit(failed ? 1 : 0);
}

if (process.argv[1]?.endsWith("check_wacz.mjs")) {
  await main();
}
