#!/usr/bin/env bash
# One start of a menu program in a private tmux pane, timed until its first screen is up.
# The script returns when the screen shows the program's ready marker, so hyperfine
# measures start-up plus a constant tmux cost (measure "baseline" to see that cost).
# Usage: bench/first_screen.sh <orvik|dialog|baseline> <dir from menu_items.sh> [cols rows]
set -euo pipefail
what=$1 dir=$2 cols=${3:-80} rows=${4:-24}
bin=${ORVIK_BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}
sock=orvik-bench-$$
case $what in
  orvik)
    cmd="$bin/orvik -f $dir/menu.xml -d $dir -l $dir/OrvikLog.txt"
    marker="Click selection or Tab and press Enter." ;;
  dialog)
    # the same items, a list as high as the screen allows
    cmd="xargs -d '\n' -a $dir/dialog.args dialog --menu 'Orvik Terminal Manager' $rows $cols $((rows - 8))"
    marker="<Cancel>" ;;
  baseline)
    cmd="echo READY; sleep 30"
    marker="READY" ;;
  *) echo "unknown program: $what" >&2; exit 2 ;;
esac
trap 'tmux -L "$sock" kill-server 2>/dev/null || true' EXIT
tmux -L "$sock" -f /dev/null new-session -d -x "$cols" -y "$rows" "TERM=screen $cmd"
for _ in $(seq 1 2000); do
  if tmux -L "$sock" capture-pane -p 2>/dev/null | grep -qF -- "$marker"; then
    exit 0
  fi
done
echo "no first screen from $what" >&2
exit 1
