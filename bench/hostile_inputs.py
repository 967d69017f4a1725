#!/usr/bin/env python3
"""Small hostile files a site may serve, each copied by kestrine-cli alone:
wall time, peak memory and requests. The figures the trust work quotes.

Usage: bench/hostile_inputs.py [path/to/kestrine-cli]
"""
import gzip
import http.server
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/default/src/kestrine-cli")


def repeated(piece, size):
    return (piece * (size // len(piece) + 1))[:size]


def runtime_and_ids(size):
    parts, i = [], 0
    while sum(map(len, parts)) < size // 2:
        parts.append('n.u=e=>"js/"+e+".%d.js";' % i)
        i += 1
    i = 0
    while sum(map(len, parts)) < size:
        parts.append('n.e("%d");' % i)
        i += 1
    return "".join(parts)


def fetches(size):
    out, i, total = [], 0, 0
    while total < size:
        piece = 'fetch("/api/%d.json");' % i
        out.append(piece)
        total += len(piece)
        i += 1
    return "".join(out)


def hash_map(pages):
    return "{" + ",".join('"guide_p%d.md":"H%d"' % (i, i) for i in range(pages)) + "}"


def pagefind_meta(pages):
    body = b"pagefind_dcd\x86\x651.6.0\x9a" + pages.to_bytes(4, "big") + b"\x81\x61a" * pages
    return gzip.compress(body, 9)


def sitemap(count):
    urls = "".join("<url><loc>http://127.0.0.1:%%d/p%d.html</loc></url>" % i for i in range(count))
    return "<urlset>" + urls + "</urlset>"


class Site(http.server.ThreadingHTTPServer):
    daemon_threads = True


def serve(files):
    counts = {"requests": 0}

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def do_GET(self):
            counts["requests"] += 1
            path = self.path.split("?")[0]
            body, kind = files.get(path, (None, None))
            if body is None and path.startswith("/c") and path.endswith(".js"):
                n = int(path[2:-3])
                body, kind = ('import("./c%d.js")' % (n + 1)).encode(), "text/javascript"
            if body is None:
                body, kind = b"{}", "application/json"
                if path not in ("/robots.txt", "/sitemap.xml"):
                    body = b"x"
                else:
                    self.send_response(404)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
            if callable(body):
                body = body(self.server.server_address[1])
            self.send_response(200)
            self.send_header("Content-Type", kind)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    server = Site(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, counts


def measure(name, files, extra, limit=120):
    server, counts = serve(files)
    out = tempfile.mkdtemp()
    url = "http://127.0.0.1:%d/index.html" % server.server_address[1]
    # GNU time forks the copy from a small process of its own: a child of
    # this one would inherit its high-water mark of memory.
    report = os.path.join(out, "time.txt")
    start = time.time()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report, CLI, "-q", "-P", out] +
                             extra + [url], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        child.wait(timeout=limit)
        ended = "%.2f s" % (time.time() - start)
    except subprocess.TimeoutExpired:
        child.kill()
        child.wait()
        ended = "killed at %d s" % limit
    try:
        peak = int(open(report).read().split()[-1])
    except (OSError, ValueError, IndexError):
        peak = 0
    server.shutdown()
    shutil.rmtree(out, ignore_errors=True)
    print("| %s | %s | %d MB | %d |" % (name, ended, peak // 1024, counts["requests"]))


def page(src):
    return ("<script src=%s></script>" % src).encode(), "text/html"


CASES = [
    ("runtime repeated, 5.7 MB", {"/index.html": page("/a.js"),
     "/a.js": (repeated("n.u=function(e){};", 5_700_000).encode(), "text/javascript")}, []),
    ("unending index names, 234 KB", {"/index.html": page("/a.js"),
     "/a.js": (("x=" + repeated('\\"search-index{dir}.json', 234_000)).encode(),
               "text/javascript")}, []),
    ("runtimes and chunk ids, 96 KB", {"/index.html": page("/a.js"),
     "/a.js": (runtime_and_ids(96_000).encode(), "text/javascript")}, ["--max-files", "50"]),
    ("Pagefind bundles, 11 MB", {"/index.html": page("/a.js"),
     "/a.js": (repeated('p("/pagefind/");', 11_000_000).encode(), "text/javascript")}, []),
    ("fetch literals, 46 MB", {"/index.html": page("/a.js"),
     "/a.js": (fetches(46_000_000).encode(), "text/javascript")}, ["--max-files", "50"]),
    ("hashmap.json of a million pages, --max-files 50",
     {"/index.html": (b"<a href=hashmap.json>m</a>", "text/html"),
      "/hashmap.json": (hash_map(1_000_000).encode(), "application/json")}, ["--max-files", "50"]),
    ("Pagefind meta, 15 KB packed", {"/index.html": (b"<a href=p.pf_meta>m</a>", "text/html"),
     "/p.pf_meta": (pagefind_meta(5_000_000), "application/octet-stream")}, []),
    ("sitemap of 900,000 addresses, --max-files 10", {"/index.html": (b"<p>x</p>", "text/html"),
     "/sitemap.xml": (lambda port: (sitemap(900_000) % tuple([port] * 900_000)).encode(),
                      "application/xml")}, ["--max-files", "10"]),
    ("scripts that name scripts, --level 2", {"/index.html": page("/c0.js")}, ["--level", "2"]),
]

if __name__ == "__main__":
    # Each case in a process of its own, so peaks are not carried over.
    if len(sys.argv) > 2:
        name, files, extra = CASES[int(sys.argv[2])]
        measure(name, files, extra)
    else:
        print("| file | wall | peak | requests |\n|---|---|---|---|")
        for index in range(len(CASES)):
            result = subprocess.run([sys.executable, __file__, CLI, str(index)],
                                    stdout=subprocess.PIPE, text=True)
            print(result.stdout.splitlines()[-1])
