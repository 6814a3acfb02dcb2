#!/bin/sh
# Makes a fresh work folder with a SoftHSM2 configuration and one initialised
# token ("quillon", SO PIN 5678, user PIN 1234).
set -e
work=$1
rm -rf "$work"
mkdir -p "$work/tokens"
printf 'directories.tokendir = %s/tokens\nobjectstore.backend = file\nlog.level = ERROR\n' "$work" \
  >"$work/softhsm2.conf"
SOFTHSM2_CONF="$work/softhsm2.conf" softhsm2-util --init-token --free --label quillon \
  --so-pin 5678 --pin 1234 >/dev/null
