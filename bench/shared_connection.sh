#!/usr/bin/env bash
# Remote listings in orvikfsys beside a bare `ssh host ls -la FOLDER`, on the test sshd.
#
# Each round starts from no master connection (a fresh HOME and XDG_RUNTIME_DIR, config.ini
# in a fresh ORVIKDIR holding the test sshd as the Connected RemoteSystem; ssh's own
# configuration is the user's, where the test services' host alias lives) and, in one tmux
# server, in an 80x24 pane:
#   1. starts orvikfsys: its first listing, of /;
#   2. Enter on etc/: the second listing, of /etc (timed);
#   3. the logins that the test sshd logged during 1 and 2 are counted ("Accepted <method>
#      for" lines; sshd also writes two "Accepted key" lines a login, not counted);
#   4. Enter on ../: a listing of / again (timed);
#   5. in a shell pane of the same server, `ssh -p PORT USER@HOST ls -la /etc` and `... /`,
#      each timed the same way (send-keys, then capture-pane until it is done), so that both
#      sides carry the same tmux cost. Rounds alternate the order of the program and the bare
#      ssh, so that the load of a shared machine falls on both alike.
# Round 0 warms up and is not counted. Prints the logins of each round and the medians and
# ratios of the times. ssh processes left by a round (a master kept by ControlPersist) are
# ended by their pid: only those whose HOME is the round's own.
#
#   source $ORVIK_TEST_STATE/env     (scripts/test-services.sh start)
#   bench/shared_connection.sh [rounds]
#
# The programs come from $ORVIK_BIN (default build/bin). Run it alone: logins of other tests
# on the same sshd would be counted too.
set -euo pipefail
rounds=${1:-15}
bin=${ORVIK_BIN:-build/bin}
limit=${ORVIK_BENCH_LIMIT:-60}   # seconds one step may take before the bench gives up
: "${ORVIK_TEST_SSH_HOST:?start the test services and source their env first}"
: "${ORVIK_TEST_SSHD_LOG:?the test services env has no ORVIK_TEST_SSHD_LOG: restart them}"
host=$ORVIK_TEST_SSH_HOST port=$ORVIK_TEST_SSH_PORT user=$ORVIK_TEST_SSH_USER
log=$ORVIK_TEST_SSHD_LOG
[ -x "$bin/orvikfsys" ] || { echo "shared_connection: $bin/orvikfsys is missing (build orvikfsys)" >&2; exit 1; }
bin=$(cd "$bin" && pwd)
# Short, so that a round's ~/.orvik/ssh holds its own socket (a socket name has 107 bytes).
work=$(mktemp -d /tmp/obs-XXXXXX)
sock=$work/tmux.sock

# Ends the ssh processes that a round's programs left running, found by the round's HOME.
end_round_ssh() {
  local home=$1 proc pid
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/exe" 2>/dev/null)" = /usr/bin/ssh ] || continue
    tr '\0' '\n' 2>/dev/null < "$proc/environ" | grep -qxF "HOME=$home" || continue
    pid=${proc#/proc/}
    kill "$pid" 2>/dev/null || true
  done
}
cleanup() {
  tmux -S "$sock" kill-server 2>/dev/null || true
  local home
  for home in "$work"/round-*/home; do [ -d "$home" ] && end_round_ssh "$home"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 130" INT TERM

screen() { tmux -S "$sock" capture-pane -p -t "$1"; }
now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# Waits until the screen of pane $1 satisfies the test function $2; sets $done_us.
wait_screen() {
  local pane=$1 test=$2 start text
  start=$(now_us)
  while :; do
    text=$(screen "$pane")
    if "$test" "$text"; then
      done_us=$(now_us)
      return 0
    fi
    if [ $(( $(now_us) - start )) -gt $((limit * 1000000)) ]; then
      echo "shared_connection: gave up after $limit s waiting for $test; the screen:" >&2
      echo "$text" >&2
      exit 1
    fi
    sleep 0.01   # polling flat out would take a core from the ssh being timed
  done
}
# A complete listing page has its headings and its button bar. The warm-up round tells the
# pages of / and /etc apart by their names (etc/ and boot/ stand in /) and keeps the name
# column of each once it has settled; later rounds wait for exactly that column, so that a
# box drawn over a page while a step runs is never taken for the page.
page() { [[ $1 == *"Directory/File Name"* && $1 == *"Exit"* ]]; }
names() { printf '%s\n' "$1" | sed -n '3,22p' | cut -c1-40; }
names_root='' names_etc=''
root_page() {
  if [ -n "$names_root" ]; then [ "$(names "$1")" = "$names_root" ]; return; fi
  page "$1" && [[ $1 == *$'\n   etc/ '* ]]
}
etc_page() {
  if [ -n "$names_etc" ]; then [ "$(names "$1")" = "$names_etc" ]; return; fi
  page "$1" && [[ $1 == *$'\n   ../ '* && $1 != *$'\n   etc/ '* && $1 != *$'\n   boot/ '* ]]
}
# The name column of pane $1 after a second of rest, when it is still a page of test $2.
settled_names() {
  sleep 1
  local text
  text=$(screen "$1")
  "$2" "$text" || { echo "shared_connection: the page did not stay:" >&2; echo "$text" >&2; exit 1; }
  names "$text"
}

# The keys from the first row of the page to the row showing $2.
keys_to() {
  local text=$1 name=$2 line keys=()
  while IFS= read -r line; do
    case $line in
      "   $name "*) keys+=(Enter); printf '%s\n' "${keys[@]}"; return 0 ;;
      "   "[!\ ]*) keys+=(Down) ;;
    esac
  done < <(printf '%s\n' "$text" | sed -n '4,$p')
  echo "shared_connection: $name is not on the page" >&2
  return 1
}

logins_since() {
  tail -c +$(($1 + 1)) "$log" | awk '$1 == "Accepted" && $3 == "for" {n++} END {print n + 0}'
}

bare_marker=
bare_done() { [[ $1 == *"$bare_marker="* ]]; }
# One bare ssh in the shell pane; prints its microseconds. The marker, followed by ssh's exit
# status, is typed split in two, so that the command line echoed in the pane does not hold it.
bare() {
  local folder=$1 round=$2 start
  bare_marker="bench-done-$round-${folder//\//_}"
  tmux -S "$sock" send-keys -t bench:bare "clear" Enter
  sleep 0.2
  start=$(now_us)
  tmux -S "$sock" send-keys -t bench:bare \
    "ssh -p $port $user@$host ls -la $folder > $work/bare.out 2>&1; echo \"bench-\"${bare_marker#bench-}=\$?" Enter
  wait_screen bench:bare bare_done
  if [[ $(screen bench:bare) != *"$bare_marker=0"* ]]; then
    echo "shared_connection: ssh -p $port $user@$host ls -la $folder failed:" >&2
    cat "$work/bare.out" >&2
    exit 1
  fi
  echo $((done_us - start))
}

results=$work/results
for ((round = 0; round <= rounds; round++)); do
  dir=$work/round-$round
  mkdir -p "$dir/home" "$dir/run" "$dir/orvik"
  chmod 700 "$dir/run"
  echo "RemoteSystem $host $port bench $user Connected" > "$dir/orvik/config.ini"
  tmux -S "$sock" kill-server 2>/dev/null || true
  tmux -S "$sock" -f /dev/null new-session -d -s bench -n bare -x 80 -y 24 "env -u TMUX sh"

  if ((round % 2 == 1)); then
    bare_etc=$(bare /etc "$round")
    bare_root=$(bare / "$round")
  fi

  from=$(wc -c < "$log")
  tmux -S "$sock" new-window -d -t bench -n fsys \
    "exec env HOME=$dir/home XDG_RUNTIME_DIR=$dir/run ORVIKDIR=$dir/orvik ORVIKLOGFILE=$dir/log.txt TERM=screen $bin/orvikfsys -help bench"
  wait_screen bench:fsys root_page
  first=$(logins_since "$from")
  ((round > 0)) || names_root=$(settled_names bench:fsys root_page)
  mapfile -t keys < <(keys_to "$(screen bench:fsys)" etc/)
  start=$(now_us)
  tmux -S "$sock" send-keys -t bench:fsys "${keys[@]}"
  wait_screen bench:fsys etc_page
  fsys_etc=$((done_us - start))
  sleep 0.3   # a login of the second listing that is still being logged
  both=$(logins_since "$from")
  ((round > 0)) || names_etc=$(settled_names bench:fsys etc_page)

  # ../ is the second row of the /etc page
  start=$(now_us)
  tmux -S "$sock" send-keys -t bench:fsys Down Enter
  wait_screen bench:fsys root_page
  fsys_root=$((done_us - start))

  if ((round % 2 == 0)); then
    bare_etc=$(bare /etc "$round")
    bare_root=$(bare / "$round")
  fi
  tmux -S "$sock" kill-server 2>/dev/null || true
  end_round_ssh "$dir/home"

  awk -v r="$round" -v f="$first" -v b="$both" -v fe="$fsys_etc" -v be="$bare_etc" \
    -v fr="$fsys_root" -v br="$bare_root" 'BEGIN {
    printf "round %2d%s: logins %d for the first listing, %d for both; /etc %7.1f ms (bare %7.1f), / %7.1f ms (bare %7.1f)\n",
      r, r == 0 ? " (warm-up)" : "", f, b, fe / 1000, be / 1000, fr / 1000, br / 1000 }'
  if ((round > 0)); then
    echo "$both $fsys_etc $bare_etc $fsys_root $bare_root" >> "$results"
  fi
done

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
col() { awk -v c="$1" '{print $c}' "$results" | median; }
logins_max=$(awk '{print $1}' "$results" | sort -n | tail -1)
logins_median=$(col 1)
fsys_etc=$(col 2) bare_etc=$(col 3) fsys_root=$(col 4) bare_root=$(col 5)
echo
echo "rounds: $rounds (after one warm-up), each from no master connection"
echo "logins for two listings in a row: median $logins_median, at most $logins_max (goal: at most 1)"
awk -v fe="$fsys_etc" -v be="$bare_etc" -v fr="$fsys_root" -v br="$bare_root" 'BEGIN {
  printf "second listing (/etc):   median %7.1f ms   bare ssh ls -la /etc: %7.1f ms   ratio %.2f\n", fe / 1000, be / 1000, fe / be
  printf "third listing (/ again): median %7.1f ms   bare ssh ls -la /:    %7.1f ms   ratio %.2f\n", fr / 1000, br / 1000, fr / br
  print "(goal: each ratio at most 1.2)"
}'
echo "reproduce: source \$ORVIK_TEST_STATE/env && bench/shared_connection.sh $rounds"
