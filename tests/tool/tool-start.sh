#!/bin/bash
# The quillon tool as installed and as started: make install into a throwaway
# prefix (the files where a Debian system keeps them, a manual page and a bash
# completion that know every command, the installed tool running from its
# class-data archive and its own library); UTF-8 labels under the C and POSIX
# locales; many commands in one VM with quillon shell. Against a throwaway
# SoftHSM2 token, and the recording module for what reaches a module.
#   tool-start.sh <bin/quillon> <quillon-tool.jar> <quillon.jar> <source folder>
#     <build folder> <work folder> <libqrec.so>
set -u
launcher=$1 tool_jar=$2 bridge_jar=$3 source=$4 tree=$5 work=$6 qrec=$7
source "$(dirname "$0")/common.sh"
export SO=5678 PIN=1234

# run COMMAND...: $status, ./out and ./err hold what it did.
run() {
  "$@" >out 2>err
  status=$?
  if jni_warnings out err; then bad "JNI warnings from $*"; fi
}

# ok COMMAND...: succeeds and prints nothing on standard error. Here it runs
# any command, the tool by its path, for make, man and the installed tool too.
ok() {
  run "$@"
  succeeded "$*"
}

ok "$quillon" init-token --label starts --so-pin-env SO
ok "$quillon" init-pin --token starts --so-pin-env SO --new-pin-env PIN

# make install: the files where a Debian system keeps them, the installed tool
# runs from them, and its manual page and completion know every command.
prefix=$work/prefix
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
ok make -s -C "$source" -o build install TREE="$tree" PREFIX="$prefix"
for file in bin/quillon share/java/quillon.jar share/java/quillon-tool.jar \
  "lib/$multiarch/jni/libquillon.so" "lib/$multiarch/quillon/quillon-tool.jsa" \
  share/man/man1/quillon.1.gz share/bash-completion/completions/quillon; do
  that "make install puts $file" test -s "$prefix/$file"
done
installed=$prefix/bin/quillon
QUILLON_JAVA_OPTIONS="-Xcheck:jni -Xlog:class+load=info:file=$work/classes.txt" ok "$installed" --version
that "the installed tool names the bridge it loaded" printed '^bridge [0-9]+\.[0-9]+$'
for class in it.morvale.pkcs11.tool.Quillon it.morvale.pkcs11.nat.NativePKCS11 picocli.CommandLine; do
  that "the installed tool's $class comes from its class-data archive" \
    grep -q "^\[.*\] $class source: shared objects file (top)$" classes.txt
done
that "the installed tool loads the bridge's library from the JNI folder, not out of the jar" \
  grep -q 'it.morvale.pkcs11.nat.BridgeLoader' classes.txt
ok "$installed" --pin-env PIN keygen ec:P-256 --label installed
ok "$installed" --pin-env PIN sign --label installed --in msg --out installed.sig
ok "$installed" verify --label installed --in msg --signature installed.sig
ok "$installed" --help
sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p' out >commands
that "the help lists the commands" test "$(wc -l <commands)" -ge 16
zcat "$prefix/share/man/man1/quillon.1.gz" >out
while read -r command; do
  that "the manual page has the command $command" grep -Eq "^\.SS \"${command//-/\\\\-}( |\")" out
done <commands
if command -v man >/dev/null; then
  ok man -l "$prefix/share/man/man1/quillon.1.gz"
  that "man shows the page" printed '^ +shell \[FILE\]$'
fi
completions() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _complete_quillon
    printf "%s\n" "${COMPREPLY[@]}"' completion "$prefix/share/bash-completion/completions/quillon" \
    quillon "$@"
}
run completions ""
that "bash completes every command" diff <(sort commands) <(sort out)
run completions sign --la
that "bash completes sign's options" test "$(cat out)" = "--label"
ok make -s -C "$source" uninstall PREFIX="$prefix"
that "make uninstall takes the files away" test -z "$(find "$prefix" -type f)"

# Labels are UTF-8 whatever the locale: the launcher runs the VM under
# C.UTF-8 in place of C or POSIX, so that the command line and the output are
# UTF-8 from the start.
label="clé-ñ-日本"
QUILLON_JAVA_OPTIONS="-Xcheck:jni -XshowSettings:properties" LC_ALL=C \
  run "$quillon" --version
that "under LC_ALL=C the VM decodes the command line as UTF-8" \
  grep -Eq '^ +sun.jnu.encoding = UTF-8$' err
LC_ALL=C ok "$quillon" --pin-env PIN keygen ec:P-256 --label "$label"
that "keygen under LC_ALL=C prints the label as given" printed "\"$label\""
LC_ALL=POSIX ok "$quillon" --pin-env PIN sign --label "$label" --in msg --out label.sig
env -u LC_ALL -u LC_CTYPE -u LANG "$quillon" verify --label "$label" --in msg --signature label.sig \
  >out 2>err
status=$?
that "verify without any locale finds the key" test $status -eq 0
LC_ALL=C ok "$quillon" objects --json
that "objects under LC_ALL=C prints the label in UTF-8" jq -e --arg l "$label" \
  '[.[].label] | index($l) != null' out

# quillon shell: many commands in one VM, with the shell's global options, the
# module loaded once; the first failing line ends a run from a file (with its
# status) unless --keep-going; data is not taken from the commands' input.
cat >commands.txt <<EOF
# a key, a signature and its check
keygen ec:P-256 --label shell --id 5e
sign --label shell --in msg --out shell.sig   # on the token
verify --label 'shell' --in msg --signature "shell.sig"
EOF
ok "$quillon" --pin-env PIN shell commands.txt
that "a shell's line uses what the line before made" \
  printed '^verified the ECDSA-SHA256 signature of key "shell"'
ok "$quillon" verify --label shell --in msg --signature shell.sig
rm -f journal
printf 'info\nslots\nmechanisms\n' >qrec.txt
QREC_JOURNAL=$work/journal ok "$quillon" shell --module "$qrec" qrec.txt
that "shell loads and initialises the module once for all its lines" \
  test "$(grep -c '^C_Initialize' journal)" = 1 -a "$(grep -c '^C_Finalize' journal)" = 1
printf 'slots\nsign --label nothing-so-named --in msg\ninfo\n' >failing.txt
run "$quillon" --pin-env PIN shell failing.txt
that "a failing line ends the shell with its status" test $status -eq 2
that "the failing line says why, and the shell which line it was" test "$(cat err)" = \
  'quillon: sign: no private key labelled "nothing-so-named"
quillon: shell: line 2 failed; the lines after it were not run'
that "the lines after a failing one are not run" test "$(grep -c '^module ' out)" = 0
run "$quillon" --pin-env PIN shell --keep-going failing.txt
that "--keep-going runs the rest and keeps the first failure's status" \
  test $status -eq 2 -a "$(grep -c '^module ' out)" = 1
printf 'sign --label shell\n' | run "$quillon" --pin-env PIN shell
that "a command does not take its data from the shell's own input" \
  grep -q "standard input carries the shell's commands" err
that "nothing is signed from the shell's input" test $status -ne 0 -a ! -s out

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
