# Sourced by the comparison scripts: a work folder and a tmpfs for the
# copies, nginx serving a folder on 127.0.0.1, and interleaved timed rounds
# of named commands with their medians.
#   bench_begin                      sets $work and $copies, cleans up on exit
#   bench_serve ROOT                 sets $base to the server's address
#   bench_rounds ROUNDS TOOL...      runs ${commands[TOOL]} for each TOOL, each
#                                    round; fills walls, cpus, mems, counts
#   bench_median TEXT                the median of the numbers in TEXT

bench_begin() {
  work=$(mktemp -d)
  copies=$(mktemp -d -p /dev/shm)
  trap bench_end EXIT
  chmod 755 "$work"
}

bench_end() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null || true
  rm -rf "$work" "$copies"
}

bench_serve() {
  local root=$1 port
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
  server { listen 127.0.0.1:$port; root $root; }
}
CONF
  nginx -c "$work/nginx.conf"
  base="http://127.0.0.1:$port"
  for _ in $(seq 50); do curl -s -o /dev/null "$base/" && break; sleep 0.1; done
}

declare -A commands walls cpus mems counts

bench_rounds() {
  local rounds=$1 tool wall user sys mem
  shift
  for _ in $(seq "$rounds"); do
    for tool in "$@"; do
      rm -rf "${copies:?}/$tool"
      mkdir -p "$copies/$tool"
      /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" bash -c "${commands[$tool]}" \
        >/dev/null 2>&1 || true
      read -r wall user sys mem < <(tail -n 1 "$work/time.txt")
      walls[$tool]+="$wall "
      cpus[$tool]+="$(echo "$user + $sys" | bc) "
      mems[$tool]+="$mem "
      counts[$tool]=$(find "$copies/$tool" -type f ! -name download.log ! -name kestrine.journal |
        wc -l)
    done
  done
}

bench_median() {
  echo "$1" | tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}
