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
source "$here/serve_and_time.sh"
bench_begin

files=$(python3 "$here/generate_site.py" "$work/site" "$pages")
bench_serve "$work/site"
(cd "$work/site" && find . -type f | sed "s|^\.|$base|") >"$work/urls.txt"
# The floor's configuration: every URL with an output file of its own.
awk -v d="$copies/floor" '{ printf "url = \"%s\"\noutput = \"%s/%d\"\n", $0, d, NR }' \
  "$work/urls.txt" >"$work/floor.cfg"

commands=(
  [kestrine]="$cli --quiet --mode duplicate --workers 5 --output $copies/kestrine $base/index.html"
  [wget2]="wget2 -q --mirror --convert-links --page-requisites --no-parent --max-threads=5 -P $copies/wget2 $base/index.html"
  [wget]="wget -q --mirror --convert-links --page-requisites --no-parent -P $copies/wget $base/index.html"
  [floor]="curl -s --parallel --parallel-max 5 --create-dirs -K $work/floor.cfg"
)
order=(kestrine wget2 wget floor)
bench_rounds "$rounds" "${order[@]}"

printf 'Site: %d pages, %d files, %d rounds, medians; copies on tmpfs\n' "$pages" "$files" "$rounds"
printf '%-10s %9s %9s %10s %8s %s\n' tool wall_s cpu_s peak_MB files complete
declare -A medians
for tool in "${order[@]}"; do
  medians[$tool]=$(bench_median "${walls[$tool]}")
  complete=$([ "${counts[$tool]}" -ge "$files" ] && echo yes || echo "NO (${counts[$tool]} of $files)")
  printf '%-10s %9.2f %9.2f %10.1f %8d %s\n' "$tool" "${medians[$tool]}" \
    "$(bench_median "${cpus[$tool]}")" "$(echo "$(bench_median "${mems[$tool]}") / 1024" | bc -l)" \
    "${counts[$tool]}" "$complete"
done
printf 'kestrine / wget2: %.2f   kestrine / floor: %.2f\n' \
  "$(echo "${medians[kestrine]} / ${medians[wget2]}" | bc -l)" \
  "$(echo "${medians[kestrine]} / ${medians[floor]}" | bc -l)"
