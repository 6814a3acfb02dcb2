#!/bin/sh
# Makes the tool's class-data archive from a training run (java/tool/training.txt
# through quillon shell), as bin/quillon runs the tool: the VM maps the classes
# from it instead of loading and checking them one by one. The archive names
# the jars by their paths, so it is made where they stay (the build tree, or
# the installed files); the VM does without an archive that does not match.
#   class-archive.sh <quillon-tool.jar> <libquillon.so> <archive> <training> <work folder>
set -e
jar=$1 library=$2 archive=$3 training=$4 work=$5
rm -rf "$work" "$archive"
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >"$work/softhsm2.conf"
# The class path as bin/quillon gives it.
path=$jar
for dependency in /usr/share/java/picocli.jar /usr/share/java/json-simple.jar; do
  [ -f "$dependency" ] && path=$path:$dependency
done
# The training's commands may fail (no SoftHSM2 here): their classes are loaded all the same.
SOFTHSM2_CONF=$work/softhsm2.conf QUILLON_MODULE='' LC_ALL=C.UTF-8 java -XX:TieredStopAtLevel=1 \
  -XX:+UseSerialGC -XX:-UsePerfData -Xlog:disable -Xlog:all=warning:stderr -Xlog:cds*=off:stderr \
  -XX:ArchiveClassesAtExit="$archive" -Dquillon.library="$library" -Dfile.encoding=UTF-8 \
  -cp "$path" it.morvale.pkcs11.tool.Quillon shell --keep-going "$training" >/dev/null 2>"$work/training.err" || true
rm -rf "$work"
if [ ! -s "$archive" ]; then
  echo "class-archive.sh: no archive made: the tool starts without one" >&2
  rm -f "$archive"
fi
