#!/bin/bash
# Runs JUnit tests in a JVM started with -Xcheck:jni and fails when the VM
# printed any JNI warning, even if every test passed.
#   run-junit.sh <output-file> <java options and console launcher arguments...>
# A JVM whose bridge switched tracing on writes its standard output (and so
# the launcher's report and any VM warning) into the trace log: the part of
# the log written during the run is shown and checked too.
out=$1
shift
log=/var/tmp/jpkcs110.log
before=$(stat -c %s "$log" 2>/dev/null || echo 0)
java -Xcheck:jni "$@" >"$out" 2>&1
status=$?
after=$(stat -c %s "$log" 2>/dev/null || echo 0)
if [ "$after" -gt "$before" ]; then
  tail -c +"$((before + 1))" "$log" >>"$out"
fi
cat "$out"
if grep -E "WARNING in native method|WARNING: JNI local refs|FATAL ERROR in native method" "$out" >/dev/null; then
  echo "JNI check warnings were printed: failing" >&2
  exit 1
fi
exit $status
