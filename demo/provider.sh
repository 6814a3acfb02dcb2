#!/bin/bash
# The provider part of the demonstration, on a throwaway SoftHSM2 token of its
# own: ProviderDemo.java makes a key pair there and signs through
# java.security.Signature, and keytool makes and lists token keys through the
# same provider. quillon.jar loads its own bridge.
#   demo/provider.sh <build folder, e.g. build/linux> <work folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >"$work/softhsm2.conf"
export SOFTHSM2_CONF="$work/softhsm2.conf"
softhsm2-util --init-token --free --label demo --so-pin 5678 --pin 1234 >/dev/null
printf 'name = demo\nlibrary = /usr/lib/softhsm/libsofthsm2.so\ntokenLabel = demo\n' \
  >"$work/provider.cfg"

echo "-- sign through Signature with a key made on the token (demo/ProviderDemo.java)"
java -cp "$build/quillon.jar" "$here/ProviderDemo.java" "$work/provider.cfg" 1234
echo "-- keytool -genkeypair and -list through the provider"
tool="-storetype PKCS11 -providerName Quillon-demo -storepass 1234 \
  -providerClass it.morvale.pkcs11.provider.QuillonProvider -providerArg $work/provider.cfg \
  -providerPath $build/quillon.jar"
keytool -genkeypair -alias demo-rsa -keyalg RSA -keysize 2048 -dname CN=demo $tool 2>&1
keytool -list $tool
