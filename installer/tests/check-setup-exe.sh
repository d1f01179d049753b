#!/usr/bin/env bash
# check-setup-exe.sh Setup.exe resource.h OBJDUMP [MAX_BYTES]: Setup.exe
# exports exactly WndProc, is at most MAX_BYTES long when given (the shipped
# 32-bit one) and resource.h gives no two names the same value.
set -euo pipefail
export LC_ALL=C  # objdump's words are read, and it speaks the locale's language
exe=$1
header=$2
objdump=$3
max_bytes=${4:-}
fail() { echo "$*" >&2; exit 1; }

exports=$("$objdump" -p "$exe" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
[ "$exports" = "WndProc" ] || fail "$exe exports: '${exports}', expected WndProc alone"

size=$(stat -c %s "$exe")
if [ -n "$max_bytes" ]; then
  [ "$size" -le "$max_bytes" ] || fail "$exe is $size bytes, more than $max_bytes"
fi

duplicates=$(awk '$1 == "#define" && $3 ~ /^[0-9]+$/ {print $3}' "$header" | sort | uniq -d)
[ -z "$duplicates" ] || fail "$header gives these values twice: $duplicates"

echo "$exe: exports WndProc only; $size bytes; resource ids unique"
