#!/usr/bin/env bash
# host-runs-32bit.sh: exits 0 when this machine runs 32-bit x86 programs, 1
# when it does not. Some kernels have IA-32 emulation switched off, and there
# 32-bit Wine cannot start at all; the only sure test is to run something
# 32-bit, here a 93-byte i386 ELF program that only calls exit(0).
#
# The Makefile probes once and exports the answer as HOST_RUNS_32BIT (yes or
# no); the scripts it starts then get that answer here without a new probe,
# so one run never mixes the two decisions.
set -u
case ${HOST_RUNS_32BIT:-} in
  yes) exit 0 ;;
  no) exit 1 ;;
esac
PROBE32=f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhdAAAAXQAAAAUAAAAAEAAAMdu4AQAAAM2A

# probe_in DIR: 0 when the 32-bit probe ran there, 1 when the kernel refused
# it, 2 when DIR lets no program run at all (a noexec mount says nothing of
# the kernel).
probe_in() {
  base64 -d <<<"$PROBE32" >"$1/probe32" && cp /bin/true "$1/probe64" && chmod +x "$1/probe32" "$1/probe64"
  "$1/probe64" 2>/dev/null || return 2
  "$1/probe32" 2>/dev/null || return 1
}

for parent in "${TMPDIR:-/tmp}" "$(cd "$(dirname "$0")/.." && pwd)"; do
  dir=$(mktemp -d -p "$parent") || continue
  probe_in "$dir"
  rc=$?
  rm -rf "$dir"
  [ $rc -ne 2 ] && exit $rc
done
exit 1
