#!/usr/bin/env bash
# Installs what is missing, builds, starts the test services (sshd, cupsd) and runs every test:
# the suites of the normal build, the same under the sanitizers, and the fuzz harnesses.
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

status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300 || status=1

# The same suites again under AddressSanitizer and UndefinedBehaviorSanitizer
# (ORVIK_SANITIZE=0 leaves them out), then every fuzz harness for a short while.
if [ "${ORVIK_SANITIZE:-1}" != 0 ]; then
  bash scripts/sanitize.sh ${ORVIK_SANITIZE_LABELS:-unit pty e2e} || status=1
fi
if [ "${ORVIK_FUZZ_SECONDS:-30}" != 0 ]; then
  bash scripts/fuzz.sh "${ORVIK_FUZZ_SECONDS:-30}" || status=1
fi
exit $status
