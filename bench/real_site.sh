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
here=$(cd "$(dirname "$0")" && pwd)
source "$here/serve_and_time.sh"
bench_begin

bench_serve "$root"
start="$base/index.html"
commands=(
  [kestrine]="$cli --quiet --mode duplicate --workers 5 --output $copies/kestrine $start"
  [kestrine-no-span]="$cli --quiet --mode duplicate --workers 5 --no-span-hosts --output $copies/kestrine-no-span $start"
  [wget2]="wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 -P $copies/wget2 $start"
)
order=(kestrine kestrine-no-span wget2)
bench_rounds "$rounds" "${order[@]}"

printf 'Site: %s, %d rounds, medians; copies on tmpfs\n' "$root" "$rounds"
printf '%-17s %9s %9s %10s %8s\n' tool wall_s cpu_s peak_MB files
for tool in "${order[@]}"; do
  printf '%-17s %9.2f %9.2f %10.1f %8d\n' "$tool" "$(bench_median "${walls[$tool]}")" \
    "$(bench_median "${cpus[$tool]}")" "$(echo "$(bench_median "${mems[$tool]}") / 1024" | bc -l)" \
    "${counts[$tool]}"
done
