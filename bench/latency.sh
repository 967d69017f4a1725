#!/usr/bin/env bash
# Kestrine against wget2 and the curl floors on a network with round trips:
# bench/latserve.py delays every response by a fixed round trip and every
# new connection by its handshake, over HTTP/1.1, HTTPS/1.1 and HTTPS with
# HTTP/2. Two sites: the generated one (500 pages, 2,151 files) and
# python3-doc. Runs are interleaved; medians and ratios are printed. Both
# tools stay on the site's host (wget2's --no-parent, Kestrine's
# --no-span-hosts): python3-doc links hundreds of other hosts, and without a
# network their lookups, not the transfers, would be measured.
# Usage: bench/latency.sh [rounds] [path/to/kestrine-cli] [delays in ms...]
set -euo pipefail
rounds=${1:-3}
cli=$(realpath "${2:-build/default/src/kestrine-cli}")
shift $(($# < 2 ? $# : 2))
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(25 100)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/serve_and_time.sh"
bench_begin

# A certificate authority and a certificate for 127.0.0.1, made for this run.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/ca.key" -out "$work/ca.pem" -days 2 \
  -subj "/CN=Kestrine bench CA" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$work/server.key" -out "$work/server.csr" \
  -subj "/CN=127.0.0.1" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' >"$work/ext.cnf"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -out "$work/server.pem" -days 2 -extfile "$work/ext.cnf" 2>/dev/null
cat "$work/server.pem" "$work/ca.pem" >"$work/chain.pem"

latserve_pid=
latency_serve() {  # ROOT PROTO DELAY: sets $base
  local root=$1 proto=$2 delay=$3 port scheme=https
  [ "$proto" = http ] && scheme=http
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  /usr/bin/python3 "$here/latserve.py" --root "$root" --port "$port" --proto "$proto" \
    --delay-ms "$delay" --cert "$work/chain.pem" --key "$work/server.key" >/dev/null 2>&1 &
  latserve_pid=$!
  base="$scheme://127.0.0.1:$port"
  for _ in $(seq 100); do
    curl -s --cacert "$work/ca.pem" -o /dev/null "$base/" && return
    sleep 0.1
  done
}
latency_stop() { kill "$latserve_pid" 2>/dev/null || true; wait "$latserve_pid" 2>/dev/null || true; }
trap 'latency_stop; bench_end' EXIT

python3 "$here/generate_site.py" "$work/generated" 500 >/dev/null
sites=(generated)
roots=([0]="$work/generated")
starts=([0]=index.html)
if [ -d /usr/share/doc/python3-doc/html ]; then
  sites+=(python3-doc)
  roots+=(/usr/share/doc/python3-doc/html)
  starts+=(index.html)
fi

printf '%-12s %-7s %6s %10s %10s %10s %10s %10s %8s %8s %8s\n' site proto delay kestrine wget2 \
  floor k_cpu w_cpu k/wget2 k/floor k_MB
for i in "${!sites[@]}"; do
  root=${roots[$i]}
  (cd "$root" && find . -type f | sed 's|^\./||') >"$work/paths.txt"
  for proto in http https1 https2; do
    for delay in "${delays[@]}"; do
      latency_serve "$root" "$proto" "$delay"
      # The floor: every file fetched with no parsing, five connections, or
      # over HTTP/2 fifty streams on one.
      parallel=5
      [ "$proto" = https2 ] && parallel=50
      awk -v b="$base" -v d="$copies/floor" \
        '{ printf "url = \"%s/%s\"\noutput = \"%s/%d\"\n", b, $0, d, NR }' \
        "$work/paths.txt" >"$work/floor.cfg"
      commands=(
        [kestrine]="$cli --quiet --mode duplicate --no-span-hosts --ca-certificate $work/ca.pem --output $copies/kestrine $base/${starts[$i]}"
        [wget2]="wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 --ca-certificate=$work/ca.pem -P $copies/wget2 $base/${starts[$i]}"
        [floor]="curl -s --cacert $work/ca.pem --parallel --parallel-max $parallel --create-dirs -K $work/floor.cfg"
      )
      walls=() cpus=() mems=() counts=()
      bench_rounds "$rounds" kestrine wget2 floor
      latency_stop
      k=$(bench_median "${walls[kestrine]}")
      w=$(bench_median "${walls[wget2]}")
      f=$(bench_median "${walls[floor]}")
      printf '%-12s %-7s %4sms %9.2fs %9.2fs %9.2fs %9.2fs %9.2fs %8.2f %8.2f %8.1f\n' \
        "${sites[$i]}" "$proto" "$delay" "$k" "$w" "$f" \
        "$(bench_median "${cpus[kestrine]}")" "$(bench_median "${cpus[wget2]}")" \
        "$(echo "$k / $w" | bc -l)" "$(echo "$k / $f" | bc -l)" \
        "$(echo "$(bench_median "${mems[kestrine]}") / 1024" | bc -l)"
    done
  done
done
