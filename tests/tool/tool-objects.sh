#!/bin/bash
# The quillon tool where it could mislead or destroy, where it meets pipes,
# full disks and mistyped command lines, and the objects, keys and mechanisms
# it manages, run as a person runs it through bin/quillon against throwaway
# SoftHSM2 tokens, with openssl checking what the token made. The VM runs under
# -Xcheck:jni, and a JNI warning fails the run.
#   tool-objects.sh <bin/quillon> <quillon-tool.jar> <quillon.jar> <work folder>
set -u
launcher=$1 tool_jar=$2 bridge_jar=$3 work=$4
source "$(dirname "$0")/common.sh"
export SO=5678 PIN=1234 PW=p12pass EMPTY=
printf 'another message\n' >other

# The labels on the token, sorted, one line each as "class label id".
inventory() {
  "$quillon" objects --json --pin-env PIN 2>/dev/null | jq -r '.[] | "\(.class) \(.label) \(.id)"' | sort
}

ok init-token --label objects --so-pin-env SO
ok init-pin --token objects --so-pin-env SO --new-pin-env PIN

# A good signature that Java cannot check is an error, not a mismatch.
ok keygen ec:secp256k1 --label k1 --pin-env PIN
ok sign --label k1 --format der --in msg --out k1.sig --pin-env PIN
ok export --label k1 --out k1.pem
that "openssl verifies the secp256k1 signature" openssl dgst -sha256 -verify k1.pem -signature k1.sig msg
q verify --label k1 --format der --in msg --signature k1.sig
that "verify of an uncheckable signature exits 1 in one line that says why" \
  test $status -eq 1 -a "$(wc -l <err)" -eq 1 -a ! -s out
that "the line names the curve that Java lacks" grep -q "cannot check ECDSA signatures on secp256k1" err

# delete destroys one key or pair; several need --all; each is named.
ok keygen ec:P-256 --label twin-a --id 05 --pin-env PIN
ok keygen ec:P-256 --label twin-b --id 05 --pin-env PIN
q delete --id 05 --pin-env PIN
that "delete of two pairs with one id is refused" test $status -eq 2 -a ! -s out
that "the refusal offers --all" grep -q -- "--all" err
that "both pairs survive the refusal" test "$(inventory | grep -c ' 05$')" -eq 4
ok delete --id 05 --label twin-a --pin-env PIN
that "delete names what it destroyed" \
  test "$(grep -c '^deleted the p[a-z]* key (EC 256) labelled "twin-a" with id 05$' out)" -eq 2
ok delete --id 05 --all --pin-env PIN
that "delete --all destroys the rest" test "$(inventory | grep -c ' 05$')" -eq 0

# An empty PIN never reaches the token.
: >empty
fails 2 "quillon: sign: the user PIN from empty is empty; an empty PIN is not sent to the token, where a wrong one uses up a try" \
  sign --label k1 --in msg --pin-file empty
fails 2 "quillon: sign: the user PIN from the environment variable EMPTY is empty; an empty PIN is not sent to the token, where a wrong one uses up a try" \
  sign --label k1 --in msg --pin-env EMPTY

# At a terminal whose input and output are pipes, the PIN is asked for on the
# terminal itself and not echoed; a spinner never lands in a log.
if script -qec true /dev/null >/dev/null 2>&1; then
  (sleep 5; printf '%s\n' "$PIN") | script -qec \
    "printf 'hello\n' | '$quillon' sign --label k1 --token objects --format der | base64 -w0 >tty.sig; s=\$(date +%s); '$quillon' keygen rsa:4096 --label slow --token objects --pin-env PIN 2>spin.log; echo \$((\$(date +%s) - s)) >spin.time" \
    /dev/null >tty.out 2>&1
  printf 'hello\n' >hello
  that "a PIN typed on the terminal signs piped data" \
    openssl dgst -sha256 -verify k1.pem -signature <(base64 -d tty.sig) hello
  that "the prompt was on the terminal" grep -q "User PIN:" tty.out
  that "the typed PIN was not echoed" test "$(grep -c "$PIN" tty.out)" -eq 0
  # The spinner starts after half a second: only a slower generation could show one.
  if [ "$(cat spin.time)" -ge 1 ]; then that "no spinner in a log" test ! -s spin.log; fi
fi

# Large input is streamed; where the token must see all of it, one line says so.
head -c 200000000 /dev/zero | QUILLON_JAVA_OPTIONS="-Xcheck:jni -Xmx48m" "$quillon" sign \
  --label k1 --out large.sig --pin-env PIN >out 2>err
status=$?
that "200 MB from a pipe are signed in 48 MB of heap" test $status -eq 0 -a -s large.sig -a ! -s err
head -c 200 /dev/zero >large
q sign --label k1 -m ECDSA --in msg --pin-env PIN
that "raw ECDSA says that the token sees all the data" \
  test $status -eq 0 -a "$(cat err)" = "quillon: sign: ECDSA gives the token all the data at once: it is held in memory, at most 268435456 bytes"
ok keygen rsa:1024 --label r1k --pin-env PIN
q sign --label r1k -m RSA-PKCS --in large --pin-env PIN
that "RSA-PKCS data longer than the modulus allows is refused" test $status -eq 2 -a ! -s out
that "the refusal says how much the key signs" \
  grep -q "^quillon: sign: RSA-PKCS with this key signs at most 117 bytes" err

# Write failures are named and have a status of their own; a closed pipe is
# no error message.
q objects --pin-env PIN
listing=$status
"$quillon" objects --pin-env PIN >/dev/full 2>err
status=$?
that "objects to a full disk exits 4 and says so" \
  test $listing -eq 0 -a $status -eq 4 -a "$(cat err)" = "quillon: objects: cannot write standard output: no space left on device"
fails 4 "quillon: export: cannot write /dev/full: no space left on device" export --label k1 --out /dev/full
"$quillon" mechanisms 2>err | head -1 >/dev/null
status=${PIPESTATUS[0]}
that "a reader that stops early leaves the tool silent, status 141" test $status -eq 141 -a ! -s err

# Checks made before the token is asked, and plain words beside a CKR_ name.
q keygen rsa:511 --label tiny --pin-env PIN
that "rsa:511 is refused" test $status -eq 2
that "the refusal gives the token's range" \
  grep -Eq "makes RSA-PKCS-KEY-PAIR-GEN keys of [0-9]+ to [0-9]+ bits, not 511" err
fails 2 "quillon: sign: --id wants at least one byte in hex, such as 01; an empty id names no object" \
  sign --id "" --in msg --pin-env PIN

# pkcs11-tool's habits.
q --pin 1234 objects
that "--pin is a usage failure" test $status -eq 2
that "--pin says PINs are not taken on the command line" \
  grep -q "PINs are not taken on the command line.*--pin-env NAME or --pin-file PATH" err
fails 2 'quillon: no command "sigm"; did you mean sign? (see quillon --help)' sigm
fails 2 'quillon: sign: unknown option --lable; did you mean --label? (see quillon sign --help)' \
  sign --lable k1

# Objects: a PKCS#12 file, a certificate, a public key, a data object.
openssl req -x509 -newkey rsa:2048 -nodes -keyout carol.key -out carol.pem -subj /CN=carol \
  -days 2 2>/dev/null
openssl pkcs12 -export -inkey carol.key -in carol.pem -out carol.p12 -passout pass:$PW -name carol
ok import carol.p12 --password-env PW --pin-env PIN
that "a PKCS#12 file gives a key pair and its certificate under one id" \
  test "$(inventory | grep ' carol ' | cut -d' ' -f1-2 | sort | uniq | wc -l)" -eq 3 -a \
  "$(inventory | grep ' carol ' | awk '{print $NF}' | sort -u | wc -l)" -eq 1
fails 2 "quillon: import: an object labelled \"carol\" is on the token already (certificate labelled \"carol\" with id $(inventory | awk '/^certificate carol/ {print $3}')); a label names one key, pair or object" \
  import carol.pem --label carol --pin-env PIN
ok read --label carol --type cert --out carol.back
that "read gives the certificate back as PEM" cmp <(openssl x509 -in carol.pem -outform DER) \
  <(openssl x509 -in carol.back -outform DER)
ok delete --label carol --type pubkey --pin-env PIN
openssl dgst -sha256 -sign carol.key -out carol.sig msg
ok verify --label carol --in msg --signature carol.sig
that "the certificate stands for the missing public key" \
  printed '^verified the SHA256-RSA-PKCS signature of certificate "carol" in Java'
ok encrypt --label carol --in msg --out carol.enc
ok decrypt --label carol --in carol.enc --pin-env PIN
that "what the certificate's key encrypts, the token decrypts" cmp out msg
ok export --label carol --out carol-public.pem
that "export gives the certificate's key" \
  cmp carol-public.pem <(openssl x509 -in carol.pem -noout -pubkey)
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out dave.key 2>/dev/null
openssl pkey -in dave.key -pubout -out dave.pub
ok import dave.pub --label dave --json --pin-env PIN
that "import reports in JSON" jq -e '.[0].class == "public key" and .[0].label == "dave"' out
dave_id=$(jq -r '.[0].id' out)
ok import dave.key --label dave --id "$dave_id" --pin-env PIN
ok sign --label dave --in msg --format der --out dave.sig --pin-env PIN
that "an imported EC key signs with the hash its curve wants (SHA-384)" \
  openssl dgst -sha384 -verify dave.pub -signature dave.sig msg
printf 'notes\0with a zero byte\n' >notes
ok import notes --type data --label notes --pin-env PIN
ok read --label notes --pin-env PIN
that "a data object's bytes come back as they went" cmp out notes
fails 2 'quillon: set: the data object labelled "notes" has no id to set (data objects have none); give it a --new-label only' \
  set --label notes --new-label jottings --new-id 0a --pin-env PIN
ok set --label notes --new-label jottings --pin-env PIN
ok show --label jottings --json --pin-env PIN
that "show gives every attribute" \
  jq -e '.[0].CKA_CLASS == "data object" and .[0].CKA_LABEL == "jottings" and .[0].CKA_PRIVATE == true' out
ok show --label k1 --type privkey --pin-env PIN
that "show marks a secret attribute" printed '^  CKA_VALUE = \(sensitive'

# Key types and mechanisms that the token offers.
ok keygen ed25519 --label ed --pin-env PIN
q sign --label ed --in msg --out ed.sig --pin-env PIN
ok export --label ed --out ed.pem
that "openssl verifies the EDDSA signature" \
  openssl pkeyutl -verify -pubin -inkey ed.pem -rawin -in msg -sigfile ed.sig
ok keygen ec:1.3.36.3.3.2.8.1.1.7 --label bp --pin-env PIN
that "a curve by OID is named" printed '^generated an EC brainpoolP256r1 key pair "bp"'
ok sign --label bp --format der --in msg --out bp.sig --pin-env PIN
ok export --label bp --out bp.pem
that "openssl verifies the brainpool signature" openssl dgst -sha256 -verify bp.pem -signature bp.sig msg
ok keygen rsa:2048 --label pss --pin-env PIN
ok sign --label pss -m SHA256-RSA-PKCS-PSS --in msg --out pss.sig --pin-env PIN
ok export --label pss --out pss.pem
that "openssl verifies the RSA-PSS signature" openssl dgst -sha256 -verify pss.pem -sigopt \
  rsa_padding_mode:pss -sigopt rsa_pss_saltlen:32 -signature pss.sig msg
ok keygen generic:256 --label mac --pin-env PIN
q sign --label mac --in msg --out mac.sig --pin-env PIN
that "an HMAC of SHA-256 has 32 bytes" test $status -eq 0 -a "$(wc -c <mac.sig)" -eq 32
q verify --label mac --in msg --signature mac.sig --pin-env PIN
that "the HMAC verifies" test $status -eq 0
q verify --label mac --in other --signature mac.sig --pin-env PIN
that "the HMAC of other data does not match" test $status -eq 3
ok keygen ec:P-256 --label ecdh --usage sign,derive --json --pin-env PIN
ok show --label ecdh --type privkey --json --pin-env PIN
that "--usage derive gives the EC private key CKA_DERIVE" \
  jq -e '.[0].CKA_DERIVE == true and .[0].CKA_SIGN == true and .[0].CKA_DECRYPT != true' out
ok set --label ecdh --new-id 0c --pin-env PIN
that "set gives both halves of a pair the new id" test "$(inventory | grep -c ' ecdh 0c$')" -eq 2

# A token label names one token, fits the token, and re-initialising asks for
# the current SO PIN and says what is lost.
fails 2 'quillon: init-token: the token in slot '"$("$quillon" slots --json | jq -r '.[] | select(.token.label == "objects") | .id')"' is labelled "objects" already; give this one another label, so that --token names one token' \
  init-token --label objects --so-pin-env SO
long=abcdefghijklmnopqrstuvwxyz-0123456789
fails 2 "quillon: init-token: a token label holds at most 32 bytes; \"$long\" has 37 (the token would cut it)" \
  init-token --label "$long" --so-pin-env SO
ok init-token --label spare --so-pin-env SO
ok init-pin --token spare --so-pin-env SO --new-pin-env PIN
ok keygen ec:P-256 --token spare --label doomed --pin-env PIN
export WRONG_SO=0000
q init-token --token spare --label spare2 --so-pin-env WRONG_SO
that "re-initialising with a wrong current SO PIN is refused by the token" test $status -eq 1
that "the refusal is the token's" grep -q "CKR_PIN_INCORRECT" err
that "re-initialising warns that every object is destroyed" grep -q "every object on the token \"spare\"" err
q init-token --token spare --label spare2 --so-pin-env SO
that "re-initialising with the current SO PIN works" test $status -eq 0
that "re-initialising says what was destroyed" printed 'destroying every object of "spare"'

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
