#!/usr/bin/env bash
# Checks a release archive: its files, the plug-in binaries' kinds and
# exports, and the installation file a file manager reads.
#   check-release.sh ZIP windows|linux VERSION
set -euo pipefail
zip=$1 kind=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unzip -q "$zip" -d "$tmp"
failed=0
check() {
  if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failed=1; fi
}

files=$(cd "$tmp" && ls | tr '\n' ' ')
if [ "$kind" = windows ]; then
  check "files: $files" '[ "$files" = "hlpunpack.wcx hlpunpack.wcx64 pluginst.inf readme.txt " ]'
  check "hlpunpack.wcx is the 32-bit DLL with the plain exports and system imports only" \
    'bash "$here/../tests/wcx_host/check_dll.sh" "$tmp/hlpunpack.wcx" pei-i386 >/dev/null'
  check "hlpunpack.wcx64 is the 64-bit DLL with the plain exports and system imports only" \
    'bash "$here/../tests/wcx_host/check_dll.sh" "$tmp/hlpunpack.wcx64" pei-x86-64 >/dev/null'
else
  check "files: $files" '[ "$files" = "hlpunpack.wcx pluginst.inf readme.txt " ]'
  check "hlpunpack.wcx is an ELF shared object" \
    'objdump -f "$tmp/hlpunpack.wcx" | grep -q "file format elf64-x86-64" && objdump -p "$tmp/hlpunpack.wcx" | grep -q "^Dynamic Section"'
  needed=$(objdump -p "$tmp/hlpunpack.wcx" | sed -n 's/^ *NEEDED *//p' | tr '\n' ' ')
  check "it needs only the C library and its kin ($needed)" \
    '! grep -Eq "libstdc\+\+|libgcc_s" <<<"$needed"'
  exports=$(nm -D --defined-only "$tmp/hlpunpack.wcx" | awk '$2 == "T" { print $3 }' | sort | tr '\n' ' ')
  check "it exports the thirteen plug-in functions" \
    '[ "$exports" = "CloseArchive GetBackgroundFlags GetPackerCaps OpenArchive OpenArchiveW ProcessFile ProcessFileW ReadHeader ReadHeaderExW SetChangeVolProc SetChangeVolProcW SetProcessDataProc SetProcessDataProcW " ]'
fi
inf=$(tr -d '\r' <"$tmp/pluginst.inf")
check "pluginst.inf starts with [plugininstall]" '[ "$(head -1 <<<"$inf")" = "[plugininstall]" ]'
for line in "type=wcx" "file=hlpunpack.wcx" "defaultdir=hlpunpack" "defaultextension=hlp"; do
  check "pluginst.inf has $line" 'grep -qx "$line" <<<"$inf"'
done
check "pluginst.inf describes version $version" 'grep -q "^description=hlpunpack $version: " <<<"$inf"'
check "readme.txt names version $version" 'grep -q "^hlpunpack $version " "$tmp/readme.txt"'
echo "$zip: $([ $failed -eq 0 ] && echo good || echo BAD)"
exit $failed
