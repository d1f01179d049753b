#!/usr/bin/env bash
# test.sh BUILD_DIR: builds and runs every test of each flavour this host can
# run, and ends with ctest's summary for each.
#
# The shipped programs are the 32-bit (i686) build in BUILD_DIR. The x86-64
# build in BUILD_DIR/x86_64 is the same sources made for 64-bit Wine, so that a
# host whose kernel runs no 32-bit code still runs every test. Where 32-bit
# code runs, both flavours run their whole suites, side by side: the tests
# spend most of their time waiting on Wine, and each build tree prints on a
# PDF queue of its own (tools/test-printer.sh). Where it does not, the 32-bit build
# still makes its distribution and runs the checks that need no Wine.
set -uo pipefail
cd "$(dirname "$0")/.."
build32=${1:-build}
build64=$build32/x86_64
jobs=${JOBS:-$(nproc)}

if tools/host-runs-32bit.sh; then
  runs32=yes
  echo "test: flavours i686 and x86-64, each with its whole suite: this host runs 32-bit code"
else
  runs32=no
  echo "test: flavour x86-64 with the whole suite, i686 with its static checks only: this host's kernel runs no 32-bit code"
fi

tools/setup-host.sh || exit 1

configure() {  # configure BUILD_DIR TOOLCHAIN
  # The hostile-input tests get their ordinary time limit back after make fuzz.
  # shellcheck disable=SC2086
  tools/configure.sh "$1" "$2" -DKOPIWA_FUZZ_TIMEOUT=300 ${CMAKE_FLAGS:-}
}

configure "$build32" mingw-i686 || exit 1
configure "$build64" mingw-x86_64 || exit 1
if [ $runs32 = yes ]; then
  cmake --build "$build32" -j "$jobs" || exit 1
else
  # The programs and what their static checks read.
  cmake --build "$build32" -j "$jobs" --target kopiwa setup docs newer_imports_probe || exit 1
fi
cmake --build "$build64" -j "$jobs" || exit 1

# run_suite BUILD_DIR LOG [CTEST ARGS]: ctest in BUILD_DIR, its output in LOG.
run_suite() {
  local dir=$1 log=$2
  shift 2
  (cd "$dir" && ctest -j "$jobs" --output-on-failure ${CTEST_FLAGS:-} "$@") >"$log" 2>&1
}

log32=$build32/ctest-i686.log
log64=$build64/ctest-x86_64.log
if [ $runs32 = yes ]; then
  run_suite "$build32" "$log32" &
  pid32=$!
else
  run_suite "$build32" "$log32" -L static &
  pid32=$!
fi
run_suite "$build64" "$log64"
rc64=$?
wait $pid32
rc32=$?

# Each suite's whole ctest output, then the two closing lines together.
echo "=== i686: $([ $runs32 = yes ] && echo 'whole suite under 32-bit Wine' || echo 'static checks')"
cat "$log32"
echo "=== x86-64: whole suite under 64-bit Wine"
cat "$log64"
summary() { grep -E '^[0-9]+% tests passed' "$1" || echo "no ctest summary in $1"; }
echo "=== summary"
echo "i686:"
summary "$log32"
echo "x86-64:"
summary "$log64"
[ $rc32 -eq 0 ] && [ $rc64 -eq 0 ]
