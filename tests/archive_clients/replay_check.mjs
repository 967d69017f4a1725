#!/usr/bin/env node
// Opens a WACZ in ReplayWeb.page (npm "replaywebpage": ui.js + sw.js) inside
// headless Chromium and reports what a person would see.
//
//   node replay_check.mjs [options] WACZ_FILE PAGE_URL EXPECTED_TEXT [IMAGE_SELECTOR] SEARCH_WORD
//
//   --ts=TIMESTAMP       open that capture (14 digits or ISO 8601); default: latest
//   --timeout=SECONDS    per step (default 60)
//   --screenshot=FILE    PNG of the replayed page (and FILE-search.png of the search)
//   --no-search          skip the full-text search step (then SEARCH_WORD may be omitted)
//
// Serves, from 127.0.0.1 only: an embedding page (<replay-web-page source=...>
// as ReplayWeb.page documents for self-hosting), /ui.js, /replay/sw.js and
// /replay/ui.js from node_modules/replaywebpage, and the WACZ with HTTP Range
// support.  Chromium is told to resolve no other host.  A service worker
// needs a secure context; http://127.0.0.1 is one, so no TLS is needed.
//
// Checks, each bounded by --timeout:
//   1. the replay frame for PAGE_URL shows EXPECTED_TEXT;
//   2. every element matching IMAGE_SELECTOR in it has loaded (naturalWidth > 0);
//   3. the pages list search ("Search by Page URL, Title, or Text") finds
//      SEARCH_WORD in some page, and a nonsense word finds nothing.
// Prints one line per check and a JSON summary; exit status 0 when all pass.
//
// Chromium is heavy on a 2-core machine: run this under
//   flock /tmp/kestrine-build.lock node replay_check.mjs ...

import fs from "node:fs";
import path from "node:path";
import http from "node:http";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";

// replaywebpage's "exports" hides package.json and the bundles from resolve();
// they are plain files in node_modules.
const HERE = path.dirname(fileURLToPath(import.meta.url));
const RWP_DIR = path.join(HERE, "node_modules", "replaywebpage");
const RWP_VERSION = JSON.parse(fs.readFileSync(path.join(RWP_DIR, "package.json"), "utf8")).version;
const CHROMIUM = process.env.CHROMIUM_PATH || "/usr/bin/chromium";
const LAUNCH_ARGS = [
  "--headless",
  "--no-sandbox",
  "--disable-gpu",
  "--disable-quic",
  "--no-first-run",
  "--disable-background-networking",
  "--disable-component-update",
  "--disable-sync",
  // Loopback only: any other host name fails to resolve.
  "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
];
const NONSENSE = "qjxzvkwpq";

function parseArgs(argv) {
  const opts = { timeout: 60, ts: "", screenshot: "", search: true };
  const pos = [];
  for (const a of argv) {
    if (a.startsWith("--ts=")) opts.ts = a.slice(5);
    else if (a.startsWith("--timeout=")) opts.timeout = Number(a.slice(10));
    else if (a.startsWith("--screenshot=")) opts.screenshot = a.slice(13);
    else if (a === "--no-search") opts.search = false;
    else pos.push(a);
  }
  const need = opts.search ? 4 : 3;
  if (pos.length < need || pos.length > need + 1) return null;
  const [wacz, pageUrl, expectedText] = pos;
  let imageSelector = "";
  let searchWord = "";
  if (opts.search) {
    searchWord = pos[pos.length - 1];
    if (pos.length === 5) imageSelector = pos[3];
  } else if (pos.length === 4) {
    imageSelector = pos[3];
  }
  return { ...opts, wacz, pageUrl, expectedText, imageSelector, searchWord };
}

function escapeAttr(s) {
  return String(s).replace(/&/g, "&amp;").replace(/"/g, "&quot;").replace(/</g, "&lt;");
}

function embedPage({ source, url, ts, embed }) {
  const attrs = [`source="${escapeAttr(source)}"`, `replaybase="/replay/"`, `embed="${embed}"`];
  if (url) attrs.push(`url="${escapeAttr(url)}"`);
  if (ts) attrs.push(`ts="${escapeAttr(ts)}"`);
  return `<!doctype html>
<html><head><meta charset="utf-8"><title>replay check</title>
<script src="/ui.js"></script>
<style>html, body { width: 100%; height: 100%; margin: 0 } replay-web-page { display: block; width: 100%; height: 100% }</style>
</head><body>
<replay-web-page ${attrs.join(" ")}></replay-web-page>
</body></html>
`;
}

// Static server with single-range support for the WACZ.
function startServer(opts) {
  const log = [];
  const waczSize = fs.statSync(opts.wacz).size;
  const server = http.createServer((req, res) => {
    const u = new URL(req.url, "http://127.0.0.1");
    log.push(`${req.method} ${u.pathname}${req.headers.range ? " " + req.headers.range : ""}`);
    const send = (status, type, body, extra = {}) => {
      res.writeHead(status, { "Content-Type": type, "Content-Length": Buffer.byteLength(body), "Cache-Control": "no-store", ...extra });
      res.end(req.method === "HEAD" ? undefined : body);
    };
    const source = `http://127.0.0.1:${server.address().port}/archive.wacz`;
    switch (u.pathname) {
      case "/page.html":
        return send(200, "text/html; charset=utf-8", embedPage({ source, url: opts.pageUrl, ts: opts.ts, embed: "replayonly" }));
      case "/list.html":
        return send(200, "text/html; charset=utf-8", embedPage({ source, embed: "default" }));
      case "/ui.js":
      case "/replay/ui.js":
        return send(200, "application/javascript", fs.readFileSync(path.join(RWP_DIR, "ui.js")));
      case "/replay/sw.js":
        return send(200, "application/javascript", fs.readFileSync(path.join(RWP_DIR, "sw.js")));
      case "/archive.wacz": {
        const range = req.headers.range;
        const base = { "Accept-Ranges": "bytes", "Content-Type": "application/wacz", "Cache-Control": "no-store" };
        if (!range) {
          res.writeHead(200, { ...base, "Content-Length": waczSize });
          if (req.method === "HEAD") return res.end();
          return fs.createReadStream(opts.wacz).pipe(res);
        }
        const m = /^bytes=(\d*)-(\d*)$/.exec(range);
        let start;
        let end;
        if (m && m[1] !== "") {
          start = Number(m[1]);
          end = m[2] !== "" ? Math.min(Number(m[2]), waczSize - 1) : waczSize - 1;
        } else if (m && m[2] !== "") {
          start = Math.max(0, waczSize - Number(m[2]));
          end = waczSize - 1;
        }
        if (start === undefined || start > end || start >= waczSize) {
          res.writeHead(416, { ...base, "Content-Range": `bytes */${waczSize}` });
          return res.end();
        }
        res.writeHead(206, { ...base, "Content-Length": end - start + 1, "Content-Range": `bytes ${start}-${end}/${waczSize}` });
        if (req.method === "HEAD") return res.end();
        return fs.createReadStream(opts.wacz, { start, end }).pipe(res);
      }
      default:
        return send(404, "text/plain", "not found\n");
    }
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve({ server, log, port: server.address().port })));
}

async function until(deadline, fn, intervalMs = 250) {
  let last;
  while (Date.now() < deadline) {
    try {
      last = await fn();
      if (last && last.done) return last;
    } catch (e) {
      last = { error: String(e.message || e) };
    }
    await new Promise((r) => setTimeout(r, intervalMs));
  }
  return { ...(last || {}), timedOut: true };
}

// Visible text of a document including open shadow roots (runs in the page).
function deepText() {
  const out = [];
  const walk = (n, depth) => {
    if (depth > 60) return;
    if (n.nodeType === 3) {
      const t = n.textContent.trim();
      if (t && !/^[@{}]|keyframes/.test(t)) out.push(t);
    }
    if (n.nodeType === 1 && (n.tagName === "STYLE" || n.tagName === "SCRIPT")) return;
    if (n.shadowRoot) walk(n.shadowRoot, depth + 1);
    for (const c of n.childNodes) walk(c, depth + 1);
  };
  walk(document.documentElement, 0);
  return out.join(" | ").replace(/\s+/g, " ").slice(0, 600);
}

function isReplayFrameFor(frame, pageUrl) {
  const u = frame.url();
  const i = u.indexOf("mp_/");
  if (!u.includes("/replay/w/") || i < 0) return false;
  const archived = u.slice(i + 4);
  const norm = (s) => s.replace(/\/$/, "");
  return norm(archived) === norm(pageUrl) || norm(decodeURIComponent(archived)) === norm(pageUrl);
}

export async function runReplayCheck(opts) {
  const result = { replaywebpage: RWP_VERSION, wacz: opts.wacz, pageUrl: opts.pageUrl, checks: {} };
  const { server, log, port } = await startServer(opts);
  const origin = `http://127.0.0.1:${port}`;
  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: LAUNCH_ARGS });
  const consoleLines = [];
  try {
    const context = await browser.newContext({ viewport: { width: 1100, height: 800 }, serviceWorkers: "allow" });
    context.on("serviceworker", (w) => consoleLines.push(`[service worker started] ${w.url()}`));
    const page = await context.newPage();
    page.on("console", (m) => {
      if (m.type() === "error" || m.type() === "warning") consoleLines.push(`[${m.type()}] ${m.text()}`);
    });
    page.on("pageerror", (e) => consoleLines.push(`[pageerror] ${e.message}`));
    const stepMs = opts.timeout * 1000;

    // 1. The archived page shows the expected text.
    await page.goto(`${origin}/page.html`, { timeout: stepMs });
    const swOk = await page.evaluate(() => window.isSecureContext && "serviceWorker" in navigator);
    result.secureContext = swOk;
    // On a first visit the embed's iframe can load /replay/ from the network
    // before the new service worker controls it; ReplayWeb.page only reloads
    // the iframe when there is no controller at all, so it may stay blank.
    // Wait for the worker to be active, then load the page again.
    const swReady = await until(Date.now() + stepMs, async () => ({
      done: await page.evaluate(async () => {
        const r = await navigator.serviceWorker.getRegistration("/replay/");
        return !!(r && r.active && r.active.state === "activated");
      }),
    }));
    result.serviceWorkerActive = !!swReady.done;
    await page.reload({ timeout: stepMs });
    let frame = null;
    const textRes = await until(Date.now() + stepMs, async () => {
      frame = page.frames().find((f) => isReplayFrameFor(f, opts.pageUrl)) || null;
      if (!frame) return { done: false, frames: page.frames().map((f) => f.url()) };
      const text = await frame.evaluate(() => (document.body ? document.body.innerText : ""));
      return { done: text.includes(opts.expectedText), text: text.slice(0, 300), frameUrl: frame.url() };
    });
    if (!textRes.done) {
      // What the ReplayWeb.page UI itself says (error messages live in shadow DOM).
      const app = page.frames().find((f) => /\/replay\/(index\.html)?\?/.test(f.url()));
      if (app) textRes.appText = await app.evaluate(deepText).catch((e) => String(e));
    }
    result.checks.text = {
      ok: !!textRes.done,
      ...(textRes.appText ? { appText: textRes.appText } : {}),
      frameUrl: textRes.frameUrl || null,
      seen: textRes.text ?? null,
      ...(textRes.done ? {} : { frames: textRes.frames, error: textRes.error }),
    };

    // 2. Images in the archived page loaded.
    if (opts.imageSelector) {
      if (!frame) {
        result.checks.images = { ok: false, error: "no replay frame" };
      } else {
        const imgRes = await until(Date.now() + stepMs, async () => {
          const imgs = await frame.evaluate((sel) =>
            Array.from(document.querySelectorAll(sel)).map((img) => ({
              src: img.currentSrc || img.src || "",
              complete: !!img.complete,
              naturalWidth: img.naturalWidth || 0,
            })), opts.imageSelector);
          const settled = imgs.length > 0 && imgs.every((i) => i.complete);
          return { done: settled, imgs };
        });
        const imgs = imgRes.imgs || [];
        result.checks.images = {
          ok: imgs.length > 0 && imgs.every((i) => i.naturalWidth > 0),
          images: imgs,
          ...(imgRes.timedOut ? { timedOut: true } : {}),
        };
      }
    }
    if (opts.screenshot) await page.screenshot({ path: opts.screenshot });

    // 3. Full-text search in the pages list.
    if (opts.search) {
      const list = await context.newPage();
      list.on("console", (m) => {
        if (m.type() === "error") consoleLines.push(`[list ${m.type()}] ${m.text()}`);
      });
      await list.goto(`${origin}/list.html`, { timeout: stepMs });
      const search = async (word) => {
        const res = await until(Date.now() + stepMs, async () => {
          const appFrame = list.frames().find((f) => /\/replay\/(index\.html)?\?/.test(f.url()));
          if (!appFrame) return { done: false, stage: "no app frame" };
          const input = appFrame.locator('input[placeholder^="Search by Page URL"]');
          if ((await input.count()) === 0) return { done: false, stage: "no search box" };
          if ((await input.inputValue()) !== word) await input.fill(word);
          // The list filters 250 ms after typing; give it a moment.
          await new Promise((r) => setTimeout(r, 600));
          const entries = await appFrame.locator("wr-page-entry").evaluateAll((els) =>
            els.map((e) => (e.page ? { url: e.page.url, title: e.page.title } : { text: e.textContent.trim().slice(0, 80) })));
          const status = await appFrame.locator("wr-page-view").evaluateAll((els) =>
            els.map((e) => (e.shadowRoot ? e.shadowRoot.textContent : "")).join(" ").replace(/\s+/g, " "));
          const noneMsg = /No matching pages found/.test(status);
          const busy = /Initializing Search|Searching\.\.\./.test(status);
          return { done: !busy && (entries.length > 0 || noneMsg), entries, noneMsg };
        }, 400);
        return res;
      };
      const hit = await search(opts.searchWord);
      const miss = await search(NONSENSE);
      result.checks.search = {
        ok: !!hit.done && (hit.entries || []).length > 0 && !!miss.done && (miss.entries || []).length === 0,
        word: opts.searchWord,
        found: hit.entries || [],
        control: { word: NONSENSE, found: miss.entries || [] },
        ...(hit.timedOut ? { timedOut: true, stage: hit.stage, error: hit.error } : {}),
      };
      if (opts.screenshot) {
        await search(opts.searchWord);
        await list.screenshot({ path: opts.screenshot.replace(/\.png$/, "") + "-search.png" });
      }
    }
  } finally {
    await browser.close();
    server.close();
  }
  result.ok = Object.values(result.checks).every((c) => c.ok);
  result.console = consoleLines.slice(0, 40);
  result.requests = log.slice(0, 80);
  return result;
}

async function main() {
  const opts = parseArgs(process.argv.slice(2));
  if (!opts) {
    console.error("usage: node replay_check.mjs [--ts=TS] [--timeout=S] [--screenshot=FILE] [--no-search] WACZ PAGE_URL EXPECTED_TEXT [IMAGE_SELECTOR] SEARCH_WORD");
    process.exit(2);
  }
  if (!fs.existsSync(opts.wacz)) {
    console.error(`no such file: ${opts.wacz}`);
    process.exit(2);
  }
  const r = await runReplayCheck(opts);
  const line = (name, c, detail) => console.log(`${c ? (c.ok ? "PASS" : "FAIL") : "SKIP"} ${name}${detail ? ": " + detail : ""}`);
  line("text", r.checks.text, r.checks.text.ok ? JSON.stringify(opts.expectedText)
    : `not seen; page text: ${JSON.stringify(r.checks.text.seen)}; ReplayWeb.page shows: ${JSON.stringify(r.checks.text.appText || "")}`);
  if (r.checks.images) line("images", r.checks.images, r.checks.images.images?.map((i) => `${i.src.split("mp_/").pop() || i.src} w=${i.naturalWidth}`).join(", ") || r.checks.images.error);
  if (r.checks.search) line("search", r.checks.search, `'${r.checks.search.word}' -> ${JSON.stringify(r.checks.search.found.map((e) => e.url || e.text))}; control '${r.checks.search.control.word}' -> ${r.checks.search.control.found.length}`);
  console.log(JSON.stringify(r, null, 2));
  console.log(r.ok ? "OK" : "FAIL");
  process.exit(r.ok ? 0 : 1);
}

if (process.argv[1]?.endsWith("replay_check.mjs")) {
  await main();
}
