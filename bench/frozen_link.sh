#!/usr/bin/env bash
# How long a remote step waits on a link that freezes: the seconds from the freeze to ssh's
# end, with the options every Orvik ssh carries (ServerAliveInterval=5, ServerAliveCountMax=3,
# through a shared master connection as the programs use it), on the test sshd.
#
# Each round starts a master, runs `sleep 100` through it, then stops (SIGSTOP) the sshd
# processes that serve this round's connection: the server neither answers nor closes, as a
# link that freezes on the way. Prints each round's seconds and their median.
#
#   source $ORVIK_TEST_STATE/env     (scripts/test-services.sh start)
#   bench/frozen_link.sh [rounds]
#
# Run it alone: an sshd that another test starts in the same moments would be stopped too.
set -euo pipefail
rounds=${1:-3}
: "${ORVIK_TEST_SSH_HOST:?start the test services and source their env first}"
work=$(mktemp -d /tmp/orvik-frozen-XXXXXX)
trap 'rm -rf "$work"' EXIT
servers() { ps -eo pid=,args= | awk '$2 == "sshd:" {print $1}' | sort; }
times=()
for ((round = 1; round <= rounds; round++)); do
  options=(-o ConnectTimeout=10 -o ServerAliveInterval=5 -o ServerAliveCountMax=3
           -o ControlMaster=auto -o "ControlPath=$work/%C" -o ControlPersist=600
           -p "$ORVIK_TEST_SSH_PORT")
  before=$(servers)
  ssh "${options[@]}" -- "$ORVIK_TEST_SSH_USER@$ORVIK_TEST_SSH_HOST" true
  ssh "${options[@]}" -- "$ORVIK_TEST_SSH_USER@$ORVIK_TEST_SSH_HOST" 'sleep 100' \
    >"$work/out" 2>&1 &
  client=$!
  sleep 2
  mapfile -t frozen < <(comm -13 <(echo "$before") <(servers))
  [ ${#frozen[@]} -gt 0 ] || { echo "frozen_link: no sshd of this round found" >&2; exit 1; }
  start=$(date +%s.%N)
  kill -STOP "${frozen[@]}" 2>/dev/null || true
  wait "$client" || true
  end=$(date +%s.%N)
  kill -CONT "${frozen[@]}" 2>/dev/null || true
  kill "${frozen[@]}" 2>/dev/null || true
  ssh "${options[@]}" -O exit -- "$ORVIK_TEST_SSH_USER@$ORVIK_TEST_SSH_HOST" 2>/dev/null || true
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.1f", b - a}')
  times+=("$seconds")
  echo "round $round: ${seconds} s"
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {printf "median: %.1f s\n", a[int((NR + 1) / 2)]}'
