# What the real-module suites share, sourced by each after it has set `work`,
# its work folder: the modules' paths, the counting of checks, throwaway
# SoftHSM2 tokens, and SoftHSM2 served by p11-kit's remoting server.

softhsm=/usr/lib/softhsm/libsofthsm2.so
client=/usr/lib/x86_64-linux-gnu/pkcs11/p11-kit-client.so
proxy=/usr/lib/x86_64-linux-gnu/p11-kit-proxy.so
softokn=/usr/lib/x86_64-linux-gnu/libsoftokn3.so
roots=/usr/lib/x86_64-linux-gnu/libnssckbi.so
remote_label=remote
export REMOTE_PIN=1234
export QUILLON_JAVA_OPTIONS=-Xcheck:jni
unset QUILLON_MODULE PKCS11_ZOR_DEBUG SOFTHSM2_CONF P11_KIT_SERVER_ADDRESS
passed=0 failed=0
server_pid=

# Stops the remoting server and removes the work folder, however the script ends.
cleanup() {
  stop_remote_server TERM
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }

# count_probe_lines FILE [details]: each "ok: " and "FAIL: " line of a probe's
# output FILE is shown and counts as a check passed or failed; with "details",
# its indented lines and those of "failures " are shown too.
count_probe_lines() {
  local line
  while IFS= read -r line; do
    case $line in
      "ok: "*) echo "$line"; passed=$((passed + 1)) ;;
      "FAIL: "*) echo "$line"; failed=$((failed + 1)) ;;
      "    "* | "failures "*) if [ "${2:-}" = details ]; then echo "$line"; fi ;;
    esac
  done <"$1"
}

jni_warnings() {
  grep -Eq "WARNING in native method|WARNING: JNI local refs|FATAL ERROR in native method" "$@"
}

# Some command of a module's set-up failed: the suite cannot go on.
setup_failed() {
  fail "$1"
  sed 's/^/    /' "${2:-/dev/null}"
  echo "$passed passed, $failed failed"
  exit 1
}

require_programs() {
  local program
  for program in "$@"; do
    command -v "$program" >/dev/null || setup_failed "$program is not installed (see cmake/deps.sh)"
  done
}

# require_files WHY FILE...: each file is there, else the set-up fails with
# "FILE WHY".
require_files() {
  local why=$1 file
  shift
  for file in "$@"; do
    [ -f "$file" ] || setup_failed "$file $why"
  done
}

# softhsm_token DIR LABEL PIN: a SoftHSM2 configuration DIR/softhsm2.conf whose
# token folder holds one token, LABEL with the user PIN PIN; its slot ID goes
# to DIR/slot.
softhsm_token() {
  local dir=$1 label=$2 pin=$3
  mkdir -p "$dir/tokens"
  printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$dir" \
    >"$dir/softhsm2.conf"
  SOFTHSM2_CONF=$dir/softhsm2.conf softhsm2-util --init-token --free --label "$label" \
    --so-pin 5678 --pin "$pin" >"$dir/init.out" 2>&1 ||
    setup_failed "$label: softhsm2-util cannot make the token" "$dir/init.out"
  sed -n 's/.*reassigned to slot \([0-9][0-9]*\).*/\1/p' "$dir/init.out" >"$dir/slot"
  [ -s "$dir/slot" ] || setup_failed "$label: softhsm2-util did not say the token's slot" "$dir/init.out"
}

# Starts "p11-kit server" in the foreground on the socket of the remote
# folder, as the leader of a process group of its own: the server forks a
# p11-kit-remote for each client, which stopping the group ends too.
start_remote_server() {
  local dir=$work/remote socket=$work/remote/server.sock
  rm -f "$socket"
  SOFTHSM2_CONF=$dir/softhsm2.conf setsid p11-kit server -f -n "$socket" --provider "$softhsm" \
    "pkcs11:token=$remote_label" >>"$dir/server.out" 2>&1 &
  server_pid=$!
  local tries=0
  until [ -S "$socket" ]; do
    kill -0 "$server_pid" 2>/dev/null || setup_failed "remote: p11-kit server exited" "$dir/server.out"
    [ $tries -lt 100 ] || setup_failed "remote: p11-kit server made no socket in 10 s" "$dir/server.out"
    tries=$((tries + 1))
    sleep 0.1
  done
  # The process group is the third field after the command's name in parentheses.
  [ "$(sed 's/.*) //' "/proc/$server_pid/stat" | cut -d' ' -f3)" = "$server_pid" ] ||
    setup_failed "remote: p11-kit server (pid $server_pid) leads no process group of its own"
}

# stop_remote_server SIGNAL: sends SIGNAL to the server's process group, the
# server and the processes that serve its clients, and waits for the server.
stop_remote_server() {
  if [ -n "$server_pid" ]; then
    kill -"$1" -- "-$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}

# SoftHSM2 on a throwaway token, served by "p11-kit server"; the client module
# reaches it through P11_KIT_SERVER_ADDRESS, which only the client processes get.
setup_remote() {
  softhsm_token "$work/remote" "$remote_label" "$REMOTE_PIN"
  start_remote_server
  pass "remote: p11-kit server (pid $server_pid) listens on $work/remote/server.sock"
  remote_run=(env "P11_KIT_SERVER_ADDRESS=unix:path=$work/remote/server.sock")
}
