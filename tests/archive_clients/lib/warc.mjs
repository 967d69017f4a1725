// Low-level WARC reading used by check_warc.mjs: gzip member walking,
// record framing, HTTP message splitting, de-chunking and labelled digests.
// Written independently of warcio.js so that the two readers can be compared.

import fs from "node:fs";
import crypto from "node:crypto";
import zlib from "node:zlib";
import pako from "pako";

const CRLF = Buffer.from("\r\n");
const CRLFCRLF = Buffer.from("\r\n\r\n");

// ---------------------------------------------------------------------------
// Base32 (RFC 4648, upper case alphabet, '=' padding) and base16.

const B32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

export function base32(bytes) {
  let out = "";
  let bits = 0;
  let value = 0;
  for (const b of bytes) {
    value = (value << 8) | b;
    bits += 8;
    while (bits >= 5) {
      out += B32[(value >>> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  if (bits > 0) out += B32[(value << (5 - bits)) & 31];
  while (out.length % 8) out += "=";
  return out;
}

export function base32Decode(text) {
  const s = text.toUpperCase().replace(/=+$/, "");
  let bits = 0;
  let value = 0;
  const out = [];
  for (const ch of s) {
    const v = B32.indexOf(ch);
    if (v < 0) return null;
    value = (value << 5) | v;
    bits += 5;
    if (bits >= 8) {
      out.push((value >>> (bits - 8)) & 255);
      bits -= 8;
    }
  }
  return Buffer.from(out);
}

// Digest labels as written in WARC-Block-Digest / WARC-Payload-Digest, mapped
// to node's hash names and their raw size in bytes.
const ALGOS = {
  sha1: ["sha1", 20],
  "sha-1": ["sha1", 20],
  sha256: ["sha256", 32],
  "sha-256": ["sha256", 32],
  sha512: ["sha512", 64],
  "sha-512": ["sha512", 64],
  md5: ["md5", 16],
};

// Parses "label:value". Returns {label, nodeAlgo, expected (Buffer), encoding}
// or {error}.
export function parseLabelledDigest(text) {
  const m = /^([A-Za-z0-9-]+):(\S+)$/.exec(text || "");
  if (!m) return { error: `not of the form algorithm:value: '${text}'` };
  const label = m[1].toLowerCase();
  const algo = ALGOS[label];
  if (!algo) return { error: `unsupported digest algorithm '${m[1]}'` };
  const [nodeAlgo, size] = algo;
  const value = m[2];
  let expected = null;
  let encoding = null;
  if (/^[0-9a-fA-F]+$/.test(value) && value.length === size * 2) {
    expected = Buffer.from(value, "hex");
    encoding = "base16";
  } else {
    const dec = base32Decode(value);
    if (dec && dec.length === size) {
      expected = dec;
      encoding = "base32";
    }
  }
  if (!expected) {
    return { error: `digest value '${value}' is neither base16 nor base32 of a ${label} hash` };
  }
  return { label, nodeAlgo, expected, encoding, value };
}

export function hashBytes(nodeAlgo, ...parts) {
  const h = crypto.createHash(nodeAlgo);
  for (const p of parts) h.update(p);
  return h.digest();
}

export function sha1Base32(...parts) {
  return "sha1:" + base32(hashBytes("sha1", ...parts));
}

// ---------------------------------------------------------------------------
// Reading a file in windows, so that multi-gigabyte files need not be held
// in memory; only one record (decompressed) is held at a time.

class FileWindow {
  constructor(path) {
    this.fd = fs.openSync(path, "r");
    this.size = fs.fstatSync(this.fd).size;
  }
  read(pos, len) {
    const n = Math.max(0, Math.min(len, this.size - pos));
    const buf = Buffer.alloc(n);
    let done = 0;
    while (done < n) {
      const r = fs.readSync(this.fd, buf, done, n - done, pos + done);
      if (r <= 0) break;
      done += r;
    }
    return buf.subarray(0, done);
  }
  close() {
    fs.closeSync(this.fd);
  }
}

export function isGzipFile(path) {
  const fd = fs.openSync(path, "r");
  const b = Buffer.alloc(2);
  fs.readSync(fd, b, 0, 2, 0);
  fs.closeSync(fd);
  return b[0] === 0x1f && b[1] === 0x8b;
}

// Parses a gzip member header (RFC 1952 section 2.3) at the start of buf.
// Returns the header length or throws.
function gzipHeaderLength(buf) {
  if (buf.length < 10) throw new Error("truncated gzip header");
  if (buf[0] !== 0x1f || buf[1] !== 0x8b) {
    throw new Error(`no gzip magic (found ${buf.subarray(0, 2).toString("hex")})`);
  }
  if (buf[2] !== 8) throw new Error(`gzip compression method ${buf[2]} is not deflate`);
  const flg = buf[3];
  let p = 10;
  if (flg & 4) {
    if (buf.length < p + 2) throw new Error("truncated gzip FEXTRA");
    p += 2 + buf.readUInt16LE(p);
  }
  for (const bit of [8, 16]) {
    if (flg & bit) {
      const end = buf.indexOf(0, p);
      if (end < 0) throw new Error("unterminated gzip FNAME/FCOMMENT");
      p = end + 1;
    }
  }
  if (flg & 2) p += 2;
  if (p > buf.length) throw new Error("truncated gzip header");
  return p;
}

const WINDOW = 1 << 20;

// Yields one entry per gzip member:
//   {offset, length, data}            data = decompressed bytes of the member
//   {offset, error}                   the walk stops after an error
export function* gzipMembers(path) {
  const f = new FileWindow(path);
  try {
    let pos = 0;
    while (pos < f.size) {
      let hdrLen;
      try {
        // FEXTRA/FNAME can be long; read generously.
        hdrLen = gzipHeaderLength(f.read(pos, 1 << 18));
      } catch (e) {
        yield { offset: pos, error: e.message };
        return;
      }
      const chunks = [];
      const inf = new pako.Inflate({ raw: true, chunkSize: 1 << 16 });
      inf.onData = (c) => chunks.push(Buffer.from(c));
      let dpos = pos + hdrLen;
      let endPos = -1;
      while (endPos < 0) {
        const win = f.read(dpos, WINDOW);
        if (win.length === 0) break;
        inf.push(win, false);
        if (inf.err) break;
        if (inf.ended) {
          endPos = dpos + (win.length - inf.strm.avail_in);
        } else {
          dpos += win.length;
        }
      }
      if (inf.err || endPos < 0) {
        yield {
          offset: pos,
          error: inf.err ? `deflate error: ${inf.msg}` : "gzip member truncated (deflate stream has no end)",
        };
        return;
      }
      const trailer = f.read(endPos, 8);
      if (trailer.length < 8) {
        yield { offset: pos, error: "gzip member truncated (missing CRC32/ISIZE trailer)" };
        return;
      }
      const data = Buffer.concat(chunks);
      const crc = zlib.crc32(data) >>> 0;
      if (trailer.readUInt32LE(0) !== crc) {
        yield { offset: pos, error: "gzip CRC32 mismatch" };
        return;
      }
      if (trailer.readUInt32LE(4) !== (data.length % 2 ** 32)) {
        yield { offset: pos, error: "gzip ISIZE mismatch" };
        return;
      }
      const end = endPos + 8;
      yield { offset: pos, length: end - pos, data };
      pos = end;
    }
  } finally {
    f.close();
  }
}

// ---------------------------------------------------------------------------
// Record framing: version line, named fields, blank line, block, CRLF CRLF.

// Parses one record at buf[start...]. Returns
//   {version, fields: [[name, value]], block, end}  on success
//   {error, fatal: true}                            when framing is broken
// Soft problems are pushed to `problems` as strings.
export function parseRecordAt(buf, start, problems) {
  const firstEnd = buf.indexOf(CRLF, start);
  if (firstEnd < 0) return { error: "no CRLF-terminated version line", fatal: true };
  const version = buf.subarray(start, firstEnd).toString("latin1");
  if (!/^WARC\/\d+\.\d+$/.test(version)) {
    return { error: `record does not start with a WARC version line (got '${version.slice(0, 40)}')`, fatal: true };
  }
  const hdrEnd = buf.indexOf(CRLFCRLF, firstEnd);
  if (hdrEnd < 0) return { error: "WARC header not terminated by an empty line (CRLF CRLF)", fatal: true };
  const headerText = buf.subarray(firstEnd + 2, hdrEnd).toString("utf8");
  const fields = [];
  if (headerText.length) {
    for (const line of headerText.split("\r\n")) {
      if (line.includes("\n") || line.includes("\r")) {
        problems.push(`header line with bare CR or LF: ${JSON.stringify(line.slice(0, 60))}`);
      }
      if (/^[ \t]/.test(line)) {
        problems.push(`folded (continuation) header line: ${JSON.stringify(line.slice(0, 60))}`);
        if (fields.length) fields[fields.length - 1][1] += " " + line.trim();
        continue;
      }
      const colon = line.indexOf(":");
      if (colon <= 0) {
        problems.push(`malformed header line: ${JSON.stringify(line.slice(0, 60))}`);
        continue;
      }
      const name = line.slice(0, colon);
      if (!/^[!#$%&'*+.^_`|~0-9A-Za-z-]+$/.test(name)) {
        problems.push(`field name is not a token: ${JSON.stringify(name)}`);
      }
      fields.push([name, line.slice(colon + 1).trim()]);
    }
  }
  const clField = fields.filter(([n]) => n.toLowerCase() === "content-length");
  if (clField.length !== 1 || !/^\d+$/.test(clField[0][1])) {
    return { error: "missing or invalid Content-Length", fatal: true, version, fields };
  }
  const len = Number(clField[0][1]);
  const blockStart = hdrEnd + 4;
  if (blockStart + len > buf.length) {
    return {
      error: `block shorter than Content-Length (${buf.length - blockStart} < ${len})`,
      fatal: true,
      version,
      fields,
    };
  }
  const block = buf.subarray(blockStart, blockStart + len);
  const tail = buf.subarray(blockStart + len, blockStart + len + 4);
  if (!tail.equals(CRLFCRLF)) {
    return {
      error: `block not followed by CRLF CRLF (found ${JSON.stringify(tail.toString("latin1"))})`,
      fatal: true,
      version,
      fields,
      block,
    };
  }
  return { version, fields, block, end: blockStart + len + 4 };
}

// ---------------------------------------------------------------------------
// HTTP messages inside application/http blocks.

export function splitHttp(block) {
  const end = block.indexOf(CRLFCRLF);
  if (end < 0) return { error: "HTTP header section not terminated by CRLF CRLF" };
  const text = block.subarray(0, end).toString("latin1");
  const lines = text.split("\r\n");
  const startLine = lines.shift();
  const headers = [];
  const problems = [];
  for (const line of lines) {
    if (line.includes("\n")) problems.push(`HTTP header line with bare LF: ${JSON.stringify(line.slice(0, 60))}`);
    const c = line.indexOf(":");
    if (c <= 0) {
      problems.push(`malformed HTTP header line: ${JSON.stringify(line.slice(0, 60))}`);
      continue;
    }
    headers.push([line.slice(0, c).trim(), line.slice(c + 1).trim()]);
  }
  return { startLine, headers, body: block.subarray(end + 4), headerBytes: end + 4, problems };
}

export function headerValues(headers, name) {
  const n = name.toLowerCase();
  return headers.filter(([k]) => k.toLowerCase() === n).map(([, v]) => v);
}

// Removes chunked transfer coding (RFC 9112 section 7.1). Strict: throws on
// malformed framing. Trailer fields are accepted and dropped.
export function dechunk(body) {
  const parts = [];
  let p = 0;
  for (let guard = 0; guard < 10_000_000; guard++) {
    const lineEnd = body.indexOf(CRLF, p);
    if (lineEnd < 0) throw new Error(`chunk-size line without CRLF at body offset ${p}`);
    const line = body.subarray(p, lineEnd).toString("latin1");
    const m = /^([0-9A-Fa-f]+)[ \t]*(;.*)?$/.exec(line);
    if (!m) throw new Error(`invalid chunk-size line ${JSON.stringify(line.slice(0, 30))} at body offset ${p}`);
    const size = parseInt(m[1], 16);
    p = lineEnd + 2;
    if (size === 0) {
      // trailer section, then CRLF
      for (let t = 0; t < 10_000; t++) {
        const e = body.indexOf(CRLF, p);
        if (e < 0) throw new Error("chunked body ends without final CRLF");
        if (e === p) {
          p += 2;
          if (p !== body.length) throw new Error(`${body.length - p} bytes after the last chunk`);
          return Buffer.concat(parts);
        }
        p = e + 2;
      }
      throw new Error("too many trailer lines");
    }
    if (p + size + 2 > body.length) throw new Error("chunk extends past the end of the body");
    parts.push(body.subarray(p, p + size));
    p += size;
    if (body[p] !== 13 || body[p + 1] !== 10) throw new Error(`chunk data not followed by CRLF at body offset ${p}`);
    p += 2;
  }
  throw new Error("too many chunks");
}
