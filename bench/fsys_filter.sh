#!/usr/bin/env bash
# orvikfsys's filter beside nnn's in the same folder of 100,000 entries, both in tmux at 80x24:
# the time from each filter key to the screen that shows its first match (five keys: "9",
# "99", "999", "9991", "99912"), the browser's own time for each key from its debug log, and
# the peak memory of each program (/usr/bin/time). Rounds alternate between the two programs.
#
#   cmake --build build --target orvikfsys && bash bench/fsys_filter.sh [build] [rounds]
#
# The folder is made once under $ORVIK_BENCH_DIR (default /tmp/orvik-fsys-filter-bench).
set -euo pipefail
build=${1:-build}
rounds=${2:-7}
bin=$(realpath "$build/bin/orvikfsys")
dir=${ORVIK_BENCH_DIR:-/tmp/orvik-fsys-filter-bench}
work=$(mktemp -d /tmp/orvik-fsys-filter.XXXXXX)
sock=orvik-filter-bench-$$
trap 'tmux -L "$sock" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
n_round=0
for tool in tmux nnn /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "fsys_filter: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$bin" ] || { echo "fsys_filter: $bin is missing (build orvikfsys)" >&2; exit 1; }
if [ ! -e "$dir/file-099999" ]; then
  mkdir -p "$dir"
  python3 -c 'import sys,os
os.chdir(sys.argv[1])
for i in range(100000): open("file-%06d" % i, "w").close()' "$dir"
fi
mkdir -p "$work/orvik"

now_ms() { echo $(( $(date +%s%N) / 1000 )); }   # microseconds
screen() { tmux -L "$sock" capture-pane -p -t bench; }
# Waits until the screen holds $1 and not $2; prints the microseconds since $3.
wait_screen() {
  local deadline=$(( $(date +%s) + 120 ))
  until s=$(screen) && [[ $s == *"$1"* ]] && { [ -z "$2" ] || [[ $s != *"$2"* ]]; }; do
    [ "$(date +%s)" -lt "$deadline" ] || { echo "fsys_filter: no \"$1\" on screen" >&2; screen >&2; exit 1; }
  done
  echo $(( $(now_ms) - $3 ))
}
keys=(9 9 9 1 2)
firsts=(file-000009 file-000099 file-000999 file-009991 file-099912)

# One round of one program: start it in the folder, then each key and its first match.
round() {
  local name=$1; shift
  sock=orvik-filter-bench-$$-$((n_round += 1))   # a server of its own each round
  tmux -L "$sock" new-session -d -s bench -x 80 -y 24 \
    "cd $work && /usr/bin/time -f %M -o $work/$name.rss $* ; sleep 60"
  wait_screen file-000000 "" "$(now_ms)" >/dev/null
  sleep 0.5
  tmux -L "$sock" send-keys -t bench /
  sleep 0.3
  local t i
  for i in "${!keys[@]}"; do
    t=$(now_ms)
    tmux -L "$sock" send-keys -t bench -l "${keys[$i]}"
    echo "$name key$i $(wait_screen "${firsts[$i]}" file-000000 "$t")" >>"$work/times"
    sleep 0.2
  done
  # The program's own peak (VmHWM), apart from children such as ls, which time counts.
  local pid
  if [ "$name" = nnn ]; then pid=$(pgrep -n -f -- "^nnn $dir\$"); else pid=$(pgrep -n -f -- "^$bin debug $dir\$"); fi
  echo "$name hwm $(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")" >>"$work/times"
  tmux -L "$sock" send-keys -t bench Escape
  sleep 0.3
  if [ "$name" = nnn ]; then tmux -L "$sock" send-keys -t bench q; else tmux -L "$sock" send-keys -t bench Escape; fi
  until [ -s "$work/$name.rss" ]; do sleep 0.1; done
  tmux -L "$sock" kill-server 2>/dev/null || true
  echo "$name rss $(cat "$work/$name.rss")" >>"$work/times"
  rm -f "$work/$name.rss"
}

for r in $(seq "$rounds"); do
  round orvik env LANG=C.UTF-8 ORVIKDIR="$work/orvik" ORVIKLOGFILE="$work/orvik/log" "$bin" debug "$dir"
  round nnn env LANG=C.UTF-8 HOME="$work" nnn "$dir"
done

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
echo "== key to screen, ms, median of $rounds rounds (tmux polling included in both)"
printf '%-8s %10s %10s %8s\n' key orvikfsys nnn ratio
for i in "${!keys[@]}"; do
  o=$(awk -v k="key$i" '$1=="orvik" && $2==k {print $3}' "$work/times" | median)
  n=$(awk -v k="key$i" '$1=="nnn" && $2==k {print $3}' "$work/times" | median)
  printf '%-8s %10.1f %10.1f %8.2f\n' "${firsts[$i]#file-}" "$(echo "$o/1000" | bc -l)" \
    "$(echo "$n/1000" | bc -l)" "$(echo "$o/$n" | bc -l)"
done
echo "== orvikfsys's own time from key to page built (debug log), ms: median, max per key"
grep -o 'key [0-9]* to page 1 in [0-9.]* ms' "$work/orvik/log" | awk '$2 != 47 && $2 != 27 {print n++ % 5, $7}' >"$work/own"
for i in "${!keys[@]}"; do
  awk -v k="$i" '$1==k {print $2}' "$work/own" | sort -n |
    awk -v f="${firsts[$i]#file-}" '{a[NR]=$1} END {printf "  %s  %6.2f  %6.2f\n", f, a[int((NR+1)/2)], a[NR]}'
done
echo "== peak memory, kB, median: the program's own (VmHWM); with its children (time's max RSS)"
for p in orvik nnn; do
  echo "  $p: $(awk -v p="$p" '$1==p && $2=="hwm" {print $3}' "$work/times" | median);" \
    "$(awk -v p="$p" '$1==p && $2=="rss" {print $3}' "$work/times" | median)"
done
