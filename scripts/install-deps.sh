#!/usr/bin/env bash
# Installs what building, running and testing Orvik needs on Debian 12 (skips what is there).
set -euo pipefail

packages=(
  g++ cmake make pkg-config clang libclang-rt-14-dev dpkg-dev lintian man-db groff-base
  libncurses-dev libxml2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  tmux openssh-server openssh-client netcat-openbsd cups cups-client cups-bsd
  htop dialog hyperfine time vim-tiny sudo
  lshw dmidecode net-tools procps util-linux fdisk
)

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
