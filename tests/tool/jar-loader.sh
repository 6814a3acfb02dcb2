#!/bin/bash
# quillon.jar loads its own bridge: a fresh VM started from a copy of the jar
# in an empty folder, with neither java.library.path nor quillon.library set,
# finds libquillon.so inside the jar, extracts it to a folder of its own that
# only its user may read, and deletes it on exit. The jar carries the very
# libraries of this build, and on another platform the loader's error names
# the platform and the places it looked.
#   jar-loader.sh <quillon.jar> <libquillon.so> <quillon.dll> <probe source> <work folder>
set -u
jar=$1 linux_library=$2 windows_dll=$3 probe=$4 work=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work/empty" "$work/unpacked"
cp "$jar" "$work/empty/quillon.jar"
cd "$work/empty" || exit 1

# Java's warnings under -Xcheck:jni go to the same output as the report.
java -Xcheck:jni -cp quillon.jar "$probe" >"$work/probe.out" 2>&1
status=$?
cat "$work/probe.out"
[ $status -eq 0 ] || fail "the probe exited with $status"
grep -q "WARNING" "$work/probe.out" && fail "the VM printed JNI warnings"
grep -Eq '^version [0-9]+\.[0-9]+$' "$work/probe.out" || fail "no bridge version from a native call"
library=$(sed -n 's/^library //p' "$work/probe.out")
[ "$(grep -c '^library ' "$work/probe.out")" -eq 1 ] || fail "not exactly one libquillon.so mapped"
case $library in
  /tmp/*/libquillon.so) ;;
  *) fail "the bridge was not loaded from an extracted copy: $library" ;;
esac
grep -qx "library-mode rwx------" "$work/probe.out" || fail "the extracted library is not owner-only"
grep -qx "folder-mode rwx------" "$work/probe.out" || fail "the extraction folder is not owner-only"
[ -e "$library" ] && fail "the extracted library outlived the VM: $library"
[ -e "$(dirname "$library")" ] && fail "the extraction folder outlived the VM"
[ "$(ls -A "$work/empty")" = "quillon.jar" ] || fail "the VM left files beside the jar"

# The jar carries this build's libraries, not stale ones.
(cd "$work/unpacked" && jar xf "$work/empty/quillon.jar" native)
cmp -s "$work/unpacked/native/linux-x86_64/libquillon.so" "$linux_library" ||
  fail "native/linux-x86_64/libquillon.so in the jar is not $linux_library"
cmp -s "$work/unpacked/native/windows-x86_64/quillon.dll" "$windows_dll" ||
  fail "native/windows-x86_64/quillon.dll in the jar is not $windows_dll"

# Another platform: no copy in the jar, and an error that says where it looked.
java -Dos.arch=aarch64 -cp quillon.jar "$probe" unsupported >"$work/unsupported.out" 2>&1
cat "$work/unsupported.out"
for word in "Linux aarch64" "quillon.library" "java.library.path" "this jar"; do
  grep -q "^error .*$word" "$work/unsupported.out" || fail "the loader's error does not name $word"
done

[ $failures -eq 0 ] && echo "jar-loader: all checks passed"
exit $((failures > 0))
