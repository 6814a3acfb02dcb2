#!/bin/bash
# What the quillon tool reports, and how a PKCS#11 URI chooses, run as a person
# runs it through bin/quillon against two throwaway SoftHSM2 tokens and the
# recording module: the tokens' flags in slots, --json on the reading commands,
# keys chosen by RFC 7512 URIs (and each object's URI used again as it was
# printed), the URIs that are refused, and the objects table's curves,
# certificate subjects and escaped labels. The VM runs under -Xcheck:jni, and a
# JNI warning fails the run.
#   tool-report.sh <bin/quillon> <quillon-tool.jar> <quillon.jar> <work folder> <libqrec.so>
set -u
launcher=$1 tool_jar=$2 bridge_jar=$3 work=$4 qrec=$5
source "$(dirname "$0")/common.sh"
export SO=5678 PIN=1234 WRONG=9999

# Two tokens, each with an RSA key labelled "rsa"; the first has an EC key too,
# and a key whose label holds a terminal's escape sequence, a newline and a
# right-to-left override.
ok init-token --label first --so-pin-env SO
ok init-pin --token first --so-pin-env SO --new-pin-env PIN
ok init-token --label second --so-pin-env SO
ok init-pin --token second --so-pin-env SO --new-pin-env PIN
ok --token first keygen rsa:2048 --label rsa --id 01 --pin-env PIN
ok --token second keygen rsa:2048 --label rsa --id 01 --pin-env PIN
ok --token first keygen ec:P-256 --label "ec; é/?" --id a1b2 --pin-env PIN
evil=$(printf 'evil\n\033[2J\342\200\256')
ok --token first keygen ec:P-384 --label "$evil" --id 03 --pin-env PIN

# The tokens' flags: SoftHSM2 says so when a wrong PIN was given; the recording
# module says whatever it is told to.
ok slots
that "slots shows the PIN lengths" printed '^        user PIN set, login required, PIN length 4 to 255$'
that "slots shows each token's URI" printed '^        pkcs11:token=first;manufacturer=SoftHSM%20project;model=SoftHSM%20v2;serial=[0-9a-f]+$'
that "slots says nothing of PIN tries before a wrong PIN" test "$(grep -c 'PIN:' out)" -eq 0
q --token first objects --pin-env WRONG
ok slots --json
that "slots --json: a wrong PIN leaves the user PIN's count low, and only on that token" jq -e '
  [.[] | select(.token.initialized) | [.token.label, .token.userPin.countLow,
    .token.userPin.locked, .token.writeProtected, .token.minPinLength, .token.maxPinLength]]
  | sort == [["first", true, false, false, 4, 255], ["second", false, false, false, 4, 255]]' out
ok slots --token first
that "slots says that tries run low" printed '^        user PIN: wrong PINs were given \(tries are running low\)$'
QREC_TOKEN_FLAGS=0x7a0503 ok slots --module "$qrec"
for line in '        user PIN: final try (one more wrong PIN locks it), to be changed' \
  '        SO PIN: locked, final try (one more wrong PIN locks it), wrong PINs were given (tries are running low)' \
  '        write-protected: it cannot be changed' \
  '        protected authentication path: PINs are entered on the reader'; do
  that "slots shows, for both tokens: $line" test "$(grep -Fxc -- "$line" out)" -eq 2
done
QREC_TOKEN_FLAGS=0x7a0503 ok slots --module "$qrec" --json
that "slots --json carries the flags" jq -e '.[0].token | [.userPin.initialized, .userPin.finalTry,
  .userPin.toBeChanged, .userPin.locked, .soPin.locked, .soPin.finalTry, .soPin.countLow,
  .writeProtected, .protectedAuthenticationPath] == [false, true, true, false, true, true, true,
  true, true]' out

# --json on the other reading commands: one JSON value, nothing else.
ok info --json
that "info --json names the module and the bridge" \
  jq -e '(.manufacturer == "SoftHSM") and (.bridge | test("^[0-9]+\\.[0-9]+$"))
    and (.module | endswith("libsofthsm2.so"))' out
ok mechanisms --json
that "mechanisms --json lists SHA256-RSA-PKCS as used for signing" jq -e '
  map(select(.name == "SHA256-RSA-PKCS"))[0] | .used and (.flags | index("sign")) and
  .type == "0x00000040" and .minKeySize > 0' out

# The objects table: curves, escaped labels, and each object's URI; JSON escapes
# the same label its own way, and neither carries the raw escape character.
ok --token first objects --pin-env PIN
that "objects shows the EC key's curve" printed '^private key +EC +256 P-256 +a1b2 +ec; é/\?$'
that "objects escapes control characters in labels" \
  printed '^public key +EC +384 P-384 +03 +evil\\n\\x1B\[2J\\u202E$'
that "the table has no raw escape character" test "$(grep -c $'\033' out)" -eq 0
that "objects prints the URI under each object" printed \
  '^ +pkcs11:token=first;manufacturer=SoftHSM%20project;model=SoftHSM%20v2;serial=[0-9a-f]+;object=ec%3B%20%C3%A9%2F%3F;type=private;id=%A1%B2$'
ok --token first objects --pin-env PIN --json
that "objects --json escapes the label" grep -Fq '"label":"evil\n\u001B[2J\u202E"' out
that "objects --json has no raw escape character" test "$(grep -c $'\033' out)" -eq 0
that "objects --json gives curves" jq -e '[.[] | select(.keyType == "EC") | .curve] | sort
  == ["P-256", "P-256", "P-384", "P-384"]' out
cp out objects.json

# Keys chosen by URI: the token attributes choose between the two tokens that
# hold a key "rsa", and a URI printed by objects selects its key again.
second_uri=$(jq -r '.[] | select(.label == "rsa" and .class == "private key") | .uri' objects.json \
  | sed 's/token=first/token=second/; s/;serial=[0-9a-f]*//')
ok sign --uri "$second_uri" --in msg --out second.sig --pin-env PIN
ok export --uri 'pkcs11:token=second;object=rsa;type=public' --out second.pem
ok export --token first --label rsa --out first.pem
that "the URI's token signed: its key verifies the signature" \
  openssl dgst -sha256 -verify second.pem -signature second.sig msg
that "the other token's key does not" \
  bash -c '! openssl dgst -sha256 -verify first.pem -signature second.sig msg'
ec_uri=$(jq -r '.[] | select(.curve == "P-256" and .class == "private key") | .uri' objects.json)
ok sign --uri "$ec_uri" --in msg --out ec.sig --format der --pin-env PIN
ok export --uri "${ec_uri/type=private/type=public}" --out ec.pem
that "a printed URI selects its key (label with ';', '/', '?' and UTF-8)" \
  openssl dgst -sha256 -verify ec.pem -signature ec.sig msg
ok --token 'pkcs11:token=first' objects --uri 'pkcs11:id=%A1%b2;type=public' --json
that "--token takes a URI, and --uri's object attributes filter objects" \
  jq -e '[.[] | [.class, .label]] == [["public key", "ec; é/?"]]' out
ok info --uri "pkcs11:token=first?module-path=$qrec"
that "module-path names the module" printed "^module +$qrec$"

# URIs that would choose something they do not name are refused.
q sign --uri 'pkcs11:model=SoftHSM%20v2;object=rsa' --in msg --pin-env PIN
# The free slot's token fits too: SoftHSM2 gives it the same model.
that "a URI that several tokens fit chooses none" test $status -eq 2 -a ! -s out -a \
  "$(sed -E 's/slot IDs [0-9]+, [0-9]+, [0-9]+\)/slot IDs N, M, K)/' err)" = \
  'quillon: sign: 3 tokens fit pkcs11:model=SoftHSM%20v2;object=rsa (slot IDs N, M, K); name one by its serial or slot-id (see quillon slots)'
fails 2 'quillon: sign: a public key is asked for, and this command works with a private key' \
  sign --uri 'pkcs11:token=first;object=rsa;type=public' --in msg --pin-env PIN
fails 2 'quillon: sign: --uri "pkcs11:object=rsa?..." is no PKCS#11 URI that quillon can use: the PIN is not taken from a URI ("pin-value"); it is read apart from it' \
  sign --uri 'pkcs11:object=rsa?pin-value=1234' --in msg
fails 2 'quillon: export: --uri "pkcs11:object=rsa;x-vendor=1" is no PKCS#11 URI that quillon can use: the attribute "x-vendor" is not understood' \
  export --uri 'pkcs11:object=rsa;x-vendor=1'
fails 2 'quillon: export: --uri "pkcs11:object=rsa;object=ec" is no PKCS#11 URI that quillon can use: the attribute "object" is given twice' \
  export --uri 'pkcs11:object=rsa;object=ec'
fails 2 'quillon: export: --uri "pkcs11:id=%A" is no PKCS#11 URI that quillon can use: a '"'%'"' that two hex digits do not follow' \
  export --uri 'pkcs11:id=%A'
fails 2 'quillon: export: give the key by --label and --id or by the URI, not both' \
  export --uri 'pkcs11:object=rsa' --label rsa
fails 2 'quillon: export: give --slot, --token or a URI'"'"'s token attributes, not two of them' \
  export --uri 'pkcs11:token=first;object=rsa' --token second
fails 2 'quillon: keygen: the URI names an object, and keygen selects none: give its token attributes only' \
  keygen ec:P-256 --uri 'pkcs11:token=first;object=new' --pin-env PIN
fails 2 'quillon: export: no token fits pkcs11:token=third;object=rsa (see quillon slots)' \
  export --uri 'pkcs11:token=third;object=rsa'

# A certificate's subject, and its URI.
openssl req -x509 -newkey rsa:2048 -nodes -keyout cert.key -out cert.pem -days 1 \
  -subj "/CN=quillon test/O=Morvale" 2>/dev/null
ok --token first import cert.pem --label cert --id 04 --pin-env PIN
ok --token first objects
that "objects shows a certificate's subject" printed '^ +subject O=Morvale,CN=quillon test$'
that "objects gives a certificate's type" printed '^certificate +X.509 +- +04 +cert$'
ok --token first objects --uri 'pkcs11:type=cert' --json
that "objects --json gives the subject and the URI" jq -e '[.[] | [.subject, .certificateType,
  (.uri | endswith(";object=cert;type=cert;id=%04"))]] == [["O=Morvale,CN=quillon test", "X.509", true]]' out

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
