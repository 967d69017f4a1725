#!/usr/bin/env bash
# A crawler trap served on 127.0.0.1 (every page links to a new, deeper page,
# plus a calendar whose "next month" never ends), copied three ways: with the
# defaults (trap rules on), with --no-trap-rules --level 50, and with
# --no-trap-rules --max-files 5000. Prints requests, files, peak memory and
# time of each; every run must end by itself.
# Usage: bench/trap_site.sh [path/to/kestrine-cli]
set -euo pipefail
cli=${1:-build/default/src/kestrine-cli}
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
cat >"$work/trap.py" <<'PY'
import http.server, sys, threading
count = 0
lock = threading.Lock()
class Trap(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        global count
        with lock:
            count += 1
        if self.path == "/count":
            body = str(count).encode()
        elif self.path.startswith("/calendar"):
            month = int(self.path.split("=")[-1]) if "=" in self.path else 0
            body = ('<a href="calendar?m=%d">next</a>' % (month + 1)).encode()
        else:
            depth = self.path.count("/")
            body = ('<a href="p%d/">deeper</a> <a href="/calendar?m=0">cal</a>' % depth).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Trap).serve_forever()
PY
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 "$work/trap.py" "$port" &
server=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/count" && break; sleep 0.1; done
run() {
  local label=$1; shift
  local before after
  before=$(curl -s "http://127.0.0.1:$port/count")
  rm -rf "$work/out"
  /usr/bin/time -v timeout 300 "$cli" --quiet --mode duplicate --output "$work/out" "$@" \
    "http://127.0.0.1:$port/start/" >"$work/summary.txt" 2>"$work/time.txt" || true
  after=$(curl -s "http://127.0.0.1:$port/count")
  local files peak wall
  files=$(find "$work/out" -type f | wc -l)
  peak=$(awk -F': ' '/Maximum resident set size/ {print int($2 / 1024)}' "$work/time.txt")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
  printf '%-32s requests %7d  files %7d  peak %4d MB  wall %s\n' "$label" \
    $((after - before - 1)) "$files" "$peak" "$wall"
  grep -E "skipped|reached" "$work/summary.txt" | sed 's/^/    /' || true
}
run "defaults (trap rules)"
run "--no-trap-rules --level 50" --no-trap-rules --level 50
run "--no-trap-rules --max-files 5000" --no-trap-rules --max-files 5000
