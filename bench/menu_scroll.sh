#!/usr/bin/env bash
# Program time (user + system CPU of the orvik process) of scrolling a long menu level to its
# end. Every run starts orvik in a fresh tmux pane on the menu of bench/menu_items.sh, waits
# for its first screen and then
#   baseline  leaves at once (Shift-Tab twice to Exit, Enter),
#   end       presses End, waits for the last item on the screen, then Tab and Enter (Exit),
#   pgdn      presses Page Down until the last item is current, then Tab and Enter.
# The CPU time comes from wait4() on the orvik process, in microseconds (its reaped children,
# the one `uname -a` of the start, are in it too, the same in every run). The three kinds run
# interleaved, their order turning each round, so that the machine's load falls on all alike.
# Prints every run, the median of each kind and the medians less the baseline.
# Usage: bench/menu_scroll.sh <dir from menu_items.sh> [rounds] [cols rows]
set -euo pipefail
dir=$1 rounds=${2:-15} cols=${3:-80} rows=${4:-24}
bin=${ORVIK_BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}
items=$(grep -c '<MenuItem>' "$dir/menu.xml")
last=$(printf 'Menu item %04d' "$items")
ready="Click selection or Tab and press Enter."
work=$(mktemp -d /tmp/orvik-menu-scroll.XXXXXX)
sock=orvik-scroll-$$
trap 'tmux -L "$sock" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# The driver: runs the command, waits for it and writes its CPU time to a file (whole files
# only, by renaming, so that the script never reads half a number).
cat > "$work/cputime.c" <<'EOF'
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
int main(int argc, char **argv)
{
    if (argc < 3) return 2;
    pid_t pid = fork();
    if (pid == 0) { execvp(argv[2], argv + 2); _exit(127); }
    int status = 0;
    struct rusage ru;
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid) return 2;
    long us = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000L + ru.ru_utime.tv_usec +
              ru.ru_stime.tv_usec;
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", argv[1]);
    FILE *f = fopen(tmp, "w");
    if (f == NULL) return 2;
    fprintf(f, "%ld %d\n", us, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    fclose(f);
    return rename(tmp, argv[1]) == 0 ? 0 : 2;
}
EOF
cc -O2 -o "$work/cputime" "$work/cputime.c"

wait_for() {  # wait_for <text>
  for _ in $(seq 1 5000); do
    tmux -L "$sock" capture-pane -p | grep -qF -- "$1" && return 0
  done
  echo "timed out waiting for: $1" >&2
  exit 1
}

# The item rows of the screen less the two marker rows: the step of one Page Down.
page=$((rows - 10))
presses=$(( (items - 1 + page - 1) / page ))

run() {  # run <kind> -> prints the CPU microseconds
  local kind=$1 out="$work/cpu.$1"
  rm -f "$out"
  tmux -L "$sock" -f /dev/null new-session -d -x "$cols" -y "$rows" \
    "TERM=screen $work/cputime $out $bin/orvik -f $dir/menu.xml -d $dir -l $work/OrvikLog.txt"
  wait_for "$ready"
  case $kind in
    baseline) tmux -L "$sock" send-keys BTab BTab Enter ;;
    end) tmux -L "$sock" send-keys End; wait_for "$last"; tmux -L "$sock" send-keys Tab Enter ;;
    pgdn)
      tmux -L "$sock" send-keys $(for ((k = 0; k < presses; k++)); do printf 'NPage '; done)
      wait_for "$last"
      tmux -L "$sock" send-keys Tab Enter ;;
  esac
  for _ in $(seq 1 5000); do [ -f "$out" ] && break; sleep 0.01; done
  tmux -L "$sock" kill-server 2>/dev/null || true
  read -r us status < "$out"
  [ "$status" = 0 ] || { echo "orvik ended with $status in run $kind" >&2; exit 1; }
  echo "$us"
}

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ms() { awk -v us="$1" 'BEGIN { printf "%.2f ms", us / 1000 }'; }

kinds=(baseline end pgdn)
declare -A results=([baseline]="" [end]="" [pgdn]="")
for ((i = 0; i < rounds; i++)); do
  line="round $((i + 1)):"
  for ((k = 0; k < 3; k++)); do
    kind=${kinds[(i + k) % 3]}
    us=$(run "$kind")
    results[$kind]+="$us "
    line+=" $kind $(ms "$us")"
  done
  echo "$line"
done
# shellcheck disable=SC2086
mb=$(median ${results[baseline]}) me=$(median ${results[end]}) mp=$(median ${results[pgdn]})
echo "$items items, ${cols}x${rows}, $rounds rounds, $presses Page Downs to the end"
echo "median baseline (open and exit):     $(ms "$mb")"
echo "median End to the last item:         $(ms "$me")   less baseline $(ms $((me - mb)))"
echo "median Page Down to the last item:   $(ms "$mp")   less baseline $(ms $((mp - mb)))"
