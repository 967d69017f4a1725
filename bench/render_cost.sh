#!/usr/bin/env bash
# Whether rendering slows a static site. On python3-doc (nginx on
# 127.0.0.1, zero latency): --render never against --render auto,
# interleaved, medians. Auto must render no page of a documentation site,
# so the two should take the same time.
# Usage: bench/render_cost.sh [rounds] [path/to/kestrine-cli] [doc-root]
set -euo pipefail
rounds=${1:-5}
cli=$(realpath "${2:-build/default/src/kestrine-cli}")
doc=$(realpath "${3:-/usr/share/doc/python3-doc/html}")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/serve_and_time.sh"
[ -d "$doc" ] || { echo "no $doc: apt-get install python3-doc"; exit 0; }
bench_begin
bench_serve "$doc"
run="$cli --quiet --mode duplicate --workers 5 --no-span-hosts"
commands=(
  [never]="$run --render never --output $copies/never $base/index.html"
  [auto]="$run --render auto --output $copies/auto $base/index.html"
)
order=(never auto)
bench_rounds "$rounds" "${order[@]}"
printf 'python3-doc, %d rounds, medians; zero latency\n' "$rounds"
printf '%-8s %9s %9s %10s\n' run wall_s cpu_s peak_MB
for mode in "${order[@]}"; do
  printf '%-8s %9.2f %9.2f %10.1f\n' "$mode" "$(bench_median "${walls[$mode]}")" \
    "$(bench_median "${cpus[$mode]}")" \
    "$(echo "$(bench_median "${mems[$mode]}") / 1024" | bc -l)"
done
rendered=$($cli --mode duplicate --no-span-hosts --render auto --output "$copies/count" \
  "$base/index.html" 2>&1 | grep -c "rendered .* in a browser" || true)
printf 'pages of python3-doc rendered with auto: %s\n' \
  "$([ "$rendered" = 0 ] && echo none || echo SOME)"
bench_end
