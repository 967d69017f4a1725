#!/usr/bin/env node
// Checks WARC files against WARC/1.1 and against what warcio.js reads.
//
//   node check_warc.mjs [--strict] [--quiet] FILE.warc.gz...
//
// Two independent readers look at every file:
//  1. lib/warc.mjs walks the gzip members itself (each member must hold exactly
//     one record), re-parses each record, and recomputes WARC-Block-Digest and
//     WARC-Payload-Digest (payload = HTTP entity body with the transfer coding
//     removed and any content coding kept).
//  2. warcio.js (npm "warcio") reads the same file; it must find the same
//     records at the same offsets, parse their HTTP headers, and decode bodies.
// Cross-record checks: unique WARC-Record-IDs, WARC-Concurrent-To targets,
// revisit records against their originals.
//
// Exit status: 0 if no errors (and, with --strict, no warnings), 1 otherwise.

import fs from "node:fs";
import path from "node:path";
import net from "node:net";
import zlib from "node:zlib";
import { WARCParser } from "warcio";
import {
  gzipMembers,
  isGzipFile,
  parseRecordAt,
  splitHttp,
  headerValues,
  dechunk,
  parseLabelledDigest,
  hashBytes,
  base32,
} from "./lib/warc.mjs";

const KNOWN_TYPES = new Set([
  "warcinfo", "response", "resource", "request", "metadata", "revisit", "conversion", "continuation",
]);
const REPEATABLE = new Set(["warc-concurrent-to", "warc-protocol"]);
const PROFILE_IDENTICAL_11 = "http://netpreserve.org/warc/1.1/revisit/identical-payload-digest";
const PROFILE_NOT_MODIFIED_11 = "http://netpreserve.org/warc/1.1/revisit/server-not-modified";
const PROFILE_IDENTICAL_10 = "http://netpreserve.org/warc/1.0/revisit/identical-payload-digest";
const PROFILE_NOT_MODIFIED_10 = "http://netpreserve.org/warc/1.0/revisit/server-not-modified";

// Which record types a field may appear on (WARC/1.1 section 5), as
// [allowed types] or {not: [types]}.
const FIELD_SCOPE = {
  "warc-concurrent-to": { not: ["warcinfo", "conversion", "continuation"] },
  "warc-ip-address": { not: ["warcinfo", "conversion", "continuation"] },
  "warc-refers-to": { not: ["warcinfo", "response", "resource", "request", "continuation"] },
  "warc-refers-to-target-uri": ["revisit"],
  "warc-refers-to-date": ["revisit"],
  "warc-target-uri": { not: ["warcinfo"] },
  "warc-warcinfo-id": { not: ["warcinfo"] },
  "warc-filename": ["warcinfo"],
  "warc-profile": ["revisit"],
  "warc-segment-origin-id": ["continuation"],
  "warc-segment-total-length": ["continuation"],
  "warc-payload-digest": { not: ["warcinfo", "metadata"] },
  "warc-protocol": { not: ["warcinfo", "conversion", "continuation"] },
};

const RE_RECORD_ID = /^<[A-Za-z][A-Za-z0-9+.-]*:[^\s<>]+>$/;
const RE_URI = /^[A-Za-z][A-Za-z0-9+.-]*:[^\s<>"]+$/;
const RE_DATE_FULL = /^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(\.\d{1,9})?Z$/;
const RE_DATE_COARSE = /^\d{4}(-\d{2}(-\d{2}(T\d{2}:\d{2}Z)?)?)?$/;

// ---------------------------------------------------------------------------

class Report {
  constructor(quiet) {
    this.errors = 0;
    this.warnings = 0;
    this.quiet = quiet;
  }
  where(rec) {
    if (!rec) return "";
    const t = rec.type ? ` ${rec.type}` : "";
    const u = rec.target ? ` ${rec.target}` : "";
    return `${rec.file}@${rec.offset}${t}${u}`;
  }
  error(rec, msg) {
    this.errors++;
    console.log(`ERROR ${this.where(rec)}: ${msg}`);
  }
  warn(rec, msg) {
    this.warnings++;
    if (!this.quiet) console.log(`WARN  ${this.where(rec)}: ${msg}`);
  }
}

function field(rec, name) {
  const n = name.toLowerCase();
  const f = rec.fields.find(([k]) => k.toLowerCase() === n);
  return f ? f[1] : undefined;
}

function fieldAll(rec, name) {
  const n = name.toLowerCase();
  return rec.fields.filter(([k]) => k.toLowerCase() === n).map(([, v]) => v);
}

function isIPv4(s) {
  return net.isIPv4(s) && /^\d{1,3}(\.\d{1,3}){3}$/.test(s);
}

// Payload per WARC/1.1: entity body of application/http blocks (transfer
// coding removed, content coding kept); the whole block for resource and
// conversion records. Returns {payload} or {skip: reason} or {error}.
function payloadOf(rec, http) {
  const ct = (field(rec, "Content-Type") || "").toLowerCase();
  if (rec.type === "resource" || rec.type === "conversion") return { payload: rec.block };
  if (rec.type === "response" || rec.type === "request") {
    if (!ct.startsWith("application/http")) return { skip: "block is not application/http" };
    if (!http || http.error) return { error: "HTTP message could not be split" };
    const te = headerValues(http.headers, "Transfer-Encoding")
      .join(",")
      .split(",")
      .map((s) => s.trim().toLowerCase())
      .filter(Boolean);
    let body = http.body;
    for (let i = te.length - 1; i >= 0; i--) {
      const coding = te[i];
      try {
        if (coding === "chunked") body = dechunk(body);
        else if (coding === "gzip" || coding === "x-gzip") body = zlib.gunzipSync(body);
        else if (coding === "deflate") body = zlib.inflateSync(body);
        else if (coding === "identity") continue;
        else return { skip: `transfer coding '${coding}' not supported by this checker` };
      } catch (e) {
        return { error: `cannot remove transfer coding '${coding}': ${e.message}` };
      }
    }
    return { payload: body, transferCoded: te.length > 0 };
  }
  return { skip: `no payload defined for ${rec.type}` };
}

function digestMatches(value, ...parts) {
  const d = parseLabelledDigest(value);
  if (d.error) return { error: d.error };
  const actual = hashBytes(d.nodeAlgo, ...parts);
  return { ok: actual.equals(d.expected), d };
}

function checkRecord(rec, rep, ctx) {
  const names = new Map();
  for (const [k] of rec.fields) names.set(k.toLowerCase(), (names.get(k.toLowerCase()) || 0) + 1);
  for (const [n, count] of names) {
    if (count > 1 && !REPEATABLE.has(n)) rep.error(rec, `field ${n} appears ${count} times`);
  }

  if (rec.version !== "WARC/1.1") {
    rep.warn(rec, `record version is ${rec.version}, not WARC/1.1`);
  }

  // Mandatory fields (WARC/1.1 sections 5.2 to 5.5).
  for (const m of ["WARC-Record-ID", "Content-Length", "WARC-Date", "WARC-Type"]) {
    if (field(rec, m) === undefined) rep.error(rec, `mandatory field ${m} missing`);
  }
  const id = field(rec, "WARC-Record-ID");
  if (id !== undefined && !RE_RECORD_ID.test(id)) rep.error(rec, `WARC-Record-ID is not '<' URI '>': ${id}`);

  const date = field(rec, "WARC-Date");
  if (date !== undefined) {
    if (RE_DATE_FULL.test(date)) {
      if (!date.includes(".") && rec.version === "WARC/1.1") {
        rep.warn(rec, `WARC-Date has no fraction of a second (${date}); WARC/1.1 asks for as much precision as is known`);
      }
      if (Number.isNaN(Date.parse(date))) rep.error(rec, `WARC-Date is not a real date: ${date}`);
    } else if (RE_DATE_COARSE.test(date)) {
      rep.warn(rec, `WARC-Date has coarse granularity: ${date}`);
    } else {
      rep.error(rec, `WARC-Date is not a W3CDTF UTC timestamp (YYYY-MM-DDThh:mm:ss[.f{1,9}]Z): ${date}`);
    }
  }

  const type = rec.type;
  if (type !== undefined && !KNOWN_TYPES.has(type)) rep.warn(rec, `unknown WARC-Type '${type}' (readers skip it)`);

  for (const [n, scope] of Object.entries(FIELD_SCOPE)) {
    if (!names.has(n) || !type) continue;
    const ok = Array.isArray(scope) ? scope.includes(type) : !scope.not.includes(type);
    if (!ok) rep.error(rec, `field ${n} must not be used on '${type}' records`);
  }

  const target = rec.target;
  const needsTarget = ["response", "resource", "request", "revisit", "conversion", "continuation"];
  if (needsTarget.includes(type) && target === undefined) rep.error(rec, "WARC-Target-URI missing");
  if (target !== undefined) {
    if (target.startsWith("<") && target.endsWith(">")) {
      rep.error(rec, "WARC-Target-URI is enclosed in angle brackets: that is the WARC/1.0 grammar; WARC/1.1 writes the bare URI (warcio.js strips the brackets, readers that follow 1.1 do not)");
    } else if (/[^\x00-\x7f]/.test(target)) {
      rep.error(rec, `WARC-Target-URI contains non-ASCII characters (an IRI, not an RFC 3986 URI); percent-encode the UTF-8 bytes — warcio.js reads header bytes as Latin-1 and garbles them: ${JSON.stringify(target)}`);
    } else if (!RE_URI.test(target)) {
      rep.error(rec, `WARC-Target-URI is not an absolute RFC 3986 URI (spaces, quotes, brackets or non-ASCII must be percent-encoded): ${JSON.stringify(target)}`);
    } else if (target.includes("#")) {
      rep.warn(rec, "WARC-Target-URI contains a fragment (#...); fragments are never sent to servers");
    }
  }

  for (const n of ["WARC-Concurrent-To", "WARC-Refers-To", "WARC-Warcinfo-ID", "WARC-Segment-Origin-ID"]) {
    for (const v of fieldAll(rec, n)) {
      if (!RE_RECORD_ID.test(v)) rep.error(rec, `${n} is not '<' URI '>': ${v}`);
    }
  }

  const ip = field(rec, "WARC-IP-Address");
  if (ip !== undefined && !isIPv4(ip) && !net.isIPv6(ip)) rep.error(rec, `WARC-IP-Address is not an IPv4 or IPv6 address: ${ip}`);

  const ct = field(rec, "Content-Type");
  if (rec.block.length > 0 && ct === undefined && type !== "continuation") {
    rep.warn(rec, "non-empty block without Content-Type");
  }

  for (const p of fieldAll(rec, "WARC-Protocol")) {
    if (!/^[a-z0-9./-]+$/.test(p)) rep.error(rec, `WARC-Protocol value is not a lower-case protocol id: ${p}`);
  }

  // Block digest.
  const bd = field(rec, "WARC-Block-Digest");
  if (bd === undefined) {
    if (type !== "warcinfo") rep.warn(rec, "no WARC-Block-Digest");
  } else {
    const r = digestMatches(bd, rec.block);
    if (r.error) rep.error(rec, `WARC-Block-Digest: ${r.error}`);
    else if (!r.ok) rep.error(rec, `WARC-Block-Digest mismatch: header says ${bd}, block hashes to ${r.d.label}:${encodeLike(r.d, hashBytes(r.d.nodeAlgo, rec.block))}`);
    else checkDigestSpelling(rec, rep, "WARC-Block-Digest", r.d);
  }

  // HTTP message checks.
  let http = null;
  const isHttp = (ct || "").toLowerCase().startsWith("application/http");
  if (["response", "request", "revisit"].includes(type) && rec.block.length > 0) {
    if (!isHttp) {
      if (type !== "revisit" && /^https?:/.test(target || "")) {
        rep.warn(rec, `Content-Type of an http(s) ${type} record is '${ct}', expected application/http;msgtype=${type === "request" ? "request" : "response"}`);
      }
    } else {
      const want = type === "request" ? "request" : "response";
      const msgtype = /msgtype\s*=\s*"?([a-z]+)/i.exec(ct);
      if (!msgtype || msgtype[1].toLowerCase() !== want) {
        rep.warn(rec, `Content-Type '${ct}' should be application/http;msgtype=${want}`);
      }
      http = splitHttp(rec.block);
      if (http.error) rep.error(rec, http.error);
      else {
        for (const p of http.problems) rep.error(rec, p);
        checkStartLine(rec, rep, http, type);
      }
    }
  }
  rec.http = http && !http.error ? http : null;

  // Payload digest.
  const pd = field(rec, "WARC-Payload-Digest");
  if (type === "revisit") {
    checkRevisitLocal(rec, rep);
  } else if (pd !== undefined) {
    if (field(rec, "WARC-Truncated") !== undefined) {
      rep.warn(rec, "WARC-Truncated record: payload digest not recomputed");
    } else if (field(rec, "WARC-Segment-Number") !== undefined || type === "continuation") {
      rep.warn(rec, "segmented record: payload digest covers the logical record and is not recomputed");
    } else {
      const p = payloadOf(rec, http);
      if (p.error) rep.error(rec, `payload: ${p.error}`);
      else if (p.skip) rep.warn(rec, `payload digest not checked: ${p.skip}`);
      else {
        const r = digestMatches(pd, p.payload);
        if (r.error) rep.error(rec, `WARC-Payload-Digest: ${r.error}`);
        else if (!r.ok) rep.error(rec, `WARC-Payload-Digest mismatch: ${explainPayloadMismatch(r.d, p, http)}`);
        else checkDigestSpelling(rec, rep, "WARC-Payload-Digest", r.d);
        rec.payloadLength = p.payload.length;
      }
    }
  } else if (type === "response" || type === "resource") {
    rep.warn(rec, "no WARC-Payload-Digest (CDX digest field and deduplication rely on it)");
  }

  // Entity length against HTTP Content-Length.
  if (type === "response" && rec.http && field(rec, "WARC-Truncated") === undefined) {
    const status = Number((/^HTTP\/\d\.\d (\d{3})/.exec(rec.http.startLine) || [])[1]);
    const cl = headerValues(rec.http.headers, "Content-Length");
    const chunked = headerValues(rec.http.headers, "Transfer-Encoding").some((v) => /chunked/i.test(v));
    if (cl.length && !chunked && status !== 304 && status !== 204 && !(status >= 100 && status < 200)) {
      const n = Number(cl[0]);
      if (Number.isFinite(n) && n !== rec.http.body.length) {
        ctx.pendingLengthChecks.push({ rec, n, actual: rec.http.body.length });
      }
    }
  }

  if (type === "warcinfo") checkWarcinfo(rec, rep);
}

function encodeLike(d, bytes) {
  return d.encoding === "base16" ? bytes.toString("hex") : base32(bytes);
}

function checkDigestSpelling(rec, rep, name, d) {
  if (d.label !== d.label.toLowerCase() || d.label.includes("-")) {
    rep.warn(rec, `${name} label '${d.label}' is a compatibility spelling; write 'sha1:'`);
  }
  if (d.label === "sha1" && d.encoding !== "base32") {
    rep.warn(rec, `${name} uses ${d.encoding} for sha1; common practice (and CDX 'digest') is upper-case base32`);
  }
  if (d.encoding === "base32" && d.value !== d.value.toUpperCase()) {
    rep.warn(rec, `${name} base32 value is not upper case`);
  }
}

function explainPayloadMismatch(d, p, http) {
  const want = `${d.label}:${d.value}`;
  const hints = [];
  if (http && !http.error) {
    const raw = hashBytes(d.nodeAlgo, http.body);
    if (p.transferCoded && raw.equals(d.expected)) {
      hints.push("the value matches the body WITH its transfer coding (e.g. chunk framing); the payload is the entity body after removing Transfer-Encoding");
    }
    if (raw.equals(d.expected) === false) {
      const ce = headerValues(http.headers, "Content-Encoding").join(",").toLowerCase();
      if (ce.includes("gzip") || ce.includes("deflate") || ce.includes("br")) {
        try {
          let decoded = null;
          if (ce.includes("gzip")) decoded = zlib.gunzipSync(p.payload);
          else if (ce.includes("br")) decoded = zlib.brotliDecompressSync(p.payload);
          else decoded = zlib.inflateSync(p.payload);
          if (decoded && hashBytes(d.nodeAlgo, decoded).equals(d.expected)) {
            hints.push("the value matches the content-DECODED body; the payload keeps its Content-Encoding");
          }
        } catch {
          /* not decodable: no hint */
        }
      }
    }
    if (hashBytes(d.nodeAlgo, Buffer.concat([Buffer.from(http.startLine + "\r\n"), p.payload])).equals(d.expected)) {
      hints.push("the value seems to include HTTP header bytes");
    }
  }
  const got = encodeLike(d, hashBytes(d.nodeAlgo, p.payload));
  return `header says ${want}, payload (${p.payload.length} bytes) hashes to ${d.label}:${got}` + (hints.length ? ` — ${hints.join("; ")}` : "");
}

function checkStartLine(rec, rep, http, type) {
  const line = http.startLine;
  const protos = fieldAll(rec, "WARC-Protocol");
  if (type === "request") {
    if (!/^[!#$%&'*+.^_`|~0-9A-Za-z-]+ \S+ HTTP\/1\.[01]$/.test(line)) {
      rep.error(rec, `HTTP request line is not 'METHOD target HTTP/1.x': ${JSON.stringify(line)}` +
        (/HTTP\/[23]/.test(line) ? " (HTTP/2 and HTTP/3 exchanges are written in HTTP/1.1 message form, with WARC-Protocol: h2/h3)" : ""));
    }
  } else {
    if (/^HTTP\/1\.[01] \d{3}$/.test(line)) {
      rep.warn(rec, `HTTP status line has no SP after the status code: ${JSON.stringify(line)} (write 'HTTP/1.1 200 ' when there is no reason phrase)`);
    } else if (!/^HTTP\/1\.[01] \d{3} [^\r\n]*$/.test(line)) {
      rep.error(rec, `HTTP status line is not 'HTTP/1.x NNN reason': ${JSON.stringify(line)}` +
        (/^HTTP\/[23]/.test(line) ? " (HTTP/2 and HTTP/3 responses are written in HTTP/1.1 message form, with WARC-Protocol: h2/h3)" : ""));
    }
  }
  if (protos.some((p) => /^h[23]c?$/.test(p)) && !/HTTP\/1\.1/.test(line)) {
    rep.error(rec, `WARC-Protocol ${protos.join(", ")} but the message is not in HTTP/1.1 form`);
  }
}

function checkWarcinfo(rec, rep) {
  const ct = field(rec, "Content-Type");
  if (ct !== "application/warc-fields") rep.warn(rec, `warcinfo Content-Type is '${ct}', recommended application/warc-fields`);
  else {
    const text = rec.block.toString("utf8");
    const lines = text.split("\r\n");
    if (lines[lines.length - 1] !== "") rep.warn(rec, "warcinfo block does not end with CRLF");
    for (const l of lines.slice(0, -1)) {
      if (l === "") continue;
      if (l.includes("\n")) rep.warn(rec, `warcinfo line with bare LF: ${JSON.stringify(l.slice(0, 40))}`);
      else if (!/^[^\s:]+:/.test(l) && !/^[ \t]/.test(l)) rep.warn(rec, `warcinfo line is not 'name: value': ${JSON.stringify(l.slice(0, 40))}`);
    }
  }
  const fn = field(rec, "WARC-Filename");
  if (fn === undefined) rep.warn(rec, "warcinfo without WARC-Filename");
  else if (fn.replace(/^"|"$/g, "") !== path.basename(rec.file)) {
    rep.warn(rec, `WARC-Filename '${fn}' differs from the file's name '${path.basename(rec.file)}'`);
  }
}

function checkRevisitLocal(rec, rep) {
  const profile = field(rec, "WARC-Profile");
  if (profile === undefined) {
    rep.error(rec, "revisit without WARC-Profile");
    return;
  }
  if (profile.startsWith("<")) rep.error(rec, "WARC-Profile is enclosed in angle brackets");
  const known = [PROFILE_IDENTICAL_11, PROFILE_NOT_MODIFIED_11, PROFILE_IDENTICAL_10, PROFILE_NOT_MODIFIED_10];
  if (!known.includes(profile)) {
    rep.warn(rec, `unknown revisit profile ${profile} (readers will not interpret this record)`);
  } else if (rec.version === "WARC/1.1" && profile.includes("/1.0/")) {
    rep.warn(rec, `WARC/1.1 record uses the 1.0 profile URI ${profile}`);
  }
  const identical = profile === PROFILE_IDENTICAL_11 || profile === PROFILE_IDENTICAL_10;
  if (identical && field(rec, "WARC-Payload-Digest") === undefined) {
    rep.error(rec, "identical-payload-digest revisit without WARC-Payload-Digest");
  }
  if (identical && rec.block.length > 0 && (field(rec, "WARC-Truncated") || "").toLowerCase() !== "length") {
    rep.warn(rec, "identical-payload-digest revisit holding HTTP headers should carry 'WARC-Truncated: length' (WARC/1.1 section 6.7.2)");
  }
  if (field(rec, "WARC-Refers-To-Target-URI") === undefined || field(rec, "WARC-Refers-To-Date") === undefined) {
    rep.error(rec, "revisit without WARC-Refers-To-Target-URI and WARC-Refers-To-Date: ReplayWeb.page (wabac.js) finds the original only through these two fields");
  }
  if (field(rec, "WARC-Refers-To") === undefined) rep.warn(rec, "revisit without WARC-Refers-To (recommended)");
  const rd = field(rec, "WARC-Refers-To-Date");
  if (rd !== undefined && !RE_DATE_FULL.test(rd)) rep.error(rec, `WARC-Refers-To-Date is not a W3CDTF UTC timestamp: ${rd}`);
  const rt = field(rec, "WARC-Refers-To-Target-URI");
  if (rt !== undefined && !RE_URI.test(rt)) rep.error(rec, `WARC-Refers-To-Target-URI is not a bare absolute URI: ${rt}`);
  const notModified = profile === PROFILE_NOT_MODIFIED_11 || profile === PROFILE_NOT_MODIFIED_10;
  if (notModified && /^HTTP\/1\.[01] 304/.test(rec.block.subarray(0, 16).toString("latin1"))) {
    rep.warn(rec, "server-not-modified revisit stores the '304' headers: ReplayWeb.page serves a revisit's own headers, so this capture replays as an empty 304 (write the block empty, Content-Length: 0)");
  }
  if (rec.block.length > 0) {
    const ct = field(rec, "Content-Type") || "";
    if (!ct.toLowerCase().startsWith("application/http")) {
      rep.warn(rec, `revisit block present but Content-Type is '${ct}'; it should hold the HTTP response headers as application/http;msgtype=response`);
    }
  }
}

// ---------------------------------------------------------------------------

async function readWithOurParser(file, rep) {
  const recs = [];
  const add = (offset, length, buf, start) => {
    const problems = [];
    const r = parseRecordAt(buf, start, problems);
    const rec = { file, offset, length, ...r };
    if (r.fields) {
      rec.type = field(rec, "WARC-Type");
      rec.target = field(rec, "WARC-Target-URI");
    }
    for (const p of problems) rep.error(rec, p);
    return rec;
  };

  if (isGzipFile(file)) {
    for (const m of gzipMembers(file)) {
      if (m.error) {
        rep.error({ file, offset: m.offset }, `gzip: ${m.error}`);
        break;
      }
      const rec = add(m.offset, m.length, m.data, 0);
      if (rec.error) {
        rep.error(rec, rec.error);
        recs.push(rec);
        continue;
      }
      if (rec.end !== m.data.length) {
        // Count how many records follow inside the same member.
        let n = 1;
        let p = rec.end;
        for (let guard = 0; guard < 100000 && p < m.data.length; guard++) {
          const extra = parseRecordAt(m.data, p, []);
          if (extra.error) break;
          n++;
          p = extra.end;
        }
        rep.error(rec, n > 1
          ? `gzip member holds ${n} records; each record must be its own gzip member`
          : `gzip member has ${m.data.length - rec.end} bytes after the record`);
      }
      recs.push(rec);
    }
  } else {
    rep.warn({ file, offset: 0 }, "file is not gzip-compressed");
    const buf = fs.readFileSync(file);
    let p = 0;
    while (p < buf.length) {
      const rec = add(p, 0, buf, p);
      if (rec.error) {
        rep.error(rec, rec.error);
        break;
      }
      rec.length = rec.end - p;
      recs.push(rec);
      p = rec.end;
    }
  }
  return recs;
}

async function readWithWarcio(file, rep) {
  const out = [];
  const parser = new WARCParser(fs.createReadStream(file));
  try {
    for await (const record of parser) {
      const entry = {
        offset: parser.offset,
        type: record.warcType,
        id: record.warcHeader("WARC-Record-ID"),
        target: record.warcTargetURI,
        httpStatus: record.httpHeaders ? record.httpHeaders.statusCode : null,
        method: record.httpHeaders ? record.httpHeaders.method : null,
        hasHttp: !!record.httpHeaders,
      };
      // Decode the content as a replay tool would (de-chunk, then gunzip/inflate).
      try {
        const content = await record.readFully(!!record.httpHeaders);
        entry.decodedLength = content.length;
      } catch (e) {
        entry.decodeError = String(e && e.message ? e.message : e);
      }
      entry.length = parser.recordLength;
      out.push(entry);
    }
  } catch (e) {
    rep.error({ file, offset: parser.offset }, `warcio.js failed to read the file: ${e.message}`);
  }
  return out;
}

function compareReaders(file, ours, theirs, rep, compressed) {
  if (ours.length !== theirs.length) {
    rep.error({ file, offset: 0 }, `warcio.js read ${theirs.length} records, this checker found ${ours.length}`);
  }
  const bare = (u) => (u && u.startsWith("<") && u.endsWith(">") ? u.slice(1, -1) : u ?? null);
  const n = Math.min(ours.length, theirs.length);
  for (let i = 0; i < n; i++) {
    const a = ours[i];
    const b = theirs[i];
    // For uncompressed files warcio.js measures a record without its closing
    // CRLF CRLF; for .warc.gz it measures the whole gzip member.
    const lengthOk = b.length === a.length || (!compressed && b.length === a.length - 4);
    if (a.offset !== b.offset || !lengthOk) {
      // Once the two readers disagree on framing, later records cannot be
      // paired; report the first divergence only.
      rep.error(a, `warcio.js places record #${i} at offset ${b.offset} length ${b.length}; ${compressed ? "the gzip member" : "this checker finds it"} at ${a.offset} length ${a.length} (records after this one are not compared)`);
      return;
    }
    if (a.type !== b.type) rep.error(a, `warcio.js reads WARC-Type '${b.type}'`);
    if (bare(a.target) !== bare(b.target)) rep.error(a, `warcio.js reads WARC-Target-URI ${JSON.stringify(b.target)}`);
    if ((a.type === "response" || a.type === "request") && a.http && !b.hasHttp) {
      rep.error(a, "warcio.js did not parse the HTTP headers");
    }
    if (a.type === "response" && b.hasHttp && !(b.httpStatus >= 100 && b.httpStatus <= 599)) {
      rep.error(a, `warcio.js reads HTTP status ${b.httpStatus}`);
    }
    if (b.decodeError) rep.error(a, `warcio.js could not decode the content: ${b.decodeError}`);
  }
}

function crossChecks(all, rep, ctx) {
  const byId = new Map();
  for (const r of all) {
    const id = r.fields && field(r, "WARC-Record-ID");
    if (!id) continue;
    if (byId.has(id)) rep.error(r, `duplicate WARC-Record-ID ${id} (also at ${rep.where(byId.get(id))})`);
    else byId.set(id, r);
  }
  const byTargetDate = new Map();
  for (const r of all) {
    if (r.fields && (r.type === "response" || r.type === "resource")) {
      byTargetDate.set(`${r.target} ${field(r, "WARC-Date")}`, r);
    }
  }

  for (const r of all) {
    if (!r.fields) continue;
    for (const c of fieldAll(r, "WARC-Concurrent-To")) {
      const other = byId.get(c);
      if (!other) rep.warn(r, `WARC-Concurrent-To ${c} not found in the checked files`);
      else if (["request", "response", "revisit"].includes(r.type) && ["request", "response", "revisit"].includes(other.type)) {
        if (other.target !== r.target) rep.warn(r, `WARC-Concurrent-To record has a different WARC-Target-URI (${other.target})`);
        if (field(other, "WARC-Date") !== field(r, "WARC-Date")) {
          rep.warn(r, `records of one capture event should share WARC-Date (this ${field(r, "WARC-Date")}, concurrent ${field(other, "WARC-Date")})`);
        }
      }
    }
    const wi = field(r, "WARC-Warcinfo-ID");
    if (wi && !(byId.get(wi) && byId.get(wi).type === "warcinfo")) rep.warn(r, `WARC-Warcinfo-ID ${wi} does not name a warcinfo record in the checked files`);

    if (r.type === "revisit") {
      const refId = field(r, "WARC-Refers-To");
      const rt = field(r, "WARC-Refers-To-Target-URI");
      const rd = field(r, "WARC-Refers-To-Date");
      let orig = refId ? byId.get(refId) : undefined;
      if (refId && !orig) rep.warn(r, `WARC-Refers-To ${refId} not found in the checked files`);
      if (!orig && rt && rd) orig = byTargetDate.get(`${rt} ${rd}`);
      if (!orig) {
        if (rt && rd) rep.warn(r, `original (${rt} at ${rd}) not found in the checked files`);
        continue;
      }
      if (rt !== undefined && orig.target !== rt) rep.error(r, `WARC-Refers-To-Target-URI ${rt} differs from the original's WARC-Target-URI ${orig.target}`);
      if (rd !== undefined) {
        const od = field(orig, "WARC-Date");
        if (od !== rd) {
          if (Date.parse(od) === Date.parse(rd)) rep.warn(r, `WARC-Refers-To-Date ${rd} is spelled differently from the original's WARC-Date ${od}`);
          else rep.error(r, `WARC-Refers-To-Date ${rd} differs from the original's WARC-Date ${od}`);
        }
      }
      const pd = field(r, "WARC-Payload-Digest");
      const opd = field(orig, "WARC-Payload-Digest");
      if (pd && opd) {
        const a = parseLabelledDigest(pd);
        const b = parseLabelledDigest(opd);
        if (!a.error && !b.error && (a.nodeAlgo !== b.nodeAlgo || !a.expected.equals(b.expected))) {
          rep.error(r, `revisit WARC-Payload-Digest ${pd} differs from the original's ${opd}`);
        }
      }
    }
  }

  for (const { rec, n, actual } of ctx.pendingLengthChecks) {
    // A HEAD response legitimately carries Content-Length without a body.
    const req = fieldAll(rec, "WARC-Concurrent-To").map((c) => byId.get(c)).find((o) => o && o.type === "request");
    const method = req && req.http ? req.http.startLine.split(" ")[0] : null;
    if (method === "HEAD") continue;
    rep.error(rec, `HTTP Content-Length ${n} but the record holds ${actual} body bytes (use WARC-Truncated if the body was cut short)`);
  }
}

// ---------------------------------------------------------------------------

export async function checkFiles(files, { quiet = false } = {}) {
  const rep = new Report(quiet);
  const ctx = { pendingLengthChecks: [] };
  const all = [];
  const summaries = [];
  for (const file of files) {
    const ours = await readWithOurParser(file, rep);
    ours.forEach((rec, i) => {
      if (rec.fields && !rec.error) {
        if (i === 0 && rec.type !== "warcinfo") rep.warn(rec, "file does not start with a warcinfo record");
        checkRecord(rec, rep, ctx);
      }
    });
    const theirs = await readWithWarcio(file, rep);
    compareReaders(file, ours, theirs, rep, isGzipFile(file));
    const counts = {};
    for (const r of theirs) counts[r.type] = (counts[r.type] || 0) + 1;
    summaries.push({ file, records: theirs.length, counts });
    all.push(...ours);
    // Blocks are no longer needed; keep only what cross checks use.
    for (const r of ours) {
      delete r.block;
    }
  }
  crossChecks(all, rep, ctx);
  return { errors: rep.errors, warnings: rep.warnings, summaries };
}

async function main() {
  const args = process.argv.slice(2);
  const strict = args.includes("--strict");
  const quiet = args.includes("--quiet");
  const files = args.filter((a) => !a.startsWith("--"));
  if (!files.length) {
    console.error("usage: node check_warc.mjs [--strict] [--quiet] FILE.warc.gz...");
    process.exit(2);
  }
  for (const f of files) {
    if (!fs.existsSync(f)) {
      console.error(`no such file: ${f}`);
      process.exit(2);
    }
  }
  const res = await checkFiles(files, { quiet });
  for (const s of res.summaries) {
    const parts = Object.entries(s.counts).map(([t, c]) => `${t}=${c}`).join(" ");
    console.log(`${s.file}: ${s.records} records (warcio.js): ${parts}`);
  }
  console.log(`${res.errors} errors, ${res.warnings} warnings`);
  const failed = res.errors > 0 || (strict && res.warnings > 0);
  console.log(failed ? "FAIL" : "OK");
  process.exit(failed ? 1 : 0);
}

if (import.meta.url === `file://${process.argv[1]}` || process.argv[1]?.endsWith("check_warc.mjs")) {
  await main();
}
