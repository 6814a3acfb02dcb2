#!/bin/sh
# Installs the Debian packages that building and testing need. As root the
# missing ones are installed; otherwise they are listed and the step fails.
#   deps.sh         what make build and make test need
#   deps.sh fuzz    clang and its libFuzzer runtime, for make fuzz
set -e
packages="cmake make g++ openjdk-17-jdk-headless libp11-kit-dev softhsm2 \
  g++-mingw-w64-x86-64 wine wine64 junit5 googletest libgtest-dev \
  libpicocli-java libjson-simple-java openssl jq \
  p11-kit p11-kit-modules libnss3 libnss3-tools"
[ "$1" = fuzz ] && packages="clang-14 libclang-rt-14-dev"
# make bench also profiles the bridge.
[ "$1" = bench ] && packages="$packages linux-perf"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends $missing
else
  echo "Missing Debian packages:$missing" >&2
  echo "Install them with: sudo apt-get install$missing" >&2
  exit 1
fi
