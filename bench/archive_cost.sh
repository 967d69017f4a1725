#!/usr/bin/env bash
# What the web archive costs and whether it holds the whole copy. On the
# generated site (zero latency, nginx on 127.0.0.1): kestrine-cli as it is,
# with --warc-file, and with --wacz --warc-cdx, interleaved, medians. On
# python3-doc: the copy with --wacz is the same as without it, and every
# stored file has its response record; the archive's size.
# Usage: bench/archive_cost.sh [pages] [rounds] [path/to/kestrine-cli] [doc-root]
set -euo pipefail
pages=${1:-2000}
rounds=${2:-5}
cli=$(realpath "${3:-build/default/src/kestrine-cli}")
doc=$(realpath "${4:-/usr/share/doc/python3-doc/html}")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/serve_and_time.sh"
bench_begin

files=$(python3 "$here/generate_site.py" "$work/site" "$pages")
bench_serve "$work/site"
run="$cli --quiet --mode duplicate --workers 5"
commands=(
  [plain]="$run --output $copies/plain $base/index.html"
  [warc]="$run --output $copies/warc --warc-file $work/warc-archive $base/index.html"
  [wacz]="$run --output $copies/wacz --wacz --warc-cdx --warc-file $work/wacz-archive $base/index.html"
)
# Each round writes its archive anew.
for tool in warc wacz; do
  commands[$tool]="rm -f $work/$tool-archive*; ${commands[$tool]}"
done
order=(plain warc wacz)
bench_rounds "$rounds" "${order[@]}"
printf 'Site: %d pages, %d files, %d rounds, medians; zero latency\n' "$pages" "$files" "$rounds"
printf '%-8s %9s %9s %10s %s\n' run wall_s cpu_s peak_MB "wall vs plain"
plain=$(bench_median "${walls[plain]}")
for tool in "${order[@]}"; do
  wall=$(bench_median "${walls[$tool]}")
  printf '%-8s %9.2f %9.2f %10.1f %+12.0f%%\n' "$tool" "$wall" "$(bench_median "${cpus[$tool]}")" \
    "$(echo "$(bench_median "${mems[$tool]}") / 1024" | bc -l)" \
    "$(echo "($wall / $plain - 1) * 100" | bc -l)"
done
printf 'archive of the generated site: %s (WARC), %s (WACZ)\n' \
  "$(du -h "$work/warc-archive.warc.gz" | cut -f1)" "$(du -h "$work/wacz-archive.wacz" | cut -f1)"

[ -d "$doc" ] || { echo "no $doc: python3-doc part skipped"; exit 0; }
bench_end
bench_begin
bench_serve "$doc"
start="$base/index.html"
$run --no-span-hosts --output "$copies/doc-plain" "$start" >/dev/null 2>&1 || true
$run --no-span-hosts --output "$copies/doc-wacz" --wacz --warc-file "$work/doc" "$start" \
  >/dev/null 2>&1 || true
plainFolder=$(ls -d "$copies"/doc-plain/*/)
waczFolder=$(ls -d "$copies"/doc-wacz/*/)
stored=$(find "$waczFolder" -type f ! -name download.log ! -name kestrine.journal | wc -l)
same=$(diff -r -x download.log -x kestrine.journal "$plainFolder" "$waczFolder" >/dev/null &&
  echo "the same" || echo "DIFFERENT")
recorded=$(zcat "$work/doc.warc.gz" | grep -a -c '^WARC-Type: response')
check=$("$cli" --verify "$waczFolder" --warc-file "$work/doc" | tail -1)
printf 'python3-doc: %d files stored, copy %s as without the archive; %d response records\n' \
  "$stored" "$same" "$recorded"
printf '  %s\n  archive: %s WARC, %s WACZ\n' "$check" "$(du -h "$work/doc.warc.gz" | cut -f1)" \
  "$(du -h "$work/doc.wacz" | cut -f1)"
