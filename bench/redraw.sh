#!/usr/bin/env bash
# Times redraws of one orvik menu level: the Help entry's box is opened and closed again,
# and the clock runs from the closing key to the menu's instruction line being back on the
# screen (a full drawing: configuration reload, gathering the items, every row written).
# Prints one figure per round in milliseconds, then the median.
# Usage: bench/redraw.sh <dir from menu_items.sh> [rounds] [cols rows]
set -euo pipefail
dir=$1 rounds=${2:-20} cols=${3:-80} rows=${4:-24}
bin=${ORVIK_BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}
sock=orvik-redraw-$$
ready="Click selection or Tab and press Enter."
trap 'tmux -L "$sock" kill-server 2>/dev/null || true' EXIT
tmux -L "$sock" -f /dev/null new-session -d -x "$cols" -y "$rows" \
  "TERM=screen $bin/orvik -f $dir/menu.xml -d $dir -l $dir/OrvikLog.txt"
wait_for() {  # wait_for <present|absent> <text>
  for _ in $(seq 1 5000); do
    if tmux -L "$sock" capture-pane -p | grep -qF -- "$2"; then
      [ "$1" = present ] && return 0
    else
      [ "$1" = absent ] && return 0
    fi
  done
  echo "timed out waiting for $2 to be $1" >&2
  exit 1
}
wait_for present "$ready"
times=()
for ((i = 0; i < rounds; i++)); do
  # the level has no help item: its Help entry (last on the bottom line) shows the no-help box
  tmux -L "$sock" send-keys BTab Enter
  wait_for present "No Help is available"
  start=$(date +%s%N)
  tmux -L "$sock" send-keys x
  wait_for present "$ready"
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000 )))
  printf '%d.%03d ms\n' $((times[i] / 1000)) $((times[i] % 1000))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (rounds + 1) / 2 ))p")
printf 'median %d.%03d ms over %d rounds\n' $((median / 1000)) $((median % 1000)) "$rounds"
