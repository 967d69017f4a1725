#!/usr/bin/env bash
# Kestrine against wget2 on a real site: a Debian documentation package
# (python3-doc by default) served by nginx on 127.0.0.1. Kestrine runs as
# described (other hosts' addresses fetched too: on a machine without the
# network each costs a DNS lookup) and with --no-span-hosts, which stays on
# the site as wget2's --no-parent mirror does. Copies go to a tmpfs; medians.
# Usage: bench/real_site.sh [site-root] [rounds] [path/to/kestrine-cli]
set -euo pipefail
root=$(realpath "${1:-/usr/share/doc/python3-doc/html}")
rounds=${2:-3}
cli=$(realpath "${3:-build/default/src/kestrine-cli}")
work=$(mktemp -d)
copies=$(mktemp -d -p /dev/shm)
cleanup() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work" "$copies"
}
trap cleanup EXIT

chmod 755 "$work"
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
  server { listen 127.0.0.1:$port; root $root; }
}
CONF
nginx -c "$work/nginx.conf"
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
start="http://127.0.0.1:$port/index.html"

declare -A commands=(
  [kestrine]="$cli --quiet --mode duplicate --workers 5 --output $copies/kestrine $start"
  [kestrine-no-span]="$cli --quiet --mode duplicate --workers 5 --no-span-hosts --output $copies/kestrine-no-span $start"
  [wget2]="wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 -P $copies/wget2 $start"
)
order=(kestrine kestrine-no-span wget2)
declare -A walls cpus mems counts
for _ in $(seq "$rounds"); do
  for tool in "${order[@]}"; do
    rm -rf "${copies:?}/$tool"
    mkdir -p "$copies/$tool"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" bash -c "${commands[$tool]}" \
      >/dev/null 2>&1 || true
    read -r wall user sys mem < <(tail -n 1 "$work/time.txt")
    walls[$tool]+="$wall "
    cpus[$tool]+="$(echo "$user + $sys" | bc) "
    mems[$tool]+="$mem "
    counts[$tool]=$(find "$copies/$tool" -type f ! -name download.log ! -name kestrine.journal | wc -l)
  done
done

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
printf 'Site: %s, %d rounds, medians; copies on tmpfs\n' "$root" "$rounds"
printf '%-17s %9s %9s %10s %8s\n' tool wall_s cpu_s peak_MB files
for tool in "${order[@]}"; do
  printf '%-17s %9.2f %9.2f %10.1f %8d\n' "$tool" "$(echo "${walls[$tool]}" | median)" \
    "$(echo "${cpus[$tool]}" | median)" "$(echo "$(echo "${mems[$tool]}" | median) / 1024" | bc -l)" \
    "${counts[$tool]}"
done
