// SURT urlkeys for CDXJ, following the default canonicalisation of the Python
// "surt" package (Google-style escaping + IA canonicaliser), which is what
// pywb and cdxj-indexer (and so py-wacz) write.  warcio.js has a simpler
// getSurt(); cdx_compare.mjs accepts either and says which one a file uses.
//
// Only http(s) URLs are canonicalised; anything else is returned unchanged.

import { domainToASCII } from "node:url";

// Bytes that the Python canonicaliser leaves unescaped (quote_from_bytes with
// safe = !"$&'()*+,-./:;<=>?@[\]^_`{|}~ plus letters, digits, _.-~).
const SAFE = new Set(
  Array.from("!\"$&'()*+,-./:;<=>?@[\\]^_`{|}~abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789").map((c) =>
    c.charCodeAt(0),
  ),
);

function unescapeOnce(bytes) {
  const out = [];
  for (let i = 0; i < bytes.length; i++) {
    const b = bytes[i];
    if (b === 0x25 && isHex(bytes[i + 1]) && isHex(bytes[i + 2])) {
      out.push(parseInt(String.fromCharCode(bytes[i + 1], bytes[i + 2]), 16));
      i += 2;
    } else {
      out.push(b);
    }
  }
  return Buffer.from(out);
}

function isHex(b) {
  return b !== undefined && ((b >= 48 && b <= 57) || (b >= 65 && b <= 70) || (b >= 97 && b <= 102));
}

function unescapeRepeatedly(bytes) {
  for (let guard = 0; guard < 64; guard++) {
    const un = unescapeOnce(bytes);
    if (un.equals(bytes)) return bytes;
    bytes = un;
  }
  return bytes;
}

function escapeOnce(bytes) {
  let s = "";
  for (const b of bytes) {
    s += SAFE.has(b) ? String.fromCharCode(b) : "%" + b.toString(16).toUpperCase().padStart(2, "0");
  }
  return s;
}

function minimalEscape(str) {
  return escapeOnce(unescapeRepeatedly(Buffer.from(str, "utf8")));
}

function normalizePath(path) {
  if (!path) return "/";
  const parts = path.split("/").slice(1);
  const kept = [];
  for (const p of parts) {
    if (p === ".") continue;
    if (p === "..") {
      if (kept.length) kept.pop();
      else kept.push(p);
      continue;
    }
    kept.push(p);
  }
  let out = "/";
  for (let i = 0; i < kept.length - 1; i++) if (kept[i].length) out += kept[i] + "/";
  if (kept.length) out += kept[kept.length - 1];
  return out;
}

const QUERY_SESSION_IDS = [
  /^(.*)(?:jsessionid=[0-9a-zA-Z]{32})(?:&(.*))?$/i,
  /^(.*)(?:phpsessid=[0-9a-zA-Z]{32})(?:&(.*))?$/i,
  /^(.*)(?:sid=[0-9a-zA-Z]{32})(?:&(.*))?$/i,
  /^(.*)(?:ASPSESSIONID[a-zA-Z]{8}=[a-zA-Z]{24})(?:&(.*))?$/i,
  /^(.*)(?:cfid=[^&]+&cftoken=[^&]+)(?:&(.*))?$/i,
];
const PATH_SESSION_IDS = [
  /^(.*\/)(\((?:[a-z]\([0-9a-z]{24}\))+\)\/)([^?]+\.aspx.*)$/i,
  /^(.*\/)(\([0-9a-z]{24}\)\/)([^?]+\.aspx.*)$/i,
];

function alphaReorderQuery(q) {
  if (q.length <= 1) return q;
  const args = q.split("&").map((a) => {
    const i = a.indexOf("=");
    return i < 0 ? [a] : [a.slice(0, i), a.slice(i + 1)];
  });
  const cmp = (x, y) => (x < y ? -1 : x > y ? 1 : 0);
  args.sort((a, b) => cmp(a[0], b[0]) || (a.length - b.length) || cmp(a[1] ?? "", b[1] ?? ""));
  return args.map((t) => (t.length === 1 ? t[0] : `${t[0]}=${t[1]}`)).join("&");
}

export function iaSurt(url) {
  let u = url.trim().replace(/[\t\r\n]/g, "");
  const m = /^([a-zA-Z][a-zA-Z0-9+.-]*):(?:\/\/([^/?#]*))?([^?#]*)(?:\?([^#]*))?(?:#.*)?$/.exec(u);
  if (!m || !/^https?$/i.test(m[1])) return url;
  const scheme = m[1].toLowerCase();
  let authority = m[2] || "";
  let path = m[3] || "";
  let query = m[4];

  authority = authority.replace(/^.*@/, "");
  let port = null;
  const pm = /^(.*?)(?::(\d*))?$/.exec(authority);
  let host = pm[1];
  if (pm[2]) port = Number(pm[2]);

  // Google-style canonicalisation
  host = unescapeRepeatedly(Buffer.from(host, "utf8")).toString("utf8");
  if (/[^\x00-\x7f]/.test(host)) host = domainToASCII(host) || host;
  host = host.replace(/\.\./g, ".").replace(/^\.+|\.+$/g, "");
  if (/^\d+$/.test(host)) {
    const n = Number(BigInt(host) & 0xffffffffn);
    host = [n >>> 24, (n >>> 16) & 255, (n >>> 8) & 255, n & 255].join(".");
  } else {
    host = escapeOnce(Buffer.from(host.toLowerCase(), "latin1"));
  }
  // Work on bytes (UTF-8 of the input), as the Python code does.
  path = escapeOnce(Buffer.from(normalizePath(unescapeRepeatedly(Buffer.from(path, "utf8")).toString("latin1")), "latin1"));
  if (query) query = minimalEscape(query);
  // escapeOnce writes upper-case hex; the IA step lower-cases path and query.

  // IA canonicalisation
  host = host.replace(/^www\d*\./, "");
  if ((scheme === "http" && port === 80) || (scheme === "https" && port === 443)) port = null;
  path = path.toLowerCase();
  for (const re of PATH_SESSION_IDS) {
    const mm = re.exec(path);
    if (mm) path = mm[1] + mm[3];
  }
  if (path.length > 1 && path.endsWith("/")) path = path.slice(0, -1);
  if (query) {
    for (const re of QUERY_SESSION_IDS) {
      const mm = re.exec(query);
      if (mm) query = mm[2] ? mm[1] + mm[2] : mm[1];
    }
    query = alphaReorderQuery(query.toLowerCase());
  }

  let key = host.split(".").reverse().join(",");
  if (port !== null) key += ":" + port;
  key += ")" + path;
  if (query) key += "?" + query;
  return key;
}
