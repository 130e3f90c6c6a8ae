#!/usr/bin/env bash
# `uname -r` on many systems that each sit behind a link that takes 1 s to set up: Orvik's
# Ping all and Run (bench/fanout_run, the engine as orvikconn calls it) beside a sequential
# ssh loop and bare clush on the same host aliases, in turns, with the shared connections
# cold (every master ended before each run) and warm (masters up from the run before).
#
#   bench/fanout_speed.sh BUILD [rounds] [sizes...]      (defaults: 5 rounds, 50 and 100)
#
# Needs the test services (scripts/test-services.sh) started by root and their env sourced.
# Every system is a host alias orvik-bench-PORT-NNN of the test sshd, written to
# /etc/ssh/ssh_config.d/orvik-bench-PORT.conf for the run (ssh reads the user's own
# configuration from the passwd home, whatever HOME says) with a ProxyCommand that sleeps
# 1 s and then connects to 127.0.0.1. The engine takes that ProxyCommand into its generated
# configuration from ssh -G; the script checks that it did. HOME, ORVIKDIR and the log are a
# private folder. Prints each run as it ends, then the medians and their ratios.
set -euo pipefail
build=${1:?usage: bench/fanout_speed.sh BUILD [rounds] [sizes...]}
rounds=${2:-5}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(50 100)
: "${ORVIK_TEST_SSH_PORT:?start the test services and source their env first}"
state=${ORVIK_TEST_STATE:-/tmp/orvik-test-services}
driver=$(cd "$build" && pwd)/bin/fanout_run
[ -x "$driver" ] || { echo "fanout_run is missing: cmake --build $build --target fanout_run" >&2; exit 1; }
command -v clush >/dev/null || { echo "clush is missing (install clustershell)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "run as root: the host aliases go to /etc/ssh/ssh_config.d" >&2; exit 1; }
port=$ORVIK_TEST_SSH_PORT
delay=1
work=$(mktemp -d /tmp/orvik-bench-fan-XXXXXX)
aliases=/etc/ssh/ssh_config.d/orvik-bench-$port.conf

# Ends the ssh masters of this run alone: their processes rename themselves "ssh: SOCKET
# [mux]", and every socket of ours lies under $work.
end_masters() {
  local dir cmd
  for dir in /proc/[0-9]*; do
    { read -r -d '' cmd < "$dir/cmdline"; } 2>/dev/null || true
    case $cmd in "ssh: $work/"*) kill "${dir#/proc/}" 2>/dev/null || true ;; esac
  done
  find "$work" -type s -delete
}
cleanup() { end_masters; rm -f "$aliases"; rm -rf "$work"; }
trap cleanup EXIT

cat > "$aliases" <<EOF
# Benchmark host aliases of $work (written by bench/fanout_speed.sh)
Host orvik-bench-$port-*
    Port $port
    User $ORVIK_TEST_SSH_USER
    IdentityFile $state/client_key
    IdentitiesOnly yes
    UserKnownHostsFile $state/known_hosts
    GlobalKnownHostsFile /dev/null
    HostKeyAlias orvik-test-$port
    StrictHostKeyChecking yes
    CheckHostIP no
    BatchMode yes
    GSSAPIAuthentication no
    ConnectTimeout 10
    ProxyCommand sh -c 'sleep $delay; exec nc.openbsd 127.0.0.1 %p'
EOF
chmod 644 "$aliases"
mkdir -p "$work/home/.orvik" "$work/cm"
chmod 700 "$work/home" "$work/cm"
export HOME=$work/home ORVIKDIR=$work/home/.orvik ORVIKLOGFILE=$work/OrvikLog.txt
unset ORVIKFANOUT ORVIKDEBUG
shared=(-o ControlMaster=auto -o "ControlPath=$work/cm/%C" -o ControlPersist=600)

names() { local i; for ((i = 1; i <= $1; i++)); do printf 'orvik-bench-%s-%03d\n' "$port" "$i"; done; }
systems() {
  local name
  names "$1" | while read -r name; do echo "RemoteSystem $name $port ${name##*-} $ORVIK_TEST_SSH_USER"; done \
    > "$ORVIKDIR/config.ini"
}

# One run of a kind on N systems: its wall time in ms on standard output; a run in which not
# every system answered `uname -r` fails the bench.
run_kind() {
  local kind=$1 n=$2 warm=$3 start end out=$work/out
  local opts=()
  [ "$warm" = warm ] && opts=("${shared[@]}")
  start=$(date +%s%N)
  case $kind in
    loop)
      names "$n" | while read -r host; do ssh -n "${opts[@]}" "$host" uname -r; done > "$out" 2>&1 ;;
    clush)
      # clush reads its options as configuration values, where "%" is written "%%"
      clush -n -f 64 -o "${opts[*]//%/%%}" -w "orvik-bench-$port-[001-$(printf %03d "$n")]" uname -r \
        > "$out" 2>&1 ;;
    ping) "$driver" ping > "$out" 2>&1 ;;
    run) "$driver" run "uname -r" > "$out" 2>&1 ;;
  esac || { echo "$kind on $n systems failed:" >&2; cat "$out" >&2; exit 1; }
  end=$(date +%s%N)
  case $kind in
    loop|clush)
      [ "$(grep -c "$(uname -r)" "$out")" -eq "$n" ] ||
        { echo "$kind: not every system answered:" >&2; cat "$out" >&2; exit 1; } ;;
    *) echo "$warm $n $(cat "$out")" >> "$work/driver.txt" ;;
  esac
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

kinds=(loop clush ping run)
results=$work/results.txt
echo "# $(date -u '+%F %T') UTC, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), delay ${delay}s, test sshd port $port"
for warm in cold warm; do
  for n in "${sizes[@]}"; do
    systems "$n"
    end_masters
    # an untimed run of each side first: warm, it brings the masters up
    run_kind clush "$n" "$warm" > /dev/null
    run_kind ping "$n" "$warm" > /dev/null
    echo "generated config for $n systems: $(grep -c '^Host orvik-sys-' "$HOME/.orvik/ssh/config") aliases," \
      "$(grep -ci '^ *proxycommand sh -c' "$HOME/.orvik/ssh/config") with the ProxyCommand"
    for ((r = 1; r <= rounds; r++)); do
      order=("${kinds[@]}")
      ((r % 2)) || order=(run ping clush loop)
      line="$warm n=$n round $r (load $(cut -d' ' -f1 /proc/loadavg)):"
      for kind in "${order[@]}"; do
        [ "$warm" = cold ] && end_masters
        ms=$(run_kind "$kind" "$n" "$warm")
        echo "$warm $n $kind $ms" >> "$results"
        line+=" $kind $ms ms"
      done
      echo "$line"
    done
  done
done
echo "# load at the end $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| masters | systems | ssh loop | bare clush | Ping all | Run | Ping / clush | Run / clush | loop / Run |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for warm in cold warm; do
  for n in "${sizes[@]}"; do
    declare -A med=()
    for kind in "${kinds[@]}"; do
      med[$kind]=$(awk -v w="$warm" -v n="$n" -v k="$kind" '$1 == w && $2 == n && $3 == k {print $4}' "$results" | median)
    done
    awk -v w="$warm" -v n="$n" -v l="${med[loop]}" -v c="${med[clush]}" -v p="${med[ping]}" -v r="${med[run]}" \
      'BEGIN {printf "| %s | %d | %.2f s | %.2f s | %.2f s | %.2f s | %.2f | %.2f | %.1f |\n",
              w, n, l / 1000, c / 1000, p / 1000, r / 1000, p / c, r / c, l / r}'
    unset med
  done
done
echo
echo "| masters | systems | engine | ssh -G phase (config) | call | first system done | last system done |"
echo "|---|---:|---|---:|---:|---:|---:|"
for warm in cold warm; do
  for n in "${sizes[@]}"; do
    for kind in ping run; do
      row="| $warm | $n | $kind"
      for field in config call first last; do
        row+=" | $(awk -v w="$warm" -v n="$n" -v k="$kind" -v f="$field" '$1 == w && $2 == n && $3 == k {
            for (i = 4; i < NF; i++) if ($i == f || $i == "(" f) print $(i + 1) }' \
          "$work/driver.txt" | median) s"
      done
      echo "$row |"
    done
  done
done
echo
echo "Driver lines (warm-up runs included):"
sed 's/^/  /' "$work/driver.txt"
