#!/usr/bin/env bash
# Starts or stops the services the tests talk to: a private OpenSSH server on 127.0.0.1 and ::1
# with a key login for the current user, and a private CUPS scheduler with a default queue that
# appends every job to a file. Beside them, the links that go wrong: a second OpenSSH server
# whose host key differs from the one ssh knows for it, a host alias whose connection waits a
# few seconds before it reaches the first server, and a port on 127.0.0.1 that never answers.
# A third server, plain like the first, has a /tmp of its own apart from the first's, so that
# the same file reads differently on the two (many systems at once, answers that differ).
# No systemd; several copies run side by side on free ports.
#
#   ORVIK_TEST_STATE=/tmp/orvik-svc-me bash scripts/test-services.sh start|stop|status
#
# Everything lives in $ORVIK_TEST_STATE (default /tmp/orvik-test-services), except the ssh
# client blocks that make the host aliases resolve: /etc/ssh/ssh_config.d/orvik-test-<port>.conf
# for each server port when root, else an Include line at the top of ~/.ssh/config. `stop`
# removes them again. `start` writes $ORVIK_TEST_STATE/env, which exports
#   ORVIK_TEST_SSH_HOST, ORVIK_TEST_SSH_PORT, ORVIK_TEST_SSH_USER   the server, by host alias
#   ORVIK_TEST_SSH_HOST6            ::1, the same server (same port, keys and known host name)
#   ORVIK_TEST_SSHD_LOG             its log: one "Accepted publickey" line per login
#   ORVIK_TEST_SSH_CHANGED_HOST, ORVIK_TEST_SSH_CHANGED_PORT
#                                   the second server: ssh refuses its key as changed
#   ORVIK_TEST_SSH_SLOW_HOST, ORVIK_TEST_SSH_SLOW_SECONDS
#                                   the first server (ORVIK_TEST_SSH_PORT) through a ProxyCommand
#                                   that sleeps that long before each connection
#   ORVIK_TEST_SSH_TMP_HOST, ORVIK_TEST_SSH_TMP_PORT
#                                   the third server, by host alias: the first one's user and
#                                   key, another /tmp
#   ORVIK_TEST_TMP_MARK             a file in /tmp of both plain servers: "first" on the first,
#                                   "second" on the third
#   ORVIK_TEST_DEAD_HOST, ORVIK_TEST_DEAD_PORT
#                                   takes no connection and refuses none: ssh's connect waits
#                                   until its ConnectTimeout ("Connection timed out")
#   CUPS_SERVER, ORVIK_TEST_PRINT_OUTPUT                          the print queue
# (and unsets PRINTER, LPDEST).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
state=${ORVIK_TEST_STATE:-/tmp/orvik-test-services}
first_port=${ORVIK_TEST_FIRST_PORT:-22220}
queue=orviktest
sshd_bin=/usr/sbin/sshd
cupsd_bin=/usr/sbin/cupsd
cups_lib=/usr/lib/cups
perl_bin=/usr/bin/perl
slow_seconds=${ORVIK_TEST_SLOW_SECONDS:-3}

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
case $slow_seconds in
  ''|*[!0-9]*) die "ORVIK_TEST_SLOW_SECONDS must be a whole number of seconds: $slow_seconds" ;;
esac

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
    echo "$state/ssh_client-$port.conf"
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

# The options every host alias of the first server shares: its user, key and known host name
# (HostKeyAlias), so that ssh looks its key up under the one name whichever way it is reached.
host_options() {
  local port=$1
  cat <<EOF
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
}

# The client blocks of the first server (port $1): its alias, ::1 on its port, the slow alias.
# Match host ::1 alone would catch every ssh to ::1 on the machine, and the first block of
# several copies would win: the exec keeps it to this port.
main_client_blocks() {
  local port=$1
  echo "# Test OpenSSH server of $state (written by scripts/test-services.sh)"
  echo "Host orvik-test-$port"
  echo "    HostName 127.0.0.1"
  echo "    Port $port"
  host_options "$port"
  echo "# the same server over IPv6"
  echo "Match host ::1 exec \"test %p = $port\""
  host_options "$port"
  echo "# the same server through a link that takes $slow_seconds s to set up each connection"
  echo "Host orvik-test-$port-slow"
  echo "    HostName 127.0.0.1"
  echo "    Port $port"
  host_options "$port"
  # ssh runs "exec <command>" in a shell: the sleep needs a shell of its own
  echo "    ProxyCommand sh -c 'sleep $slow_seconds; exec nc.openbsd %h %p'"
}

# The client block of the second server (port $2): known under the first server's name, so
# its own key is a changed one.
changed_client_block() {
  local port=$1 changed_port=$2
  echo "# Test OpenSSH server of $state (written by scripts/test-services.sh)"
  echo "# a second server whose host key is not the one known for orvik-test-$port"
  echo "Host orvik-test-$port-changed"
  echo "    HostName 127.0.0.1"
  echo "    Port $changed_port"
  host_options "$port"
}

# The client block of the third server (port $1): a plain server under its own name.
tmp_client_block() {
  local port=$1
  echo "# Test OpenSSH server of $state (written by scripts/test-services.sh)"
  echo "# a plain server whose /tmp is not the first one's"
  echo "Host orvik-test-$port"
  echo "    HostName 127.0.0.1"
  echo "    Port $port"
  host_options "$port"
}

# Installs the client block read from standard input for the server on port $1.
install_client_config() {
  local port=$1 file include
  file=$(client_config_file "$port")
  if [ "$uid" -eq 0 ]; then
    [ -d /etc/ssh/ssh_config.d ] || die "/etc/ssh/ssh_config.d is missing: the host alias cannot be set up"
    grep -qs '^Include /etc/ssh/ssh_config.d/\*.conf' /etc/ssh/ssh_config ||
      die "/etc/ssh/ssh_config does not include /etc/ssh/ssh_config.d/*.conf"
  fi
  cat > "$file.new"
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

# ssh to the first server as $2 (the host alias, or ::1) on port $1 logs in without a prompt.
ssh_works() {
  local port=$1 host=${2:-orvik-test-$1}
  ssh -n -o BatchMode=yes -p "$port" "$user@$host" "echo orvik-ssh-ok" 2>>"$state/ssh_client.log" |
    grep -q orvik-ssh-ok
}

# The remote side must not share this machine's /tmp: a remote command leaves its output in a
# /tmp file of the same name on both sides and removes the remote one after copying it back.
# So sshd runs in a mount namespace of its own whose /tmp is a folder of ours (with the state
# folder bound in at its usual path, where sshd finds its keys and configuration).
# $1: the configuration file, $2: the log file, $3: the folder that is its /tmp.
run_sshd() {
  local remote_tmp=$3 rel
  command -v unshare >/dev/null || die "unshare is missing (install util-linux)"
  [ "$uid" -eq 0 ] || die "sshd needs root to get a /tmp of its own (mount namespace)"
  mkdir -p "$remote_tmp"
  chmod 1777 "$remote_tmp"
  case $state in
    /tmp/*) rel=${state#/tmp/}; mkdir -p "$remote_tmp/$rel" ;;
    *) rel= ;;
  esac
  unshare -m --propagation private sh -c '
    state=$1 remote_tmp=$2 rel=$3 sshd=$4 config=$5 log=$6
    if [ -n "$rel" ]; then mount --bind "$state" "$remote_tmp/$rel" || exit 1; fi
    mount --rbind "$remote_tmp" /tmp || exit 1
    exec "$sshd" -f "$config" -E "$log"' \
    sh "$state" "$remote_tmp" "$rel" "$sshd_bin" "$1" "$2"
}

# Starts one sshd of ours on the first free port from $2 on and writes that port to
# $state/ssh$1_port. $1 names its files: "" the first server, "_changed" the second, "_tmp" the
# third. $3 is its host key; $4 the folder that is its /tmp; $5 "v6" makes it listen on ::1 as
# well as on 127.0.0.1.
start_one_sshd() {
  local name=$1 port=$2 host_key=$3 remote_tmp=$4 v6=${5:-} tries=0 config log
  config=$state/sshd${name}_config
  log=$state/sshd${name}.log
  while :; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || die "no free port for sshd from $2 on"
    if port_in_use "$port" || port_reserved "$port"; then
      port=$((port + 1))
      continue
    fi
    {
      echo "# Test OpenSSH server (written by scripts/test-services.sh)"
      echo "Port $port"
      echo "ListenAddress 127.0.0.1"
      [ "$v6" != v6 ] || echo "ListenAddress ::1"
      cat <<EOF
HostKey $host_key
PidFile $state/sshd$name.pid
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
# Many systems at once log in together: 50 and more at a time, a session each.
MaxStartups 200
MaxSessions 200
# A plain shell start-up. bash reads ~/.bashrc for every command that sshd starts when it
# runs as the first shell (SHLVL unset); root's runs a slow pyenv init under a lock, which
# stalled 50 logins at once for a minute. With SHLVL=1 bash takes itself for a nested shell
# and reads nothing; an interactive login still reads its profile.
SetEnv SHLVL=1
EOF
    } > "$config"
    "$sshd_bin" -t -f "$config" 2>"$state/sshd_check.log" ||
      die "sshd rejects its configuration: $(cat "$state/sshd_check.log")"
    # daemon mode: sshd binds before it forks, so a port taken meanwhile fails here
    if run_sshd "$config" "$log" "$remote_tmp"; then
      wait_until 50 live_pid "$state/sshd$name.pid" "$sshd_bin" ||
        die "sshd did not write $state/sshd$name.pid; see $log"
      break
    fi
    if ! grep -qi "address already in use" "$log" 2>/dev/null; then
      die "sshd did not start on port $port; see $log: $(tail -3 "$log" 2>/dev/null)"
    fi
    port=$((port + 1))
  done
  echo "$port" > "$state/ssh${name}_port"
}

# ssh's own refusal of the second server: it reached it and found another key than the known.
refuses_changed_key() {
  local said
  said=$(ssh -n "orvik-test-$1-changed" true 2>&1) && return 1
  grep -q "has changed and you have requested strict checking" <<< "$said"
}

start_sshd() {
  local port changed_port tmp_port key
  [ -x "$sshd_bin" ] || die "$sshd_bin is missing (install openssh-server)"
  command -v ssh >/dev/null || die "ssh is missing (install openssh-client)"
  command -v ssh-keygen >/dev/null || die "ssh-keygen is missing (install openssh-client)"
  command -v nc.openbsd >/dev/null || die "nc.openbsd is missing (install netcat-openbsd)"

  ssh-keygen -q -t ed25519 -N '' -C "orvik-test-host" -f "$state/ssh_host_ed25519_key"
  ssh-keygen -q -t ed25519 -N '' -C "orvik-test-changed-host" -f "$state/ssh_changed_host_ed25519_key"
  ssh-keygen -q -t ed25519 -N '' -C "orvik-test-client" -f "$state/client_key"
  cp "$state/client_key.pub" "$state/authorized_keys"
  chmod 600 "$state/authorized_keys"
  if [ "$uid" -eq 0 ]; then
    mkdir -p /run/sshd
    chmod 755 /run/sshd
  fi

  start_one_sshd "" "$first_port" "$state/ssh_host_ed25519_key" "$state/remote-tmp" v6
  port=$(cat "$state/ssh_port")
  start_one_sshd _changed "$((port + 1))" "$state/ssh_changed_host_ed25519_key" "$state/remote-tmp"
  changed_port=$(cat "$state/ssh_changed_port")
  # the third server: the first one's key, known under its own alias; /tmp of its own
  mkdir -p "$state/remote-tmp2"
  start_one_sshd _tmp "$((changed_port + 1))" "$state/ssh_host_ed25519_key" "$state/remote-tmp2"
  tmp_port=$(cat "$state/ssh_tmp_port")
  echo first > "$state/remote-tmp/orvik-test-tmp-mark"
  echo second > "$state/remote-tmp2/orvik-test-tmp-mark"

  # Only the first server's key is known: under its alias (the name ssh looks up, through
  # HostKeyAlias) and under [::1]:port for a client that leaves the alias out.
  key=$(cut -d' ' -f1,2 "$state/ssh_host_ed25519_key.pub")
  {
    echo "[orvik-test-$port]:$port $key"
    echo "orvik-test-$port $key"
    echo "[::1]:$port $key"
    echo "orvik-test-$tmp_port $key"
  } > "$state/known_hosts"
  main_client_blocks "$port" | install_client_config "$port"
  changed_client_block "$port" "$changed_port" | install_client_config "$changed_port"
  tmp_client_block "$tmp_port" | install_client_config "$tmp_port"
  wait_until 50 ssh_works "$port" ||
    die "ssh -p $port $user@orvik-test-$port does not log in without a prompt; see $state/ssh_client.log and $state/sshd.log"
  wait_until 50 ssh_works "$port" ::1 ||
    die "ssh -p $port $user@::1 does not log in without a prompt (is IPv6 on lo?); see $state/ssh_client.log and $state/sshd.log"
  wait_until 50 ssh_works "$tmp_port" ||
    die "ssh -p $tmp_port $user@orvik-test-$tmp_port does not log in without a prompt; see $state/ssh_client.log and $state/sshd_tmp.log"
  [ "$(ssh -n "orvik-test-$tmp_port" cat /tmp/orvik-test-tmp-mark 2>>"$state/ssh_client.log")" = second ] ||
    die "the third sshd does not have a /tmp of its own"
  wait_until 50 refuses_changed_key "$port" ||
    die "ssh orvik-test-$port-changed is not refused for a changed host key: $(ssh -n "orvik-test-$port-changed" true 2>&1 | tail -3)"
  ssh_works "$port" "orvik-test-$port-slow" ||
    die "ssh orvik-test-$port-slow does not log in through its ProxyCommand; see $state/ssh_client.log"
  say "sshd on 127.0.0.1:$port and [::1]:$port (host alias orvik-test-$port, user $user)"
  say "sshd with another host key on 127.0.0.1:$changed_port (host alias orvik-test-$port-changed)"
  say "the first sshd $slow_seconds s away (host alias orvik-test-$port-slow)"
  say "sshd with a /tmp of its own on 127.0.0.1:$tmp_port (host alias orvik-test-$tmp_port)"
}

# A port on 127.0.0.1 that never answers, as a system that is down: the listening socket has
# room for one connection waiting to be accepted, which it fills itself and never accepts, so
# the kernel drops every SYN that comes after and a client's connect waits until its own time
# limit ends it ("Connection timed out"). Nothing is ever read or written. perl-base is in
# every Debian system; the state folder holds the script so that live_pid finds it.
write_dead_listener() {
  cat > "$state/dead-listener.pl" <<'EOF'
# Never answers on 127.0.0.1:PORT (written by scripts/test-services.sh). Arguments: port, the
# file to create once it holds the port.
use strict;
use warnings;
use Socket;
my ($port, $ready) = @ARGV;
my $address = pack_sockaddr_in($port, inet_aton('127.0.0.1'));
socket(my $listener, PF_INET, SOCK_STREAM, 0) or die "socket: $!\n";
setsockopt($listener, SOL_SOCKET, SO_REUSEADDR, 1) or die "setsockopt: $!\n";
if (!bind($listener, $address)) { print STDERR "bind to port $port: $!\n"; exit 3; }
listen($listener, 0) or die "listen: $!\n";
socket(my $filler, PF_INET, SOCK_STREAM, 0) or die "socket: $!\n";
connect($filler, $address) or die "connect: $!\n";
open(my $file, '>', $ready) or die "$ready: $!\n";
close($file);
sleep 3600 while 1;
EOF
}

# A connect to the port neither completes nor is refused within a second.
never_answers() {
  local rc=0
  timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null || rc=$?
  [ "$rc" -eq 124 ]
}

start_dead() {
  local port tries=0 pid
  [ -x "$perl_bin" ] || die "$perl_bin is missing (install perl-base)"
  port=$(($(cat "$state/ssh_tmp_port") + 1))
  write_dead_listener
  while :; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || die "no free port for the listener that never answers"
    if port_in_use "$port" || port_reserved "$port"; then
      port=$((port + 1))
      continue
    fi
    rm -f "$state/dead.ready"
    setsid "$perl_bin" "$state/dead-listener.pl" "$port" "$state/dead.ready" \
      </dev/null >>"$state/dead.log" 2>&1 &
    pid=$!
    echo "$pid" > "$state/dead.pid"
    wait_until 50 bash -c "[ -e '$state/dead.ready' ] || ! kill -0 $pid" || true
    [ -e "$state/dead.ready" ] && break
    wait "$pid" 2>/dev/null || true
    grep -q "bind to port $port" "$state/dead.log" ||
      die "the listener that never answers did not start; see $state/dead.log: $(tail -3 "$state/dead.log")"
    port=$((port + 1))
  done
  echo "$port" > "$state/dead_port"
  never_answers "$port" || die "127.0.0.1:$port answers or refuses: it should never answer"
  say "127.0.0.1:$port never answers"
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
    printf 'export ORVIK_TEST_SSH_HOST6=%q\n' "::1"
    printf 'export ORVIK_TEST_SSHD_LOG=%q\n' "$state/sshd.log"
    printf 'export ORVIK_TEST_SSH_CHANGED_HOST=%q\n' "orvik-test-$port-changed"
    printf 'export ORVIK_TEST_SSH_CHANGED_PORT=%q\n' "$(cat "$state/ssh_changed_port")"
    printf 'export ORVIK_TEST_SSH_SLOW_HOST=%q\n' "orvik-test-$port-slow"
    printf 'export ORVIK_TEST_SSH_SLOW_SECONDS=%q\n' "$slow_seconds"
    printf 'export ORVIK_TEST_SSH_TMP_HOST=%q\n' "orvik-test-$(cat "$state/ssh_tmp_port")"
    printf 'export ORVIK_TEST_SSH_TMP_PORT=%q\n' "$(cat "$state/ssh_tmp_port")"
    printf 'export ORVIK_TEST_TMP_MARK=%q\n' "/tmp/orvik-test-tmp-mark"
    printf 'export ORVIK_TEST_DEAD_HOST=%q\n' "127.0.0.1"
    printf 'export ORVIK_TEST_DEAD_PORT=%q\n' "$(cat "$state/dead_port")"
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
  live_pid "$state/sshd_changed.pid" "$sshd_bin" >/dev/null || return 1
  live_pid "$state/sshd_tmp.pid" "$sshd_bin" >/dev/null || return 1
  live_pid "$state/dead.pid" "$perl_bin" >/dev/null || return 1
  # an env of an earlier version of this script lacks what the tests now look for
  grep -q ORVIK_TEST_TMP_MARK "$state/env" || return 1
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
  local file
  stop_daemon "$state/sshd.pid" "$sshd_bin"
  stop_daemon "$state/sshd_changed.pid" "$sshd_bin"
  stop_daemon "$state/sshd_tmp.pid" "$sshd_bin"
  stop_daemon "$state/dead.pid" "$perl_bin"
  stop_daemon "$state/cupsd.pid" "$cupsd_bin"
  for file in "$state/ssh_port" "$state/ssh_changed_port" "$state/ssh_tmp_port"; do
    [ ! -s "$file" ] || remove_client_config "$(cat "$file")"
  done
  rm -f "$state/env" "$state/ssh_port" "$state/ssh_changed_port" "$state/ssh_tmp_port" "$state/dead_port" \
    "$state/dead.ready" "$state/cups.sock"
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
  rm -rf "$state/cups" "$state/remote-tmp" "$state/remote-tmp2" "$state"/ssh_host_ed25519_key* \
    "$state"/ssh_changed_host_ed25519_key* "$state"/client_key* "$state/known_hosts"
  trap 'status=$?; if [ $status -ne 0 ]; then stop; fi' EXIT
  start_sshd
  start_dead
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
