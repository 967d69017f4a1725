#!/usr/bin/env bash
# Peak memory of a run that meets one large page of links: at 100 MB (the
# default) the page is stored as received (above the rewriting limit) and the
# run must stay under 256 MB; below 32 MB it is rewritten, and the peak shows
# what rewriting holds.
# Usage: bench/large_page_memory.sh [path/to/kestrine-cli] [megabytes]
set -euo pipefail
cli=${1:-build/default/src/kestrine-cli}
megabytes=${2:-100}
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/out"
python3 - "$work/site/big.html" "$megabytes" <<'PY'
import sys
with open(sys.argv[1], "w") as f:
    f.write("<html><body>")
    line = '<a href="p%d.html">link</a> text text text text text text\n'
    size = 0
    i = 0
    while size < int(sys.argv[2]) * 1024 * 1024:
        chunk = "".join(line % (i + k) for k in range(1000))
        f.write(chunk)
        size += len(chunk)
        i += 1000
    f.write("</body></html>")
PY
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
(cd "$work/site" && exec python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
server=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
/usr/bin/time -v "$cli" --quiet --mode duplicate --output "$work/out" \
  --max-files 1 "http://127.0.0.1:$port/big.html" 2>"$work/time.txt" || true
peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
stored=$(stat -c %s "$work/out/127.0.0.1-$port/big.html")
echo "$megabytes MB page: stored $stored bytes, peak memory $((peak_kb / 1024)) MB (limit 256 MB)"
grep -q "not rewritten" "$work/out/127.0.0.1-$port/download.log" && echo "log: stored as received"
[ "$peak_kb" -lt $((256 * 1024)) ]
