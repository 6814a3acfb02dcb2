#!/bin/bash
# The quillon tool run as a person runs it, through bin/quillon, against a
# throwaway SoftHSM2 token: each group of subcommands, the failures a person
# meets first (each: its one line and its exit status), signatures checked by
# Java and by openssl, modules that cannot be loaded as the user sees them, and
# a traced run. The VM runs under -Xcheck:jni, and a JNI warning fails the run.
#   tool-cli.sh <bin/quillon> <quillon-tool.jar> <quillon.jar> <work folder>
#     <libqnotp11.so> <libqrec.so>
set -u
launcher=$1 tool_jar=$2 bridge_jar=$3 work=$4 notp11=$5 qrec=$6
log=/var/tmp/jpkcs110.log
source "$(dirname "$0")/common.sh"

# A clone without a build, beside the one whose build holds these jars.
mkdir -p "$work/bare/bin"
cp "$launcher" "$work/bare/bin/quillon"
export SO=5678 SO2=8765 PIN0=1111 PIN=1234
printf 'another message\n' >other

# The launcher of a clone without a build says so in one line.
"$work/bare/bin/quillon" --help >out 2>err
status=$?
that "an unbuilt clone is named in one line with status 2" \
  test $status -eq 2 -a "$(wc -l <err)" -eq 1 -a ! -s out
that "the unbuilt clone's line asks for make build" grep -q "make build" err

ok --help
for command in info slots mechanisms objects init-token init-pin change-pin keygen sign verify \
  encrypt decrypt wrap unwrap export delete; do
  that "--help lists $command" printed "^  $command "
done

# A new token in SoftHSM2's free slot, its PINs set and changed.
ok init-token --label tooltest --so-pin-env SO
that "init-token names the token" printed '^initialized the token "tooltest" \(slot [0-9]+\)$'
ok init-pin --token tooltest --so-pin-env SO --new-pin-env PIN0
ok change-pin --pin-env PIN0 --new-pin-env PIN
fails 1 "quillon: objects: CKR_PIN_INCORRECT (0x000000A0): the PIN is wrong; the token counts the failed try" objects --pin-env PIN0
ok change-pin --so --so-pin-env SO --new-pin-env SO2
fails 2 "quillon: sign: the user PIN is needed: give --pin-env NAME or --pin-file PATH (there is no terminal to ask on)" \
  sign --label rsa --in msg

# The module, its slots and a token's mechanisms.
ok info
that "info names the module's maker" printed '^manufacturer +SoftHSM$'
that "info names the bridge's version" printed '^bridge +[0-9]+\.[0-9]+$'
ok slots
that "slots shows the token" printed '^        token "tooltest" '
ok mechanisms
that "mechanisms marks SHA256-RSA-PKCS as offered" printed '^\* SHA256-RSA-PKCS '
that "mechanisms lists AES-ECB unmarked" printed '^  AES-ECB '

# Keys, and the objects they make.
ok keygen rsa:2048 --label rsa --id 01 --pin-env PIN
ok keygen ec:P-256 --label ec --id 02 --pin-env PIN
ok keygen aes:256 --label aes --id 03 --pin-env PIN
fails 2 'quillon: keygen: an object labelled "rsa" is on the token already' \
  keygen rsa:2048 --label rsa --pin-env PIN
ok objects --json --pin-env PIN
that "objects lists the five key objects" jq -e '[.[] | [.label, .class, .keyType, .bits, .id]]
  | sort == [["aes", "secret key", "AES", 256, "03"], ["ec", "private key", "EC", 256, "02"],
    ["ec", "public key", "EC", 256, "02"], ["rsa", "private key", "RSA", 2048, "01"],
    ["rsa", "public key", "RSA", 2048, "01"]]' out
ok objects --json
that "without a login, objects lists the public keys only" \
  jq -e '[.[].class] == ["public key", "public key"]' out

# Signatures made by the token, checked by Java and by openssl.
ok sign --label rsa --in msg --out rsa.sig --pin-env PIN
ok verify --label rsa --in msg --signature rsa.sig
that "verify says Java checked it" \
  printed '^verified the SHA256-RSA-PKCS signature of key "rsa" in Java \(SunRsaSign\)$'
ok export --label rsa --out rsa.pem
that "openssl verifies the tool's RSA signature" \
  openssl dgst -sha256 -verify rsa.pem -signature rsa.sig msg
# Past what is held for the token's own hashing, Java hashes and the token signs the DigestInfo
# with RSA-PKCS: the signature is the same, as the token would have made it.
head -c 3000000 /dev/urandom >big
ok sign --label rsa --in big --out big.sig --pin-env PIN
that "openssl verifies an RSA signature whose hash Java made" \
  openssl dgst -sha256 -verify rsa.pem -signature big.sig big
fails 3 'quillon: verify: the SHA256-RSA-PKCS signature of key "rsa" does not match the data' \
  verify --label rsa --in other --signature rsa.sig
ok --pin-env PIN --token tooltest sign --label ec --format der --in msg --out ec.der
ok export --label ec
cp out ec.pem
that "openssl verifies the tool's EC signature in DER" \
  openssl dgst -sha256 -verify ec.pem -signature ec.der msg
q sign --label ec --pin-env PIN <msg
cp out ec.rs
that "an EC signature on standard output is r||s" test $status -eq 0 -a "$(wc -c <ec.rs)" -eq 64
ok verify --label ec --in msg --signature ec.rs

# Encryption, and a key wrapped and unwrapped.
ok encrypt --label rsa --in msg --out msg.enc
ok decrypt --label rsa --in msg.enc --pin-env PIN
that "decrypt gives back the message" cmp out msg
ok wrap --wrapping-label rsa --label aes --out aes.wrapped --pin-env PIN
ok unwrap --wrapping-label rsa --label aes-copy --in aes.wrapped --pin-env PIN
# The copy is the same key: what the original wraps, the copy unwraps, and
# AES key wrap checks the integrity of what it unwraps.
ok wrap --wrapping-label aes --label aes-copy -m AES-KEY-WRAP --out copy.wrapped --pin-env PIN
ok unwrap --wrapping-label aes-copy --label aes-check -m AES-KEY-WRAP --in copy.wrapped --pin-env PIN

# A traced run: its output lands in order among what the same standard output
# takes before and after it, the log grows, and standard error says where.
before=$(stat -c %s "$log" 2>/dev/null || echo 0)
{
  echo before
  "$quillon" --trace export --label rsa 2>err
  status=$?
  echo after
} >out
after=$(stat -c %s "$log" 2>/dev/null || echo 0)
tail -c +"$((before + 1))" "$log" >trace.part
{ echo before; cat rsa.pem; echo after; } >expected
that "a traced run succeeds" test $status -eq 0
that "a traced run names the log" test "$(cat err)" = "quillon: tracing to $log"
that "a traced run's output is whole and in place" cmp out expected
that "a traced run writes the log" grep -q "^JNI: start loadPKCS11Library" trace.part
if jni_warnings out err trace.part; then bad "JNI warnings in the traced run"; fi

# Deleting a key pair.
ok delete --label ec --pin-env PIN
that "delete names both halves" test "$(grep -c '^deleted the p[a-z]* key (EC 256) labelled "ec" with id 02$' out)" -eq 2
ok objects --json --pin-env PIN
that "the deleted objects are gone" jq -e 'map(select(.label == "ec")) == []' out

# What a person meets first.
fails 2 "quillon: info: cannot load the module $work/none.so: no such file" info --module "$work/none.so"
fails 2 "quillon: objects: no slot 99: neither the ID nor the index of one of 2 slots (see quillon slots)" \
  objects --slot 99
fails 2 'quillon: sign: no private key labelled "nope"' sign --label nope --in msg --pin-env PIN

# Modules that cannot be used, each named in one line with the reason; a
# relative path is taken from the current folder.
fails 2 "quillon: info: cannot load the module /etc/passwd: not a shared library (no ELF header)" \
  info --module /etc/passwd
fails 2 "quillon: info: cannot load the module /bin/ls: an executable, not a shared library" \
  info --module /bin/ls
fails 2 "quillon: info: cannot load a module: the module path is empty" info --module ""
fails 2 "quillon: info: cannot load the module $notp11: a library without C_GetFunctionList, so not a PKCS#11 module" \
  info --module "$notp11"
softhsm=
for candidate in /usr/lib/softhsm/libsofthsm2.so /usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so \
  /usr/lib64/pkcs11/libsofthsm2.so /usr/local/lib/softhsm/libsofthsm2.so; do
  if [ -f "$candidate" ]; then softhsm=$candidate; break; fi
done
mkdir -p "$work/elsewhere"
(cd "$work/elsewhere" && "$quillon" info --module "$(realpath -s --relative-to=. "$softhsm")") >out 2>err
status=$?
that "a relative module path works from another folder" \
  test $status -eq 0 -a ! -s err -a "$(head -n1 out)" = "module       $softhsm"
printf 'directories.tokendir = %s/no-such-folder\n' "$work" >broken.conf
SOFTHSM2_CONF=$work/broken.conf fails 1 \
  "quillon: info: cannot load the module $softhsm: loaded, but C_Initialize refused it: CKR_GENERAL_ERROR (0x00000005)" \
  info --module "$softhsm"
# An object whose attributes the module will not give is listed, its columns empty.
QREC_IDENTRUS=08 QREC_RV_C_GetAttributeValue=0x5 ok objects --json --module "$qrec"
that "objects lists an object whose attributes fail" \
  jq -e '[.[] | [.class, .keyType, .bits, .id, .label]] == [[null, null, null, null, null]]' out

# A module whose session handles are wider than the bridge's fields: one line that says what to do.
QREC_SESSION_BASE=0x0100000000000001 fails 1 \
  "quillon: objects: the module $qrec hands out session or object handles wider than 32 bits, which quillon cannot carry; p11-kit's proxy serves the same module with small handles: register the module in p11-kit's configuration and use p11-kit-proxy.so as the module" \
  objects --module "$qrec"

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
