#!/usr/bin/env bash
# Installs what is missing, builds the programs, and starts the main menu on the shipped default menu.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --run
# Only the five programs: the test command builds the suites.
build=${ORVIK_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target orvik_menu orvikfsys orvikdsys orvikpref orvikconn
bin=$(pwd)/$build/bin
# The menu starts the other programs by name.
export PATH="$bin:$PATH"
mkdir -p "${ORVIKHOME:-$HOME/.orvik}"
exec "$bin/orvik" -f "$(pwd)/share/orvik.xml" -d "${ORVIKHOME:-$HOME/.orvik}"
