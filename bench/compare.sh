#!/usr/bin/env bash
# Kestrine against the peers on one generated site served by nginx on
# 127.0.0.1: kestrine-cli, wget2, wget, and the floor (a plain parallel
# fetch of the same URL list with curl, no parsing, no rewriting). Copies go
# to a tmpfs; the runs are interleaved and repeated; medians are printed with
# the ratios of Kestrine to wget2 and to the floor, and every copy is checked
# for completeness.
# Usage: bench/compare.sh [pages] [rounds] [path/to/kestrine-cli]
set -euo pipefail
pages=${1:-2000}
rounds=${2:-5}
cli=$(realpath "${3:-build/default/src/kestrine-cli}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
copies=$(mktemp -d -p /dev/shm)
cleanup() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work" "$copies"
}
trap cleanup EXIT

chmod 755 "$work"
files=$(python3 "$here/generate_site.py" "$work/site" "$pages")
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/tmp"
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 512; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
  uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
  keepalive_requests 100000;
  server { listen 127.0.0.1:$port; root $work/site; }
}
CONF
nginx -c "$work/nginx.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
base="http://127.0.0.1:$port"
(cd "$work/site" && find . -type f | sed "s|^\.|$base|") >"$work/urls.txt"
# The floor's configuration: every URL with an output file of its own.
awk -v d="$copies/floor" '{ printf "url = \"%s\"\noutput = \"%s/%d\"\n", $0, d, NR }' \
  "$work/urls.txt" >"$work/floor.cfg"

declare -A commands=(
  [kestrine]="$cli --quiet --mode duplicate --workers 5 --output $copies/kestrine $base/index.html"
  [wget2]="wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 -P $copies/wget2 $base/index.html"
  [wget]="wget -q --mirror --convert-links --page-requisites --no-parent -P $copies/wget $base/index.html"
  [floor]="curl -s --parallel --parallel-max 5 --create-dirs -K $work/floor.cfg"
)
order=(kestrine wget2 wget floor)
declare -A walls cpus mems counts
for round in $(seq "$rounds"); do
  for tool in "${order[@]}"; do
    rm -rf "${copies:?}/$tool"
    mkdir -p "$copies/$tool"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" bash -c "${commands[$tool]}" \
      >/dev/null 2>&1 || true
    read -r wall user sys mem < <(tail -n 1 "$work/time.txt")
    count=$(find "$copies/$tool" -type f ! -name download.log ! -name kestrine.journal | wc -l)
    walls[$tool]+="$wall "
    cpus[$tool]+="$(echo "$user + $sys" | bc) "
    mems[$tool]+="$mem "
    counts[$tool]=$count
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf 'Site: %d pages, %d files, %d rounds, medians; copies on tmpfs\n' "$pages" "$files" "$rounds"
printf '%-10s %9s %9s %10s %8s %s\n' tool wall_s cpu_s peak_MB files complete
for tool in "${order[@]}"; do
  wall=$(echo "${walls[$tool]}" | median)
  cpu=$(echo "${cpus[$tool]}" | median)
  mem=$(echo "${mems[$tool]}" | median)
  complete=$([ "${counts[$tool]}" -ge "$files" ] && echo yes || echo "NO (${counts[$tool]} of $files)")
  printf '%-10s %9.2f %9.2f %10.1f %8d %s\n' "$tool" "$wall" "$cpu" "$(echo "$mem / 1024" | bc -l)" \
    "${counts[$tool]}" "$complete"
  eval "median_$tool=$wall"
done
printf 'kestrine / wget2: %.2f   kestrine / floor: %.2f\n' \
  "$(echo "$median_kestrine / $median_wget2" | bc -l)" "$(echo "$median_kestrine / $median_floor" | bc -l)"
