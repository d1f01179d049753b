#!/usr/bin/env bash
# check-pe.sh PROGRAM.exe: passes when the file is a 32-bit (i386) PE with the
# Windows GUI subsystem that imports nothing but Windows' own system DLLs.
set -euo pipefail
exe=$1
dump=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "$exe: $*" >&2; exit 1; }

grep -q 'file format pei-i386' <<<"$dump" || fail "not a PE32 for i386"
grep -qE '^Magic[[:space:]]+010b' <<<"$dump" || fail "not a PE32 (optional header magic)"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || fail "not a GUI-subsystem program"

allowed='^(kernel32|user32|gdi32|advapi32|comdlg32|comctl32|shell32|ole32|oleaut32|winspool\.drv|msvcrt|version|uuid)(\.dll)?$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "imports no DLL at all"
while read -r dll; do
  grep -qE "$allowed" <<<"$dll" || fail "imports $dll, which is not a Windows system DLL"
done <<<"$imports"
echo "$exe: PE32 i386 GUI; imports $(echo $imports)"
