#!/bin/bash
# The quillon tool and the java.security provider on real third-party modules,
# each started and stopped here:
#   remote  SoftHSM2 behind p11-kit's remoting server, through p11-kit-client.so;
#   nss     NSS's softoken on a database of this test, through p11-kit-proxy.so
#           with a p11-kit configuration that only the processes of this test see;
#   roots   NSS's built-in roots (libnssckbi.so), a write-protected token.
# On remote and nss the tool makes RSA and EC keys, signs, verifies and exports,
# and openssl checks the signatures; on all three the provider loads the key
# store, and on remote and nss it makes key pairs and signs, the JDK verifying.
# Every VM runs under -Xcheck:jni, and a JNI warning fails the check.
#   real-modules.sh <bin/quillon> <quillon-tool.jar> <quillon.jar> <ProviderProbe.java> <work folder>
set -euo pipefail
launcher=$1 tool_jar=$2 bridge_jar=$3 probe=$4 work=$5

nss_label="NSS Certificate DB" roots_label="Builtin Object Token"
export NSS_PIN=4321
source "$(dirname "$0")/common.sh"

require_programs softhsm2-util p11-kit certutil openssl java setsid
require_files "is not installed (see cmake/deps.sh)" "$softhsm" "$client" "$proxy" "$softokn" "$roots"
require_files "is missing: build the tree first" "$launcher" "$tool_jar" "$bridge_jar" "$probe"

# A clone whose build holds copies of these jars, for bin/quillon to find them. Run as root,
# NSS's processes run as nobody (below), who must reach all that they read: where the work
# folder's parents bar that user, the work is done in a folder of /tmp instead.
rm -rf "$work"
mkdir -p "$work"
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1 &&
  ! setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups test -x "$work"; then
  rm -rf "$work"
  work=$(mktemp -d /tmp/quillon-real-modules.XXXXXX)
  chmod 755 "$work"
fi
mkdir -p "$work/clone/bin" "$work/clone/build/linux"
cp "$launcher" "$work/clone/bin/quillon"
cp "$tool_jar" "$work/clone/build/linux/quillon-tool.jar"
cp "$bridge_jar" "$work/clone/build/linux/quillon.jar"
cp "$probe" "$work/ProviderProbe.java"
probe=$work/ProviderProbe.java
bridge_jar=$work/clone/build/linux/quillon.jar
quillon=$work/clone/bin/quillon
printf 'a message to sign\n' >"$work/data"

# An NSS database whose password is the user PIN of its "NSS Certificate DB"
# token, and softokn registered as a p11-kit module with the initialisation
# arguments it reads from pReserved. p11-kit reads user module configurations
# from ~/.config/pkcs11/modules, but never for root: run as root, the NSS
# processes run as nobody. The configuration also keeps the system's SoftHSM2
# registration out of the proxy, so the proxy offers softokn's slots alone.
setup_nss() {
  local dir=$work/nss home=$work/nss/home
  mkdir -p "$dir/db" "$home/.config/pkcs11/modules"
  printf '%s\n' "$NSS_PIN" >"$dir/password"
  cat >"$home/.config/pkcs11/modules/nss-softokn.module" <<EOF
module: $softokn
x-init-reserved: configdir='sql:$dir/db' certPrefix='' keyPrefix='' secmod='secmod.db' flags=
EOF
  cat >"$home/.config/pkcs11/modules/softhsm2.module" <<EOF
module: $softhsm
disable-in: p11-kit-proxy p11-kit
EOF
  nss_run=(env "HOME=$home" "XDG_CONFIG_HOME=$home/.config")
  if [ "$(id -u)" -eq 0 ]; then
    id nobody >/dev/null 2>&1 || setup_failed "nss: run as root, and there is no user nobody to run as"
    chown -R nobody: "$dir"
    nss_run=(setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups
      "${nss_run[@]}")
  fi
  "${nss_run[@]}" certutil -N -d "sql:$dir/db" -f "$dir/password" >"$dir/certutil.out" 2>&1 ||
    setup_failed "nss: certutil cannot make the database" "$dir/certutil.out"
  "${nss_run[@]}" p11-kit list-modules >"$dir/modules.out" 2>&1 ||
    setup_failed "nss: p11-kit list-modules failed" "$dir/modules.out"
  if grep -q "^nss-softokn: $softokn" "$dir/modules.out" &&
    grep -q "token: $nss_label" "$dir/modules.out"; then
    pass "nss: p11-kit lists softokn and its token \"$nss_label\""
  else
    setup_failed "nss: p11-kit does not list softokn with the token \"$nss_label\"" "$dir/modules.out"
  fi
}

# tool NAME ARGS: runs the tool in NAME's folder, with NAME's environment;
# $status, ./out and ./err hold what it did.
tool() {
  local name=$1
  shift
  local -n run=${name}_run
  status=0
  (cd "$work/$name" && "${run[@]}" "$quillon" "$@") >"$work/$name/out" 2>"$work/$name/err" ||
    status=$?
}

# tool_check NAME WHAT ARGS: the tool succeeds, says nothing on standard error
# and the VM warns of nothing.
tool_check() {
  local name=$1 what=$2
  shift 2
  tool "$name" "$@"
  local dir=$work/$name
  if jni_warnings "$dir/out" "$dir/err"; then
    fail "$name: $what: JNI warnings: $(grep -m1 -E 'WARNING|FATAL' "$dir/out" "$dir/err")"
  elif [ $status -ne 0 ]; then
    fail "$name: $what: status $status: $(head -n1 "$dir/err")"
  elif [ -s "$dir/err" ]; then
    fail "$name: $what: standard error: $(head -n1 "$dir/err")"
  else
    pass "$name: $what"
    return 0
  fi
  return 1
}

# openssl_check NAME KEY: openssl verifies KEY's signature with its exported key.
openssl_check() {
  local name=$1 key=$2 dir=$work/$1
  if openssl dgst -sha256 -verify "$dir/$key.pem" -signature "$dir/$key.sig" "$dir/data" \
    >"$dir/openssl.out" 2>&1; then
    pass "$name: openssl verifies the signature of \"$key\""
  else
    fail "$name: openssl does not verify the signature of \"$key\": $(head -n1 "$dir/openssl.out")"
  fi
}

# tool_checks NAME MODULE LABEL PIN-VARIABLE: the tool makes an RSA and an EC
# key pair, signs with each key's default mechanism, verifies, exports the
# public key, and openssl checks the signature (EC signatures in DER, as
# OpenSSL reads them).
tool_checks() {
  local name=$1 module=$2 label=$3 pin=$4 key spec format
  cp "$work/data" "$work/$name/data"
  local common=(--module "$module" --token "$label" --pin-env "$pin")
  for key in r e; do
    if [ $key = r ]; then
      spec=rsa:2048
      format=()
    else
      spec=ec:P-256
      format=(--format der)
    fi
    if ! tool_check "$name" "quillon keygen $spec" "${common[@]}" keygen $spec --label $key; then
      fail "$name: sign, verify, export and openssl with \"$key\" not run: no key"
      continue
    fi
    if tool_check "$name" "quillon sign \"$key\"" "${common[@]}" sign --label $key \
      "${format[@]}" --in data --out $key.sig; then
      tool_check "$name" "quillon verify \"$key\"" "${common[@]}" verify --label $key \
        "${format[@]}" --in data --signature $key.sig || true
    fi
    if tool_check "$name" "quillon export \"$key\"" "${common[@]}" export --label $key \
      --out $key.pem && [ -s "$work/$name/$key.sig" ]; then
      openssl_check "$name" $key
    fi
  done
}

# provider_checks NAME LIBRARY LABEL PIN-VARIABLE|- [sign]: ProviderProbe on
# the token; its "ok:" and "FAIL:" lines count as checks.
provider_checks() {
  local name=$1
  local -n run=${name}_run
  local dir=$work/$name probe_status=0
  # Java's warnings under -Xcheck:jni go to the same output as the probe's lines.
  (cd "$dir" && "${run[@]}" java -Xcheck:jni -cp "$bridge_jar" "$probe" "$@") >"$dir/probe.out" 2>&1 ||
    probe_status=$?
  count_probe_lines "$dir/probe.out"
  if jni_warnings "$dir/probe.out"; then
    fail "$name: JNI warnings from the provider: $(grep -m1 -E 'WARNING|FATAL' "$dir/probe.out")"
  fi
  if [ $probe_status -ne 0 ] && ! grep -q "^FAIL: " "$dir/probe.out"; then
    fail "$name: ProviderProbe exited with $probe_status: $(grep -v '^ok: ' "$dir/probe.out" | head -n1)"
  fi
}

roots_run=(env)

setup_remote
setup_nss
mkdir -p "$work/roots"

tool_checks remote "$client" "$remote_label" REMOTE_PIN
tool_checks nss "$proxy" "$nss_label" NSS_PIN
provider_checks remote "$client" "$remote_label" REMOTE_PIN sign
provider_checks nss "$proxy" "$nss_label" NSS_PIN sign
provider_checks roots "$roots" "$roots_label" -

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
