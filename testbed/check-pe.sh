#!/usr/bin/env bash
# check-pe.sh PROGRAM.exe ARCH OBJDUMP [MAX_BYTES]: passes when the file is a
# PE of ARCH (i386: PE32, the shipped kind; x86-64: PE32+, the flavour for
# hosts without 32-bit code) with the Windows GUI subsystem that imports
# nothing but the system DLLs of the first Windows 95 (no C runtime DLL), and
# is at most MAX_BYTES long when that is given. Prints the size of each
# section for a look at what grew.
set -euo pipefail
export LC_ALL=C  # objdump's words are read, and it speaks the locale's language
exe=$1
arch=${2:-i386}
objdump=${3:-i686-w64-mingw32-objdump}
max_bytes=${4:-}
dump=$("$objdump" -p "$exe")
fail() { echo "$exe: $*" >&2; exit 1; }

case $arch in
  i386) format=pei-i386 magic=010b kind=PE32 ;;
  x86-64) format=pei-x86-64 magic=020b kind=PE32+ ;;
  *) fail "unknown architecture $arch" ;;
esac
grep -q "file format $format" <<<"$dump" || fail "not a $kind for $arch"
grep -qE "^Magic[[:space:]]+$magic" <<<"$dump" || fail "not a $kind (optional header magic)"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || fail "not a GUI-subsystem program"

allowed='^(kernel32|user32|gdi32|advapi32|comdlg32|comctl32|shell32|ole32)(\.dll)?$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || fail "imports no DLL at all"
while read -r dll; do
  grep -qE "$allowed" <<<"$dll" || fail "imports $dll, which is not one of the system DLLs it may import"
done <<<"$imports"
size=$(stat -c %s "$exe")
sections=
while read -r name hex; do
  sections+=" $name $((16#$hex))"
done < <("$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $2, $3}')
echo "$exe: $size bytes; sections:$sections"
if [ -n "$max_bytes" ]; then
  [ "$size" -le "$max_bytes" ] || fail "is $size bytes, more than $max_bytes"
fi
echo "$exe: $kind $arch GUI; imports $(echo $imports)"
