#!/usr/bin/env bash
# A keypress to a redrawn screen, on a screen laid out anew after a resize and on one that was
# not. orvikdsys shows the lscpu report in a tmux pane; every round turns one page (page 1 ->
# 2 with Enter on Forward, page 2 -> 1 with Tab Enter on Backward), which builds the whole
# page panel again, and the clock runs from the key to the new "page N of M" on the screen.
# Rounds alternate: a plain round turns the page on an unchanged screen; a resized round
# first gives the pane the other of two sizes (80x24 and 100x30), waits until the report
# stands laid out for it, then turns the page. Prints each time, then the medians and ratio.
# Usage: bench/resize_redraw.sh [rounds]       (programs from $ORVIK_BIN, default build/bin)
set -euo pipefail
rounds=${1:-30}
bin=${ORVIK_BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}
dir=$(mktemp -d /tmp/orvik-resize-bench.XXXXXX)
sock=orvik-resize-$$
trap 'tmux -L "$sock" kill-server 2>/dev/null || true; sleep 0.2; rm -rf "$dir" 2>/dev/null || true' EXIT
tmux -L "$sock" -f /dev/null new-session -d -x 80 -y 24 \
  "HOME=$dir ORVIKDIR=$dir ORVIKLOGFILE=$dir/OrvikLog.txt TERM=screen $bin/orvikdsys -cpu" \; \
  set -g window-size manual

# wait_for <regex>: polls the pane until a line matches (about 10 s at most).
wait_for() {
  for _ in $(seq 1 5000); do
    tmux -L "$sock" capture-pane -p | grep -qE -- "$1" && return 0
  done
  echo "timed out waiting for /$1/" >&2
  tmux -L "$sock" capture-pane -p >&2
  exit 1
}
# The page counter ends at column 79 plus the margin of the 80-column layout.
counter_at() {  # counter_at <columns> <page>: the counter line of that page at that width
  local margin=$(( $1 > 80 ? ($1 - 80) / 2 : 0 ))
  printf '^ {%d}page %d of [0-9]+$' $(( 79 + margin - 11 )) "$2"
}
now_us() { echo $(( $(date +%s%N) / 1000 )); }

cols=80 page=1
wait_for "$(counter_at $cols 1)"
plain=() resized=()
for ((i = 0; i < 2 * rounds; i++)); do
  if (( i % 2 == 1 )); then
    if (( cols == 80 )); then cols=100 rows=30; else cols=80 rows=24; fi
    tmux -L "$sock" resize-window -x "$cols" -y "$rows"
    wait_for "$(counter_at $cols $page)"
  fi
  if (( page == 1 )); then keys=(Enter) next=2; else keys=(Tab Enter) next=1; fi
  start=$(now_us)
  tmux -L "$sock" send-keys "${keys[@]}"
  wait_for "$(counter_at $cols $next)"
  took=$(( $(now_us) - start ))
  page=$next
  if (( i % 2 == 1 )); then resized+=("$took"); kind=resized; else plain+=("$took"); kind=plain; fi
  printf '%-8s %d.%03d ms\n' "$kind" $((took / 1000)) $((took % 1000))
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
mp=$(median "${plain[@]}") mr=$(median "${resized[@]}")
printf 'median plain %d.%03d ms, after a resize %d.%03d ms, ratio %s over %d rounds each\n' \
  $((mp / 1000)) $((mp % 1000)) $((mr / 1000)) $((mr % 1000)) \
  "$(awk -v a="$mr" -v b="$mp" 'BEGIN { printf "%.2f", a / b }')" "$rounds"
