#!/usr/bin/env bash
# Peak memory of a run whose start page holds 1,000,000 distinct links and
# that may store at most 200 files: addresses beyond what the limit can take
# are counted, not kept, and the run must stay under 512 MB.
# Usage: bench/many_links_memory.sh [path/to/kestrine-cli]
set -euo pipefail
cli=${1:-build/default/src/kestrine-cli}
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/out"
python3 - "$work/site" <<'PY'
import os, sys
folder = sys.argv[1]
with open(os.path.join(folder, "index.html"), "w") as f:
    f.write("<html><body>")
    for start in range(0, 1000000, 10000):
        f.write("".join('<a href="p%d.html"></a>\n' % i for i in range(start, start + 10000)))
    f.write("</body></html>")
for i in range(300):
    with open(os.path.join(folder, "p%d.html" % i), "w") as f:
        f.write("<p>page</p>")
PY
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$work/site" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
/usr/bin/time -v "$cli" --quiet --mode duplicate --max-files 200 --output "$work/out" \
  "http://127.0.0.1:$port/index.html" >"$work/run.txt" 2>"$work/time.txt" || true
peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
echo "1,000,000 links, --max-files 200: peak memory $((peak_kb / 1024)) MB (limit 512 MB), $seconds"
grep -E "^Finished|beyond the file limit" "$work/run.txt" || true
[ "$peak_kb" -lt $((512 * 1024)) ]
