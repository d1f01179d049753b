#!/usr/bin/env bash
# run-wine-test.sh BUILD_DIR NAME PROGRAM [ARGS...]
# Runs one cross-built test program under Wine in a copy of the template prefix,
# on an Xvfb screen of its own, and answers with the program's exit code.
set -uo pipefail
build_dir=$(cd "$1" && pwd)
name=$2
program=$3
shift 3
. "$(dirname "$0")/wine-env.sh"

prefix=$(prefix_dir "$build_dir" "$name")
copy_prefix "$(template_dir "$build_dir")" "$prefix" || exit 1
wine_env "$build_dir" "$prefix"
export KOPIWA_TEST_NAME="$name"
export KOPIWA_ARTIFACT_DIR="$build_dir/artifacts/$name"
rm -rf "$KOPIWA_ARTIFACT_DIR"
mkdir -p "$KOPIWA_ARTIFACT_DIR"
start_xvfb || exit 1

if [ -n "${KOPIWA_HEAP_CHECK:-}" ]; then
  # make fuzz: Wine's heap checks are on (WINEDEBUG=warn+heap) and report a
  # damaged block on stderr, while the program itself may well go on and pass.
  # Any such report fails the test.
  heap_log=$KOPIWA_ARTIFACT_DIR/stderr.log
  "$WINE" "$program" "$@" 2>"$heap_log"
  rc=$?
  cat "$heap_log" >&2
else
  "$WINE" "$program" "$@"
  rc=$?
fi
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
stop_xvfb
if [ -n "${KOPIWA_HEAP_CHECK:-}" ] && grep -q ':heap:' "$heap_log"; then
  echo "heap check: Wine reported heap errors:" >&2
  grep ':heap:' "$heap_log" | head -20 >&2
  rc=1
fi
# A passing test leaves nothing behind but its artifacts.
[ $rc -eq 0 ] && [ -z "${KOPIWA_KEEP_PREFIXES:-}" ] && rm -rf "$prefix"
exit $rc
