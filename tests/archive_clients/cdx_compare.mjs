#!/usr/bin/env node
// Compares a CDXJ index with the index warcio.js builds from the WARC(s).
//
//   node cdx_compare.mjs [--filename=NAME] WARC... CDXJ   (CDXJ may be gzipped)
//
// --filename=NAME: the name the CDXJ uses for the (single) WARC, when the file
// on disk is named differently (e.g. extracted from a WACZ).
//
// warcio.js's CDXIndexer (the code behind `warcio.js cdx-index`) indexes every
// WARC; each of its entries must appear in the CDXJ with the same url, status,
// digest, mime, offset, length and filename, the same 14-digit timestamp, and
// a urlkey that is either warcio.js's getSurt() or the pywb / Python "surt"
// canonical form.  The CDXJ must also be well formed and sorted in byte order
// (LC_ALL=C).  Exit status 0 when everything matches, 1 otherwise.

import fs from "node:fs";
import path from "node:path";
import zlib from "node:zlib";
import { CDXIndexer, getSurt } from "warcio";
import { iaSurt } from "./lib/surt.mjs";

const FIELDS = ["url", "mime", "status", "digest", "length", "offset", "filename"];

export async function warcioIndex(warcs, filename = null) {
  const indexer = new CDXIndexer({ format: "cdxj" });
  const files = warcs.map((w) => ({ filename: filename || path.basename(w), reader: fs.createReadStream(w) }));
  const out = [];
  for await (const entry of indexer.iterIndex(files)) out.push(entry);
  return out;
}

export function parseCdxj(text) {
  const problems = [];
  const entries = [];
  const lines = text.split("\n");
  if (lines[lines.length - 1] === "") lines.pop();
  else problems.push("file does not end with a newline");
  lines.forEach((line, i) => {
    const n = i + 1;
    if (line.endsWith("\r")) problems.push(`line ${n}: CR before LF`);
    const sp1 = line.indexOf(" ");
    const sp2 = line.indexOf(" ", sp1 + 1);
    if (sp1 <= 0 || sp2 <= sp1) {
      problems.push(`line ${n}: not 'urlkey timestamp {json}'`);
      return;
    }
    const urlkey = line.slice(0, sp1);
    const timestamp = line.slice(sp1 + 1, sp2);
    const jsonText = line.slice(sp2 + 1);
    if (!/^\d{14}(\d{3})?$/.test(timestamp)) problems.push(`line ${n}: timestamp '${timestamp}' is not 14 (or 17) digits`);
    let json;
    try {
      json = JSON.parse(jsonText);
    } catch (e) {
      problems.push(`line ${n}: JSON block does not parse: ${e.message}`);
      return;
    }
    if (typeof json !== "object" || json === null || Array.isArray(json)) {
      problems.push(`line ${n}: JSON block is not an object`);
      return;
    }
    // 'status' is legitimately absent for a revisit without HTTP headers.
    for (const f of FIELDS) {
      if (json[f] === undefined && !(f === "status" && json.mime === "warc/revisit")) {
        problems.push(`line ${n}: JSON block lacks '${f}'`);
      }
    }
    for (const f of ["offset", "length", "status"]) {
      if (json[f] !== undefined && !/^\d+$/.test(String(json[f]))) problems.push(`line ${n}: '${f}' is not an integer: ${JSON.stringify(json[f])}`);
    }
    entries.push({ line: n, raw: line, urlkey, timestamp, json });
  });
  for (let i = 1; i < lines.length; i++) {
    const c = Buffer.compare(Buffer.from(lines[i - 1]), Buffer.from(lines[i]));
    if (c > 0) {
      problems.push(`line ${i + 1} sorts before line ${i} (lines must be in byte order, as LC_ALL=C sort gives)`);
      break;
    }
    if (c === 0) problems.push(`line ${i + 1} duplicates line ${i}`);
  }
  return { entries, problems };
}

export async function compare(warcs, cdxjPath, { filename = null } = {}) {
  const errors = [];
  const notes = [];
  let text = fs.readFileSync(cdxjPath);
  if (text[0] === 0x1f && text[1] === 0x8b) text = zlib.gunzipSync(text);
  const { entries, problems } = parseCdxj(text.toString("utf8"));
  errors.push(...problems);

  const expected = await warcioIndex(warcs, filename);
  const byPos = new Map();
  for (const e of entries) {
    const k = `${e.json.filename} ${e.json.offset}`;
    if (byPos.has(k)) errors.push(`line ${e.line}: a second line for ${k}`);
    byPos.set(k, e);
  }
  const used = new Set();
  let keyStyle = { warcio: 0, ia: 0 };
  for (const x of expected) {
    const k = `${x.filename} ${x.offset}`;
    const e = byPos.get(k);
    const label = `${x.url} (${k})`;
    if (!e) {
      errors.push(`missing: no CDXJ line for ${label}, warcio.js indexes it as: ${x.urlkey} ${x.timestamp} mime=${x.mime} status=${x.status}`);
      continue;
    }
    used.add(e);
    for (const f of FIELDS) {
      const want = x[f] === undefined || x[f] === null ? "" : String(x[f]);
      let got = e.json[f] === undefined || e.json[f] === null ? "" : String(e.json[f]);
      if (want === "" && got === "-") got = "";
      if (want !== got) errors.push(`line ${e.line}: ${f} is ${JSON.stringify(got)}, warcio.js says ${JSON.stringify(want)}`);
    }
    if (e.timestamp.slice(0, 14) !== x.timestamp) {
      errors.push(`line ${e.line}: timestamp ${e.timestamp} but WARC-Date gives ${x.timestamp} (ReplayWeb.page rejects a record whose WARC-Date second differs from the index)`);
    }
    const w = getSurt(x.url);
    const ia = iaSurt(x.url);
    if (e.urlkey === w) keyStyle.warcio++;
    if (e.urlkey === ia) keyStyle.ia++;
    if (e.urlkey !== w && e.urlkey !== ia) {
      errors.push(`line ${e.line}: urlkey '${e.urlkey}' matches neither warcio.js getSurt ('${w}') nor the pywb/surt form ('${ia}')`);
    } else if (w !== ia) {
      notes.push(`line ${e.line}: urlkey follows the ${e.urlkey === ia ? "pywb/surt" : "warcio.js"} rules (warcio.js '${w}', pywb/surt '${ia}')`);
    }
  }
  for (const e of entries) {
    if (!used.has(e)) errors.push(`line ${e.line}: no record at ${e.json.filename}@${e.json.offset} that warcio.js indexes (${e.json.url})`);
  }
  return { errors, notes, expected: expected.length, lines: entries.length, keyStyle };
}

async function main() {
  const argv = process.argv.slice(2);
  const fnArg = argv.find((a) => a.startsWith("--filename="));
  const args = argv.filter((a) => !a.startsWith("--"));
  if (args.length < 2) {
    console.error("usage: node cdx_compare.mjs [--filename=NAME] WARC... CDXJ");
    process.exit(2);
  }
  const cdxj = args.pop();
  const res = await compare(args, cdxj, { filename: fnArg ? fnArg.slice(11) : null });
  for (const n of res.notes) console.log(`NOTE  ${n}`);
  for (const e of res.errors) console.log(`ERROR ${e}`);
  console.log(`warcio.js indexed ${res.expected} records; ${cdxj} has ${res.lines} lines; ${res.errors.length} errors`);
  console.log(res.errors.length ? "FAIL" : "OK");
  process.exit(res.errors.length ? 1 : 0);
}

if (process.argv[1]?.endsWith("cdx_compare.mjs")) {
  await main();
}
