#!/usr/bin/env bash
# One remote listing the way the programs run it: ssh runs the command into two files on the
# remote side, scp copies each back, a second ssh removes them (four ssh connections), with
# and without ssh connection sharing. Needs the test sshd (scripts/test-services.sh) and its
# environment; prints the median of each, interleaved runs, and their ratio.
#   bench/remote_listing.sh [runs]
set -euo pipefail
runs=${1:-20}
: "${ORVIK_TEST_SSH_HOST:?start the test services and source their env first}"
state=${ORVIK_TEST_STATE:-/tmp/orvik-test-services}
work=$(mktemp -d /tmp/orvik-bench-remote-XXXXXX)
trap 'ssh -F "$work/shared.conf" -O exit bench 2>/dev/null || true; rm -rf "$work"' EXIT

# The host alias block of the test services, read with -F so nothing else applies.
sed -n "/^Host $ORVIK_TEST_SSH_HOST\$/,/^[^ ]/p" /etc/ssh/ssh_config.d/"$ORVIK_TEST_SSH_HOST".conf |
  grep '^    ' > "$work/host.conf"
{ echo "Host bench"; cat "$work/host.conf"; } > "$work/plain.conf"
{ echo "Host bench"; cat "$work/host.conf"
  echo "    ControlMaster auto"
  echo "    ControlPath $work/cm-%C"
  echo "    ControlPersist 60"; } > "$work/shared.conf"

cat > "$work/listing.sh" <<'SCRIPT'
#!/bin/sh
# $1: ssh config file. The same four steps as the programs' remote command line.
cfg=$1 out=/tmp/OrvikBench.$$.Temp.txt err=/tmp/OrvikBench.$$.Error.txt
ssh -F "$cfg" -q bench "ls -la / > $out 2> $err"
scp -F "$cfg" -q bench:$out $out
scp -F "$cfg" -q bench:$err $err
ssh -F "$cfg" bench "rm -f $out;rm -f $err;"
rm -f "$out" "$err"
SCRIPT
chmod +x "$work/listing.sh"
# Interleaved: each round runs both, so load on a shared machine falls on both alike.
for ((i = 0; i < runs + 1; i++)); do
  for variant in plain shared; do
    start=$(date +%s%N)
    "$work/listing.sh" "$work/$variant.conf"
    end=$(date +%s%N)
    [ "$i" -gt 0 ] && echo "$variant $(( (end - start) / 1000 ))" >> "$work/times" # round 0 warms up
  done
done
python3 - "$work/times" <<'PY'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    variant, micros = line.split()
    times.setdefault(variant, []).append(int(micros) / 1e6)
plain, shared = statistics.median(times["plain"]), statistics.median(times["shared"])
print(f"runs each: {len(times['plain'])}")
print(f"without sharing:    median {plain:.3f} s")
print(f"with ControlMaster: median {shared:.3f} s")
print(f"ratio: {plain / shared:.2f}")
PY
