# What the tool's suites share, sourced by each after it has set launcher,
# tool_jar, bridge_jar and work: a clone whose build holds these jars, its
# bin/quillon in $quillon; the work folder, emptied and made the current folder,
# with a SoftHSM2 configuration whose token folder starts empty, and ./msg to
# sign; the VM under -Xcheck:jni; and the running and counting of checks, whose
# totals the suite prints at its end.

passed=0 failed=0
rm -rf "$work"
mkdir -p "$work/clone/bin" "$work/clone/build/linux" "$work/tokens"
cp "$launcher" "$work/clone/bin/quillon"
ln -s "$tool_jar" "$work/clone/build/linux/quillon-tool.jar"
ln -s "$bridge_jar" "$work/clone/build/linux/quillon.jar"
quillon=$work/clone/bin/quillon
cd "$work" || exit 1

printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >softhsm2.conf
export SOFTHSM2_CONF=$work/softhsm2.conf
export QUILLON_JAVA_OPTIONS=-Xcheck:jni
printf 'a message to sign\n' >msg

jni_warnings() {
  grep -Eq "WARNING in native method|WARNING: JNI local refs|FATAL ERROR in native method" "$@"
}

# Shows the last run and counts a failure.
bad() {
  echo "FAIL: $*"
  echo "  status $status; standard output:"
  sed 's/^/    /' out
  echo "  standard error:"
  sed 's/^/    /' err
  failed=$((failed + 1))
}

# succeeded WHAT: the last run exited with 0 and printed nothing on standard
# error, else it fails as WHAT.
succeeded() {
  if [ $status -eq 0 ] && [ ! -s err ]; then passed=$((passed + 1)); else bad "$1"; fi
}

# q ARGS: runs the tool; $status, ./out and ./err hold what it did.
q() {
  "$quillon" "$@" >out 2>err
  status=$?
  if jni_warnings out err; then bad "JNI warnings from quillon $*"; fi
}

# ok ARGS: the tool succeeds and prints nothing on standard error.
ok() {
  q "$@"
  succeeded "quillon $*"
}

# fails STATUS LINE ARGS: the tool fails with STATUS, LINE on standard error
# and nothing on standard output.
fails() {
  local want=$1 line=$2
  shift 2
  q "$@"
  if [ $status -eq "$want" ] && [ "$(cat err)" = "$line" ] && [ ! -s out ]; then
    passed=$((passed + 1))
  else
    bad "quillon $* should fail with status $want and: $line"
  fi
}

# that DESCRIPTION COMMAND: a check of the last run's results.
that() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else bad "$what"; fi
}

printed() { grep -Eq -- "$1" out; }
