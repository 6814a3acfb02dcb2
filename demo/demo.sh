#!/bin/bash
# make demo: a short session with the quillon tool on a throwaway SoftHSM2
# token, printed as a transcript. The token lives under build/demo with a
# SoftHSM2 configuration of its own, so a person's own tokens are never
# touched, and each run starts afresh.
#
# Each part is a section of steps: `step CMD...` prints the command and runs
# it; the run stops at the first step that fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/demo
log=/var/tmp/jpkcs110.log
start=$(date +%s)

section() { printf '\n== %s\n' "$*"; }
step() {
  printf '\n$ %s\n' "$*"
  "$@"
}
note() { printf '  (%s)\n' "$*"; }

rm -rf "$work"
mkdir -p "$work/tokens"
cd "$work"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >softhsm2.conf
export SOFTHSM2_CONF=$work/softhsm2.conf
unset QUILLON_MODULE PKCS11_ZOR_DEBUG
export PATH=$root/bin:$PATH
# The PINs reach the tool through environment variables, never on the command line.
export DEMO_SO_PIN=5678 DEMO_PIN=1234

echo "quillon demo: a throwaway SoftHSM2 token in build/demo (SOFTHSM2_CONF=build/demo/softhsm2.conf)"
echo "PINs: DEMO_SO_PIN and DEMO_PIN in the environment"

section "The module and its slots"
step quillon info
step quillon slots

section "A new token and its PINs"
step quillon init-token --label demo --so-pin-env DEMO_SO_PIN
step quillon init-pin --token demo --so-pin-env DEMO_SO_PIN --new-pin-env DEMO_PIN

section "Keys made on the token"
step quillon keygen rsa:2048 --label demo-rsa --id 01 --pin-env DEMO_PIN
step quillon keygen ec:P-256 --label demo-ec --id 02 --pin-env DEMO_PIN
step quillon keygen aes:256 --label demo-aes --id 03 --pin-env DEMO_PIN
step quillon objects --pin-env DEMO_PIN

section "Signatures by the token, checked in Java"
printf 'Signed on a SoftHSM2 token through the quillon bridge.\n' >message.txt
step cat message.txt
step quillon sign --label demo-rsa --in message.txt --out message.rsa.sig --pin-env DEMO_PIN
step quillon verify --label demo-rsa --in message.txt --signature message.rsa.sig
step quillon sign --label demo-ec --format der --in message.txt --out message.ec.sig --pin-env DEMO_PIN
step quillon verify --label demo-ec --format der --in message.txt --signature message.ec.sig

section "The same signatures checked by openssl"
step quillon export --label demo-rsa --out demo-rsa.pem
step openssl dgst -sha256 -verify demo-rsa.pem -signature message.rsa.sig message.txt
step quillon export --label demo-ec --out demo-ec.pem
step openssl dgst -sha256 -verify demo-ec.pem -signature message.ec.sig message.txt

section "RSA encryption and back"
step quillon encrypt --label demo-rsa --in message.txt --out message.enc
step quillon decrypt --label demo-rsa --in message.enc --pin-env DEMO_PIN

section "The AES key wrapped and unwrapped"
step quillon wrap --wrapping-label demo-rsa --label demo-aes --out demo-aes.wrapped --pin-env DEMO_PIN
step quillon unwrap --wrapping-label demo-rsa --in demo-aes.wrapped --label demo-aes-copy --id 04 \
  --pin-env DEMO_PIN
note "the copy is the same key: it unwraps what the original wraps, and AES key wrap checks that"
step quillon wrap --wrapping-label demo-aes --label demo-aes-copy -m AES-KEY-WRAP --out copy.wrapped \
  --pin-env DEMO_PIN
step quillon unwrap --wrapping-label demo-aes-copy -m AES-KEY-WRAP --in copy.wrapped \
  --label demo-aes-check --pin-env DEMO_PIN
step quillon objects --pin-env DEMO_PIN

section "The java.security provider: a key on a second token signs through Signature"
step bash "$root/demo/provider.sh" "$root/build/linux" "$work/provider"

section "The bridge's trace of one command"
before=$(stat -c %s "$log" 2>/dev/null || echo 0)
step quillon --trace slots
printf '\n$ head -n 15 %s   (the part this command wrote)\n' "$log"
tail -c +"$((before + 1))" "$log" | head -n 15

printf '\nThe demo is done (%d s). Its files are in build/demo.\n' "$(($(date +%s) - start))"
