#!/usr/bin/env bash
# check-setup-exe.sh Setup.exe resource.h: Setup.exe exports exactly WndProc,
# is below 91,598 bytes (an empty NSIS installer) and resource.h gives no two
# names the same value.
set -euo pipefail
exe=$1
header=$2
fail() { echo "$*" >&2; exit 1; }

exports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
[ "$exports" = "WndProc" ] || fail "$exe exports: '${exports}', expected WndProc alone"

size=$(stat -c %s "$exe")
[ "$size" -lt 91598 ] || fail "$exe is $size bytes, not below 91598"

duplicates=$(awk '$1 == "#define" && $3 ~ /^[0-9]+$/ {print $3}' "$header" | sort | uniq -d)
[ -z "$duplicates" ] || fail "$header gives these values twice: $duplicates"

echo "$exe: exports WndProc only; $size bytes; resource ids unique"
