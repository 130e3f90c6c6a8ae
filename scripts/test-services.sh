#!/usr/bin/env bash
# Starts or stops the services the tests talk to: a private OpenSSH server on 127.0.0.1 with a
# key login for the current user, and a private CUPS scheduler with a default queue that
# appends every job to a file. No systemd; several copies run side by side on free ports.
#
#   ORVIK_TEST_STATE=/tmp/orvik-svc-me bash scripts/test-services.sh start|stop|status
#
# Everything lives in $ORVIK_TEST_STATE (default /tmp/orvik-test-services), except the ssh
# client block that makes the host alias resolve: /etc/ssh/ssh_config.d/orvik-test-<port>.conf
# when root, else an Include line at the top of ~/.ssh/config. `stop` removes it again.
# `start` writes $ORVIK_TEST_STATE/env, which exports ORVIK_TEST_SSH_HOST, ORVIK_TEST_SSH_PORT,
# ORVIK_TEST_SSH_USER, CUPS_SERVER and ORVIK_TEST_PRINT_OUTPUT (and unsets PRINTER, LPDEST).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
state=${ORVIK_TEST_STATE:-/tmp/orvik-test-services}
first_port=${ORVIK_TEST_FIRST_PORT:-22220}
queue=orviktest
sshd_bin=/usr/sbin/sshd
cupsd_bin=/usr/sbin/cupsd
cups_lib=/usr/lib/cups

die() {
  echo "test-services: $*" >&2
  exit 1
}
say() { echo "test-services: $*"; }

case $state in
  /*) ;;
  *) state=$(pwd)/$state ;;
esac
# sshd_config and cupsd.conf take paths unquoted, and a socket path has at most 107 bytes
case $state in
  *[[:space:]\"\'\\]*) die "ORVIK_TEST_STATE must not contain blanks or quotes: $state" ;;
esac
[ ${#state} -le 80 ] || die "ORVIK_TEST_STATE is too long for a socket path (max 80): $state"

user=$(id -un)
uid=$(id -u)
passwd_home=$(getent passwd "$user" | cut -d: -f6)

# A pid from a pid file, only when that process still runs the given program with our state.
live_pid() {
  local file=$1 program=$2 pid
  [ -s "$file" ] || return 1
  pid=$(cat "$file")
  case $pid in ''|*[!0-9]*) return 1 ;; esac
  [ -r "/proc/$pid/cmdline" ] || return 1
  tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q -- "$program.*$state/" || return 1
  echo "$pid"
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_until() {
  local tenths=$1
  shift
  local i
  for ((i = 0; i < tenths; i++)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

port_in_use() {
  local port=$1 hex
  if command -v ss >/dev/null 2>&1; then
    ss -ltnH "sport = :$port" 2>/dev/null | grep -q . && return 0
    return 1
  fi
  hex=$(printf '%04X' "$port")
  cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk -v p=":$hex" '$2 ~ p"$" && $4 == "0A" {f=1} END {exit !f}'
}

client_config_file() {
  local port=$1
  if [ "$uid" -eq 0 ]; then
    echo "/etc/ssh/ssh_config.d/orvik-test-$port.conf"
  else
    echo "$state/ssh_client.conf"
  fi
}

# The state folder a client block was written for (from its first line).
config_owner() {
  sed -n '1s/^# Test OpenSSH server of \(.*\) (written by scripts\/test-services.sh)$/\1/p' "$1" 2>/dev/null
}

# A port whose host alias another state folder still holds is not free for us, even while
# its sshd is down (a test may stop it on purpose).
port_reserved() {
  local port=$1 file owner
  [ "$uid" -eq 0 ] || return 1
  file=$(client_config_file "$port")
  [ -e "$file" ] || return 1
  owner=$(config_owner "$file")
  [ "$owner" != "$state" ] && [ -e "$owner/env" ]
}

remove_client_config() {
  local port=$1 file include
  file=$(client_config_file "$port")
  if [ "$uid" -eq 0 ]; then
    # only our own block: the same port may have passed to another state folder since
    [ "$(config_owner "$file")" != "$state" ] || rm -f "$file"
  elif [ -f "$passwd_home/.ssh/config" ]; then
    include="Include $file"
    grep -vxF "$include" "$passwd_home/.ssh/config" > "$passwd_home/.ssh/config.orvik-new" || true
    mv "$passwd_home/.ssh/config.orvik-new" "$passwd_home/.ssh/config"
  fi
}

install_client_config() {
  local port=$1 file include
  file=$(client_config_file "$port")
  if [ "$uid" -eq 0 ]; then
    [ -d /etc/ssh/ssh_config.d ] || die "/etc/ssh/ssh_config.d is missing: the host alias cannot be set up"
    grep -qs '^Include /etc/ssh/ssh_config.d/\*.conf' /etc/ssh/ssh_config ||
      die "/etc/ssh/ssh_config does not include /etc/ssh/ssh_config.d/*.conf"
  fi
  cat > "$file.new" <<EOF
# Test OpenSSH server of $state (written by scripts/test-services.sh)
Host orvik-test-$port
    HostName 127.0.0.1
    Port $port
    User $user
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
EOF
  chmod 644 "$file.new"
  mv "$file.new" "$file"
  if [ "$uid" -ne 0 ]; then
    # ssh reads the user's config from the passwd home, whatever HOME says; the Include goes
    # first so that no Host block of the user's own swallows it
    include="Include $file"
    mkdir -p "$passwd_home/.ssh"
    chmod 700 "$passwd_home/.ssh"
    if ! grep -qxF "$include" "$passwd_home/.ssh/config" 2>/dev/null; then
      { echo "$include"; cat "$passwd_home/.ssh/config" 2>/dev/null || true; } > "$passwd_home/.ssh/config.orvik-new"
      chmod 600 "$passwd_home/.ssh/config.orvik-new"
      mv "$passwd_home/.ssh/config.orvik-new" "$passwd_home/.ssh/config"
    fi
  fi
}

ssh_works() {
  local port=$1
  ssh -n -o BatchMode=yes -p "$port" "$user@orvik-test-$port" "echo orvik-ssh-ok" 2>>"$state/ssh_client.log" |
    grep -q orvik-ssh-ok
}

# The remote side must not share this machine's /tmp: a remote command leaves its output in a
# /tmp file of the same name on both sides and removes the remote one after copying it back.
# So sshd runs in a mount namespace of its own whose /tmp is a folder of ours (with the state
# folder bound in at its usual path, where sshd finds its keys and configuration).
run_sshd() {
  local remote_tmp=$state/remote-tmp rel
  command -v unshare >/dev/null || die "unshare is missing (install util-linux)"
  [ "$uid" -eq 0 ] || die "sshd needs root to get a /tmp of its own (mount namespace)"
  mkdir -p "$remote_tmp"
  chmod 1777 "$remote_tmp"
  case $state in
    /tmp/*) rel=${state#/tmp/}; mkdir -p "$remote_tmp/$rel" ;;
    *) rel= ;;
  esac
  unshare -m --propagation private sh -c '
    state=$1 remote_tmp=$2 rel=$3 sshd=$4
    if [ -n "$rel" ]; then mount --bind "$state" "$remote_tmp/$rel" || exit 1; fi
    mount --rbind "$remote_tmp" /tmp || exit 1
    exec "$sshd" -f "$state/sshd_config" -E "$state/sshd.log"' \
    sh "$state" "$remote_tmp" "$rel" "$sshd_bin"
}

start_sshd() {
  local port tries=0
  [ -x "$sshd_bin" ] || die "$sshd_bin is missing (install openssh-server)"
  command -v ssh >/dev/null || die "ssh is missing (install openssh-client)"
  command -v ssh-keygen >/dev/null || die "ssh-keygen is missing (install openssh-client)"

  ssh-keygen -q -t ed25519 -N '' -C "orvik-test-host" -f "$state/ssh_host_ed25519_key"
  ssh-keygen -q -t ed25519 -N '' -C "orvik-test-client" -f "$state/client_key"
  cp "$state/client_key.pub" "$state/authorized_keys"
  chmod 600 "$state/authorized_keys"
  if [ "$uid" -eq 0 ]; then
    mkdir -p /run/sshd
    chmod 755 /run/sshd
  fi

  port=$first_port
  while :; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || die "no free port for sshd from $first_port on"
    if port_in_use "$port" || port_reserved "$port"; then
      port=$((port + 1))
      continue
    fi
    cat > "$state/sshd_config" <<EOF
# Test OpenSSH server (written by scripts/test-services.sh)
Port $port
ListenAddress 127.0.0.1
HostKey $state/ssh_host_ed25519_key
PidFile $state/sshd.pid
AuthorizedKeysFile $state/authorized_keys
AllowUsers $user
Subsystem sftp internal-sftp
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
PubkeyAuthentication yes
PrintMotd no
UseDNS no
AcceptEnv LANG LC_*
LogLevel VERBOSE
EOF
    "$sshd_bin" -t -f "$state/sshd_config" 2>"$state/sshd_check.log" ||
      die "sshd rejects its configuration: $(cat "$state/sshd_check.log")"
    # daemon mode: sshd binds before it forks, so a port taken meanwhile fails here
    if run_sshd; then
      wait_until 50 live_pid "$state/sshd.pid" "$sshd_bin" ||
        die "sshd did not write $state/sshd.pid; see $state/sshd.log"
      break
    fi
    if ! grep -qi "address already in use" "$state/sshd.log" 2>/dev/null; then
      die "sshd did not start on port $port; see $state/sshd.log: $(tail -3 "$state/sshd.log" 2>/dev/null)"
    fi
    port=$((port + 1))
  done

  echo "[orvik-test-$port]:$port $(cut -d' ' -f1,2 "$state/ssh_host_ed25519_key.pub")" > "$state/known_hosts"
  echo "orvik-test-$port $(cut -d' ' -f1,2 "$state/ssh_host_ed25519_key.pub")" >> "$state/known_hosts"
  echo "$port" > "$state/ssh_port"
  install_client_config "$port"
  wait_until 50 ssh_works "$port" ||
    die "ssh -p $port $user@orvik-test-$port does not log in without a prompt; see $state/ssh_client.log and $state/sshd.log"
  say "sshd on 127.0.0.1:$port (host alias orvik-test-$port, user $user)"
}

# A ServerBin of our own: every folder of the system's points to it, and backend/ holds the
# system's backends plus ours, so nothing is written below /usr.
make_server_bin() {
  local bin=$state/cups/serverbin entry name
  mkdir -p "$bin/backend"
  for entry in "$cups_lib"/*; do
    name=$(basename "$entry")
    [ "$name" = backend ] || ln -sfn "$entry" "$bin/$name"
  done
  for entry in "$cups_lib"/backend/*; do
    ln -sfn "$entry" "$bin/backend/$(basename "$entry")"
  done
  cp "$here/cups-backend-orviktest" "$bin/backend/orviktest"
  # a backend without permissions for others runs as root (as the cupsd user otherwise)
  chmod 700 "$bin/backend/orviktest"
}

scheduler_running() { lpstat -r 2>/dev/null | grep -q "scheduler is running"; }

start_cupsd() {
  local pid
  [ -x "$cupsd_bin" ] || die "$cupsd_bin is missing (install cups)"
  command -v lpadmin >/dev/null || die "lpadmin is missing (install cups-client)"
  command -v lpr >/dev/null || die "lpr is missing (install cups-bsd)"
  command -v lpstat >/dev/null || die "lpstat is missing (install cups-client)"

  mkdir -p "$state/cups/root/ppd" "$state/cups/root/ssl" "$state/cups/spool/tmp" \
    "$state/cups/cache" "$state/cups/run" "$state/cups/log"
  make_server_bin
  : > "$state/print-output"
  chmod 644 "$state/print-output"

  cat > "$state/cups/cups-files.conf" <<EOF
# Test CUPS scheduler files (written by scripts/test-services.sh)
ServerRoot $state/cups/root
ServerBin $state/cups/serverbin
RequestRoot $state/cups/spool
TempDir $state/cups/spool/tmp
CacheDir $state/cups/cache
StateDir $state/cups/run
AccessLog $state/cups/log/access_log
ErrorLog $state/cups/log/error_log
PageLog $state/cups/log/page_log
Printcap $state/cups/printcap
SystemGroup $(id -gn)
EOF
  cat > "$state/cups/cupsd.conf" <<EOF
# Test CUPS scheduler (written by scripts/test-services.sh): one local socket, no network
Listen $state/cups.sock
LogLevel info
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
MaxJobs 0
PreserveJobHistory No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  "$cupsd_bin" -t -c "$state/cups/cupsd.conf" -s "$state/cups/cups-files.conf" \
    >"$state/cups/log/check.log" 2>&1 ||
    die "cupsd rejects its configuration: $(cat "$state/cups/log/check.log")"

  export CUPS_SERVER=$state/cups.sock
  # its own session, so a Ctrl-c in the caller's terminal does not reach it
  setsid "$cupsd_bin" -f -c "$state/cups/cupsd.conf" -s "$state/cups/cups-files.conf" \
    </dev/null >>"$state/cups/log/cupsd.out" 2>&1 &
  echo $! > "$state/cupsd.pid"
  if ! wait_until 100 scheduler_running; then
    pid=$(live_pid "$state/cupsd.pid" "$cupsd_bin" || true)
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    die "cupsd did not start; see $state/cups/log/error_log: $(tail -5 "$state/cups/log/error_log" 2>/dev/null; cat "$state/cups/log/cupsd.out")"
  fi

  lpadmin -p "$queue" -E -v "orviktest:$state/print-output" -m raw -D "Orvik test output" \
    >"$state/cups/log/lpadmin.log" 2>&1 ||
    die "lpadmin cannot create the queue: $(cat "$state/cups/log/lpadmin.log")"
  lpadmin -d "$queue" >>"$state/cups/log/lpadmin.log" 2>&1 ||
    die "lpadmin cannot make $queue the default: $(cat "$state/cups/log/lpadmin.log")"
  lpstat -d 2>/dev/null | grep -q "system default destination: $queue" ||
    die "the default queue is not $queue: $(lpstat -d 2>&1)"
  lpstat -p "$queue" 2>/dev/null | grep -q enabled ||
    die "queue $queue is not enabled: $(lpstat -p "$queue" 2>&1)"
  say "cupsd on $CUPS_SERVER, default queue $queue -> $state/print-output"
}

write_env() {
  local port
  port=$(cat "$state/ssh_port")
  {
    echo "# Test services of $state (written by scripts/test-services.sh)"
    printf 'export ORVIK_TEST_SSH_HOST=%q\n' "orvik-test-$port"
    printf 'export ORVIK_TEST_SSH_PORT=%q\n' "$port"
    printf 'export ORVIK_TEST_SSH_USER=%q\n' "$user"
    printf 'export CUPS_SERVER=%q\n' "$state/cups.sock"
    printf 'export ORVIK_TEST_PRINT_OUTPUT=%q\n' "$state/print-output"
    # a queue named by the caller's environment would take plain lpr past the default queue
    echo 'unset PRINTER LPDEST'
  } > "$state/env.new"
  mv "$state/env.new" "$state/env"
}

running() {
  [ -s "$state/env" ] && [ -s "$state/ssh_port" ] || return 1
  live_pid "$state/sshd.pid" "$sshd_bin" >/dev/null || return 1
  live_pid "$state/cupsd.pid" "$cupsd_bin" >/dev/null || return 1
  ssh_works "$(cat "$state/ssh_port")" || return 1
  CUPS_SERVER=$state/cups.sock scheduler_running
}

stop_daemon() {
  local file=$1 program=$2 pid
  pid=$(live_pid "$file" "$program" || true)
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    if ! wait_until 50 bash -c "! kill -0 $pid"; then
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$file"
}

stop() {
  stop_daemon "$state/sshd.pid" "$sshd_bin"
  stop_daemon "$state/cupsd.pid" "$cupsd_bin"
  if [ -s "$state/ssh_port" ]; then
    remove_client_config "$(cat "$state/ssh_port")"
  fi
  rm -f "$state/env" "$state/ssh_port" "$state/cups.sock"
}

start() {
  if running; then
    say "already running ($state/env)"
    return 0
  fi
  # whatever is left of an earlier start goes first, so a start is always complete
  stop
  mkdir -p "$state"
  chmod 755 "$state"
  rm -rf "$state/cups" "$state/remote-tmp" "$state"/ssh_host_ed25519_key* "$state"/client_key* "$state/known_hosts"
  trap 'status=$?; if [ $status -ne 0 ]; then stop; fi' EXIT
  start_sshd
  start_cupsd
  write_env
  trap - EXIT
  say "environment in $state/env"
}

case ${1:-} in
  start) start ;;
  stop) stop; say "stopped ($state)" ;;
  status)
    if running; then cat "$state/env"; else say "not running ($state)"; exit 1; fi ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
