#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang into ./build-fuzz and runs each for
# the given number of seconds (default 30). A crash, a sanitizer report or a harness that does
# not build fails the run; the crashing input is left in build-fuzz/crashes/<harness>/.
#   bash scripts/fuzz.sh [seconds] [harness ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=${ORVIK_FUZZ_BUILD_DIR:-build-fuzz}

command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (install clang)" >&2; exit 1; }
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_FUZZ=ON >/dev/null

if [ $# -gt 0 ]; then
  harnesses=("$@")
else
  harnesses=()
  for source in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    harnesses+=("$name")
  done
fi
targets=()
for name in "${harnesses[@]}"; do targets+=("fuzz_$name"); done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
for name in "${harnesses[@]}"; do
  corpus=$build/corpus/$name
  crashes=$build/crashes/$name
  mkdir -p "$corpus" "$crashes"
  seeds=()
  [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
  echo "fuzz: $name for ${seconds}s"
  # The corpus grows in the build folder; the committed seeds are only read.
  if ! "$build/bin/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$crashes/" -print_final_stats=1 "$corpus" "${seeds[@]}" \
       >"$build/fuzz_$name.log" 2>&1; then
    echo "fuzz: $name FAILED, see $build/fuzz_$name.log and $crashes/" >&2
    tail -40 "$build/fuzz_$name.log" >&2
    failed=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/fuzz_$name.log" |
    sed "s/^/fuzz: $name /" || true
done
exit $failed
