#!/usr/bin/env bash
# What a Windows host sees of the DLL before loading it: the right machine
# type, exactly the thirteen exports under their plain names, and imports
# of system DLLs only (the C and C++ runtimes are linked in).
#   check_dll.sh DLL pei-i386|pei-x86-64
set -euo pipefail
dll=$1
format=$2
dump=$(objdump -p "$dll")
status=0

grep -q "file format $format\$" <<<"$dump" || { echo "not $format: $(head -2 <<<"$dump" | tail -1)"; status=1; }

expected="CloseArchive GetBackgroundFlags GetPackerCaps OpenArchive OpenArchiveW ProcessFile ProcessFileW ReadHeader ReadHeaderExW SetChangeVolProc SetChangeVolProcW SetProcessDataProc SetProcessDataProcW"
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] \(.*\)$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$exports" != "$expected" ]; then
  echo "exports: $exports"
  echo "expected: $expected"
  status=1
fi

imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | sort -u | tr '\n' ' ' | sed 's/ $//')
for name in $imports; do
  case ${name,,} in
    kernel32.dll|msvcrt.dll) ;;
    *) echo "imports $name, which is not a system DLL"; status=1 ;;
  esac
done

echo "$dll: $format; exports: $exports; imports: $imports"
exit $status
