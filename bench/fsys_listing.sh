#!/usr/bin/env bash
# orvikfsys listing figures: first page of a folder of 100,000 (and 1,000) entries beside the
# bare ls command line, Forward on page 2 and page 1000, and the browser's peak memory for
# 1,000 and 100,000 entries, each size in a fresh process.
#
#   cmake -S . -B build -DORVIK_BUILD_BENCH=ON && cmake --build build --target bench_fsys_listing
#   bash bench/fsys_listing.sh [build]
#
# The folders are made once under $ORVIK_BENCH_DIR (default /tmp/orvik-fsys-bench).
set -euo pipefail
build=${1:-build}
bin=$build/bin/bench_fsys_listing
[ -x "$bin" ] || { echo "fsys_listing: $bin is missing (build bench_fsys_listing)" >&2; exit 1; }

echo "== time: median of 9 repetitions"
"$bin" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
  --benchmark_filter='BareLs|FirstPage|Forward' 2>/dev/null | grep -E '^(Benchmark|[A-Za-z]+/[0-9]+_median)'

echo "== first page and bare ls in turns, 15 rounds each (medians)"
"$bin" --benchmark_filter='FirstPageBesideLs' 2>/dev/null | grep -E '^FirstPageBesideLs'

echo "== peak memory of the browser's own process (the ls child not counted)"
for n in 1000 100000; do
  "$bin" --benchmark_filter="^FirstPage/$n\$" --benchmark_min_time=0.01 2>/dev/null |
    grep -o "FirstPage/$n .*self_peak_kB=[0-9.kM]*" | sed 's/ .*self_peak_kB=/: self_peak_kB=/'
done
