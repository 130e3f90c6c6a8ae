#!/usr/bin/env bash
# Installs what is missing, builds, starts the test services (sshd, cupsd) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build=${ORVIK_BUILD_DIR:-build}

state=${ORVIK_TEST_STATE:-/tmp/orvik-test-services}
export ORVIK_TEST_STATE=$state
bash scripts/test-services.sh start
trap 'bash scripts/test-services.sh stop' EXIT
# shellcheck disable=SC1091
source "$state/env"

ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
