#!/bin/sh
# A profile of the bridge alone on the answering module: the benchmark's
# operations run through the bridge only, under perf; prints the hottest
# functions (all processes' shared objects, the JIT's code as one line).
#   bench/profile.sh <build dir> [bridge library]
set -e
build=$(cd "$1" && pwd)
bridge=${2:-$build/libquillon.so}
mkdir -p "$build/profile"
perf record -q -F 4000 -o "$build/profile/perf.data" -- java -Xms256m -Xmx256m \
  --add-modules jdk.crypto.cryptoki \
  --add-exports jdk.crypto.cryptoki/sun.security.pkcs11.wrapper=ALL-UNNAMED \
  -Dbench.bridge="$bridge" -Dbench.driver="$build/libqbench.so" \
  -Dbench.out="$build/profile/tables.md" -Dbench.bridgeOnly=true -Dbench.rounds=15 \
  -Dbench.module="$build/libqfast.so" -Dbench.title="bridge alone" \
  -cp "$build/quillon_bench.jar:$build/quillon.jar" it.morvale.bench.Bench \
  >"$build/profile/run.log" 2>&1
perf report -q -i "$build/profile/perf.data" --no-children --sort dso,sym --stdio 2>/dev/null |
  grep -v '^$' | head -40
