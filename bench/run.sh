#!/bin/sh
# Runs the benchmark built in <build dir> (make bench): the answering module
# and SoftHSM2 on a throwaway token, one JVM each, and writes the tables to
# <build dir>/results.md; then, where perf works, a profile of the bridge
# alone. With --record the tables and the profile also replace the parts of
# bench/RESULTS.md between its "bench:" and "profile:" begin and end markers.
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
  [ -f "$build/profile.md" ] && record profile "$build/profile.md"
  echo "Recorded in $here/RESULTS.md"
fi
