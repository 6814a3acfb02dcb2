#!/bin/bash
# The java.security provider as a server runs it, on real modules, 8 threads
# and more signing at once, every signature verified by the JDK:
#   restart   SoftHSM2 behind p11-kit's remoting server, through
#             p11-kit-client.so: the server is killed and started again on
#             the same socket while the threads sign, and they must sign again
#             with the same key objects;
#   close     the same token, while another user of the module in the VM
#             closes all sessions of the slot;
#   loaders   SoftHSM2 directly, through two copies of quillon.jar, each in a
#             class loader of its own;
#   quillon-first, sunpkcs11-first
#             SoftHSM2 directly, through quillon and the JDK's SunPKCS11 in one
#             VM, each order of initialisation in a VM of its own.
# ServerProbe makes the checks; every VM runs under -Xcheck:jni, and a JNI
# warning fails the check.
#   server-modules.sh <quillon.jar> <libquillon.so> <ServerProbe.java> <work folder>
set -euo pipefail
bridge_jar=$(realpath -m "$1") bridge_library=$(realpath -m "$2") probe=$(realpath -m "$3")
work=$(realpath -m "$4")
local_label=local
export LOCAL_PIN=2468
source "$(dirname "$0")/common.sh"

require_programs softhsm2-util p11-kit java setsid
require_files "is not installed (see cmake/deps.sh)" "$softhsm" "$client"
require_files "is missing: build the tree first" "$bridge_jar" "$bridge_library" "$probe"

rm -rf "$work"
mkdir -p "$work"

# probe_start NAME ARGS: starts ServerProbe ARGS in the background, in NAME's
# folder with NAME's environment (the array NAME_run, with _ for -); its output
# goes to NAME/probe.out.
probe_start() {
  local name=$1
  shift
  local -n run=${name//-/_}_run
  # Java's warnings under -Xcheck:jni go to the same output as the probe's lines.
  (cd "$work/$name" &&
    exec "${run[@]}" timeout 60 java -Xcheck:jni "${java_options[@]}" -cp "$bridge_jar" "$probe" "$@") \
    >"$work/$name/probe.out" 2>&1 &
  probe_pid=$!
}

# probe_end NAME: waits for the probe; its "ok:" and "FAIL:" lines count as
# checks, and it must have run to its end without a JNI warning.
probe_end() {
  local name=$1 dir=$work/$1 probe_status=0
  wait "$probe_pid" || probe_status=$?
  count_probe_lines "$dir/probe.out" details
  if jni_warnings "$dir/probe.out"; then
    fail "$name: JNI warnings: $(grep -m1 -E 'WARNING|FATAL' "$dir/probe.out")"
  fi
  if ! grep -q "^done: " "$dir/probe.out"; then
    fail "$name: the VM stopped before the probe's end (status $probe_status):"
    grep -v -E '^(ok|FAIL): ' "$dir/probe.out" | head -n 20 | sed 's/^/    /'
  elif [ $probe_status -ne 0 ] && ! grep -q "^FAIL: " "$dir/probe.out"; then
    fail "$name: ServerProbe exited with $probe_status"
  fi
}

probe() {
  probe_start "$@"
  probe_end "$1"
}

setup_remote
mkdir -p "$work/restart" "$work/close"
restart_run=("${remote_run[@]}") close_run=("${remote_run[@]}")
java_options=("-Dquillon.library=$bridge_library")

# The probe says when its threads sign; the server is then killed with the
# processes that serve its clients, away for a second, and started again.
probe_start restart restart "$client" "$remote_label" REMOTE_PIN "$work/restart"
for ((tries = 0; tries < 300; ++tries)); do
  grep -q "^restart: now" "$work/restart/probe.out" && break
  kill -0 "$probe_pid" 2>/dev/null || break
  sleep 0.1
done
if grep -q "^restart: now" "$work/restart/probe.out"; then
  killed=$server_pid
  stop_remote_server KILL
  sleep 1
  start_remote_server
  touch "$work/restart/restarted"
  pass "remote: p11-kit server killed (pid $killed) and started again (pid $server_pid)"
else
  fail "restart: the probe never began to sign"
fi
probe_end restart

# C_CloseAllSessions through the remoting server: it serves one call of a
# client at a time, so the close never frees a session that SoftHSM2 is using
# for another thread's call, which SoftHSM2 does not survive.
probe close close "$client" "$remote_label" REMOTE_PIN

softhsm_token "$work/local" "$local_label" "$LOCAL_PIN"
local_slot=$(cat "$work/local/slot")
mkdir -p "$work/loaders" "$work/quillon-first" "$work/sunpkcs11-first"
loaders_run=(env "SOFTHSM2_CONF=$work/local/softhsm2.conf")
quillon_first_run=("${loaders_run[@]}") sunpkcs11_first_run=("${loaders_run[@]}")
# Each copy of the jar loads the bridge that it carries: the Java VM refuses to
# load one library file for two class loaders, so quillon.library is not set.
cp "$bridge_jar" "$work/loaders/first.jar"
cp "$bridge_jar" "$work/loaders/second.jar"
java_options=()
probe loaders loaders "$softhsm" "$local_label" LOCAL_PIN "$work/loaders/first.jar" \
  "$work/loaders/second.jar"
java_options=("-Dquillon.library=$bridge_library")
for order in quillon-first sunpkcs11-first; do
  probe "$order" sunpkcs11 "$order" "$softhsm" "$local_label" LOCAL_PIN "$local_slot"
done

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
