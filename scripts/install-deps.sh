#!/usr/bin/env bash
# Installs what building, running and testing Orvik needs on Debian 12 (skips what is there).
set -euo pipefail

# What building and running the programs needs; `--run` installs only these.
run_packages=(
  g++ cmake make pkg-config libncurses-dev libxml2-dev
  openssh-client vim-tiny sudo cups-bsd clustershell
  lshw dmidecode net-tools procps util-linux fdisk
)
# What the tests, the sanitizer builds, the fuzzers, the package check and the benchmarks add.
test_packages=(
  clang libclang-rt-14-dev dpkg-dev lintian man-db groff-base
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  tmux openssh-server netcat-openbsd cups cups-client strace
  htop dialog hyperfine time
)
packages=("${run_packages[@]}")
[ "${1:-}" = --run ] || packages+=("${test_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
