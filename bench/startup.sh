#!/bin/bash
# The tool's start-up (make bench): the tool installed from <build dir> into a
# prefix of its own (make install, so with its class-data archive), a Java
# hello-world and one with picocli parsing an option, each run N times in turn
# in the same run; the median and the least wall-clock time of each, and the
# median CPU time (user and system, all the VM's threads), with the classes the
# VM loaded. Writes the table to <out>.
#   bench/startup.sh <build dir> <SoftHSM2 conf> <out> [N]
set -e
build=$1 conf=$2 out=$3 runs=${4:-21}
here=$(cd "$(dirname "$0")" && pwd)
work=$build/startup
prefix=$work/prefix
rm -rf "$work"
mkdir -p "$work/hello"
make -s -C "$here/.." -o build install TREE="$build" PREFIX="$prefix" >/dev/null
picocli=/usr/share/java/picocli.jar
javac -d "$work/hello" -cp "$picocli" "$here/Hello.java" "$here/PicocliHello.java"
quillon=$prefix/bin/quillon
export SOFTHSM2_CONF=$conf
unset QUILLON_JAVA_OPTIONS QUILLON_MODULE PKCS11_ZOR_DEBUG
yes slots | head -n 20 >"$work/slots.txt"

# The cases: a name, then the command.
names=("java Hello (the JDK's defaults)" "java Hello (the launcher's VM options)"
  "java PicocliHello (picocli, one option; the launcher's VM options)" "quillon --version"
  "quillon --version without the tool's class-data archive" "quillon slots (SoftHSM2)"
  "quillon shell, 20 lines of slots (SoftHSM2)")
jvm="-XX:TieredStopAtLevel=1 -XX:+UseSerialGC -XX:-UsePerfData -Xshare:auto"
# The JDK's own archive in place of the tool's: a later -XX:SharedArchiveFile wins.
jdk_archive=-XX:SharedArchiveFile=$(java -XshowSettings:properties -version 2>&1 |
  sed -n 's/^ *java.home = //p')/lib/server/classes.jsa
case_run() {
  case $1 in
    0) java -cp "$work/hello" Hello ;;
    1) java $jvm -cp "$work/hello" Hello ;;
    2) java $jvm -cp "$work/hello:$picocli" PicocliHello ;;
    3) "$quillon" --version ;;
    4) QUILLON_JAVA_OPTIONS=$jdk_archive "$quillon" --version ;;
    5) "$quillon" slots ;;
    6) "$quillon" shell "$work/slots.txt" ;;
  esac
}
load=$(cut -d ' ' -f 1-3 /proc/loadavg)
# Each round runs every case once, so that the machine's load falls on all alike.
TIMEFORMAT='%3R %3U %3S'
for _ in $(seq "$runs"); do
  for c in "${!names[@]}"; do
    { time case_run "$c" >/dev/null 2>&1; } 2>"$work/time"
    echo "$c $(cat "$work/time")" >>"$work/times"
  done
done
classes() {
  QUILLON_JAVA_OPTIONS="-Xlog:class+load=info:file=$work/classes.txt $2" "$quillon" $1 >/dev/null
  echo "$(wc -l <"$work/classes.txt") ($(grep -c 'shared objects file' "$work/classes.txt") from archives)"
}
{
  echo "Run of $(date -u '+%Y-%m-%d %H:%M UTC'); load averages (1, 5, 15 min) at the start:"
  echo "$load; $runs rounds."
  echo
  echo "| start-up | median ms | least ms | median CPU ms |"
  echo "|---|---|---|---|"
  for c in "${!names[@]}"; do
    wall=$(awk -v c="$c" '$1 == c { print $2 * 1000 }' "$work/times" | sort -n |
      awk '{ t[NR] = $1 } END { printf "%.0f | %.0f", t[int((NR + 1) / 2)], t[1] }')
    cpu=$(awk -v c="$c" '$1 == c { print ($3 + $4) * 1000 }' "$work/times" | sort -n |
      awk '{ t[NR] = $1 } END { printf "%.0f", t[int((NR + 1) / 2)] }')
    echo "| ${names[$c]} | $wall | $cpu |"
  done
  echo
  echo "Classes loaded by \`quillon --version\`: $(classes --version); without the tool's"
  echo "archive: $(classes --version "$jdk_archive"); by \`quillon slots\`: $(classes slots)."
} >"$out"
rm -rf "$work"
