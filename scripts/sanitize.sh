#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into ./build-asan
# and runs the tests there (the labels given, default: unit, pty and e2e). Any sanitizer report
# fails the run, also one written by a program running inside a tmux pane: those go to log
# files that are checked at the end. Needs the test services (scripts/test.sh starts them).
#   bash scripts/sanitize.sh [unit|pty|e2e ...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ORVIK_ASAN_BUILD_DIR:-build-asan}
labels=${*:-unit pty e2e}

flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j"$(nproc)"

reports=$(mktemp -d /tmp/orvik-sanitizer-XXXXXX)
chmod 1777 "$reports" # the tests also run code as an ordinary user
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:abort_on_error=0:exitcode=86"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1:exitcode=86"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

status=0
regex=$(echo "$labels" | tr ' ' '|')
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300 -L "^($regex)\$" || status=1
if compgen -G "$reports/*" >/dev/null; then
  echo "sanitize: reports were written:" >&2
  for report in "$reports"/*; do
    echo "---- $report" >&2
    head -60 "$report" >&2
  done
  status=1
fi
rm -rf "$reports"
exit $status
