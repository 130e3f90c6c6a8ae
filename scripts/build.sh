#!/usr/bin/env bash
# Configures and builds Orvik with its test suites into ./build (or $ORVIK_BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ORVIK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_BUILD_TESTS=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
