#!/usr/bin/env bash
# Decompiles the attack files GENERATOR writes with --html by TOOL (words
# such as "wine hlpunpack.exe") into OUT/NAME, and holds each output to the
# edition's bounds (status 0, the sources, html/ at most 20 x the topic file
# + 1 MiB, no device names, the picture's name kept before the baggage's).
#   html_attack_check.sh GENERATOR OUT TOOL...
set -euo pipefail
generator=$1 out=$2
shift 2
rm -rf "$out"
"$generator" "$out/files"
failed=0
fail() { echo "$name: $*" >&2; failed=1; }
for file in "$out"/files/*.hlp; do
  name=$(basename "$file" .hlp)
  dir=$out/$name
  "$@" --html -q -o "$dir" "$file" </dev/null >/dev/null || { fail "exit status $?"; continue; }
  [[ -f $dir/$name.hpj && -f $dir/$name.rtf ]] || { fail "no $name.hpj or $name.rtf"; continue; }
  rtf=$(stat -c %s "$dir/$name.rtf") html=$(find "$dir/html" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  ((html <= 20 * rtf + 1048576)) || fail "html/ holds $html bytes for a topic file of $rtf"
  devices=$(find "$dir" -printf '%f\n' | grep -Eix '(con|prn|aux|nul|com[1-9]|lpt[1-9])(\..*)?' || true)
  [[ -z $devices ]] || fail "$(wc -l <<<"$devices") files named for devices, such as $(head -1 <<<"$devices")"
  case $name in
    devices-*) [[ -f $dir/html/_CON.html && -f $dir/html/_lpt9.2.html && -f $dir/_NUL.txt ]] ||
      fail "no _CON.html, _lpt9.2.html or _NUL.txt" ;;
    baggage-*) [[ $(head -c 2 "$dir/bm1.mrb") == lP && $(cat "$dir/bm1~2.mrb") == "baggage bm1.mrb" ]] ||
      fail "bm1.mrb is not the picture or bm1~2.mrb not the baggage" ;;
  esac
done
((failed == 0))
echo "$(ls "$out"/files | wc -l) help files decompiled within the HTML edition's bounds"
