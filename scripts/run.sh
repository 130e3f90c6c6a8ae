#!/usr/bin/env bash
# Installs what is missing, builds, and starts the main menu on the shipped default menu.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
build=${ORVIK_BUILD_DIR:-build}
bin=$(pwd)/$build/bin
if [ ! -x "$bin/orvik" ]; then
  echo "Built the library; the main menu program is not there yet (would start $bin/orvik -f share/orvik.xml)."
  exit 0
fi
# The menu starts the other programs by name.
export PATH="$bin:$PATH"
mkdir -p "${ORVIKHOME:-$HOME/.orvik}"
exec "$bin/orvik" -f "$(pwd)/share/orvik.xml" -d "${ORVIKHOME:-$HOME/.orvik}"
