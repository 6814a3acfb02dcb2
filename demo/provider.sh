#!/bin/sh
# The provider part of the demonstration: a throwaway SoftHSM2 token, then
# ProviderDemo.java signs on it through java.security.Signature, and keytool
# lists the token through the same provider.
#   demo/provider.sh <build folder, e.g. build/linux>
set -e
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >"$work/softhsm2.conf"
export SOFTHSM2_CONF="$work/softhsm2.conf"
softhsm2-util --init-token --free --label demo --so-pin 5678 --pin 1234 >/dev/null
printf 'name = demo\nlibrary = /usr/lib/softhsm/libsofthsm2.so\ntokenLabel = demo\n' \
  >"$work/provider.cfg"

echo "== java.security provider: sign through Signature with a key on the token"
java -Dquillon.library="$build/libquillon.so" -cp "$build/quillon.jar" \
  "$here/ProviderDemo.java" "$work/provider.cfg" 1234
echo "== keytool -genkeypair and -list through the provider"
tool="-storetype PKCS11 -providerName Quillon-demo -storepass 1234 \
  -providerClass it.morvale.pkcs11.provider.QuillonProvider -providerArg $work/provider.cfg \
  -providerPath $build/quillon.jar -J-Dquillon.library=$build/libquillon.so"
keytool -genkeypair -alias demo-rsa -keyalg RSA -keysize 2048 -dname CN=demo $tool 2>&1
keytool -list $tool
