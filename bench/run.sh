#!/bin/sh
# Runs the benchmark built in <build dir> (make bench): the answering module
# and SoftHSM2 on a throwaway token, one JVM each, and writes the tables to
# <build dir>/results.md; the signing throughput with threads and through a
# remote module, into <build dir>/throughput.md; then, where perf works, a
# profile of the bridge alone; the tool's start-up (bench/startup.sh), into
# <build dir>/startup.md. With --record the tables and the profile also
# replace the parts of bench/RESULTS.md between its "bench:", "throughput:",
# "startup:" and "profile:" begin and end markers.
#   bench/run.sh <build dir> [--record]
set -e
build=$(cd "$1" && pwd)
record=$2
here=$(cd "$(dirname "$0")" && pwd)
out=$build/results.md
work=$build/work
rm -f "$build/profile.md"

# A throwaway SoftHSM2 token (user PIN 1234), as the Java suites make theirs.
"$here/../tests/java/softhsm-token.sh" "$work"

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
{
  echo "Machine: $cpu, $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB;"
  echo "$(uname -sr); $(java -version 2>&1 | head -1); $(c++ --version | head -1);"
  echo "SoftHSM $(dpkg-query -W -f='${Version}' softhsm2 2>/dev/null). Run of $(date -u '+%Y-%m-%d %H:%M UTC')."
} >"$out"

run() {
  SOFTHSM2_CONF="$work/softhsm2.conf" java -Xms256m -Xmx256m \
    --add-modules jdk.crypto.cryptoki \
    --add-exports jdk.crypto.cryptoki/sun.security.pkcs11.wrapper=ALL-UNNAMED \
    -Dbench.bridge="$build/libquillon.so" -Dbench.driver="$build/libqbench.so" \
    -Dbench.out="$out" -Dbench.scaling=true "$@" \
    -cp "$build/quillon_bench.jar:$build/quillon.jar" it.morvale.bench.Bench
}
run -Dbench.module="$build/libqfast.so" -Dbench.title="Answering module (bench/qfast)"
run -Dbench.module=/usr/lib/softhsm/libsofthsm2.so -Dbench.title="SoftHSM2"

cat "$out"

# The signing throughput with threads on SoftHSM2 (the provider, SunPKCS11 and
# native threads on one token in one JVM) and the cost of a signature through
# p11-kit's remoting server, which serves the same token from a process of its
# own; the server is stopped by its PID however the script ends.
throughput=$build/throughput.md
socket=$work/server.sock
SOFTHSM2_CONF="$work/softhsm2.conf" p11-kit server -f -n "$socket" \
  --provider /usr/lib/softhsm/libsofthsm2.so "pkcs11:token=quillon" >"$work/server.out" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
tries=0
until [ -S "$socket" ]; do
  if ! kill -0 "$server" 2>/dev/null || [ $tries -ge 100 ]; then
    echo "p11-kit server did not start:" >&2
    cat "$work/server.out" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.1
done
head -3 "$out" >"$throughput"
echo "Load averages (1, 5, 15 min) at the start: $(cut -d ' ' -f 1-3 /proc/loadavg)." >>"$throughput"
SOFTHSM2_CONF="$work/softhsm2.conf" P11_KIT_SERVER_ADDRESS="unix:path=$socket" \
  java -Xms256m -Xmx256m -Dquillon.library="$build/libquillon.so" \
  -Dbench.driver="$build/libqbench.so" -Dbench.module=/usr/lib/softhsm/libsofthsm2.so \
  -Dbench.remote=/usr/lib/x86_64-linux-gnu/pkcs11/p11-kit-client.so -Dbench.serverPid="$server" \
  -Dbench.out="$throughput" \
  -cp "$build/quillon_bench.jar:$build/quillon.jar" it.morvale.bench.Throughput
echo "Load averages at the end: $(cut -d ' ' -f 1-3 /proc/loadavg)." >>"$throughput"
kill "$server"
wait "$server" || true
trap - EXIT
echo
cat "$throughput"

# The tool's start-up against a Java hello-world, on the same token.
startup=$build/startup.md
"$here/startup.sh" "$build" "$work/softhsm2.conf" "$startup"
echo
cat "$startup"

# The hottest functions of the bridge alone on the answering module.
profile=$build/profile.txt
if command -v perf >/dev/null && "$here/profile.sh" "$build" >"$profile.new" 2>/dev/null; then
  mv "$profile.new" "$profile"
  {
    echo 'Hottest functions while the bridge alone runs the operations on the answering module'
    echo '(`bench/profile.sh`, perf at 4 kHz, share of all samples of the process):'
    echo
    echo '```'
    cat "$profile"
    echo '```'
  } >"$build/profile.md"
  echo
  cat "$build/profile.md"
else
  rm -f "$profile.new"
  echo "perf cannot profile here: no profile taken" >&2
fi

# Replaces the lines between <!-- $1:begin --> and <!-- $1:end --> of
# RESULTS.md with the file $2.
record() {
  results=$here/RESULTS.md
  awk -v part="$1" -v with="$2" '
    $0 == "<!-- " part ":begin -->" { print; while ((getline line < with) > 0) print line; skip = 1; next }
    $0 == "<!-- " part ":end -->" { skip = 0 }
    !skip { print }
  ' "$results" >"$results.new"
  mv "$results.new" "$results"
}

if [ "$record" = --record ]; then
  record bench "$out"
  record throughput "$throughput"
  record startup "$startup"
  [ -f "$build/profile.md" ] && record profile "$build/profile.md"
  echo "Recorded in $here/RESULTS.md"
fi
