#!/usr/bin/env bash
# bench.sh BUILD_DIR: a fixed set of copies through the virtual scanner and
# the PDF queues, in each flavour this host runs, and one table per flavour:
# the image, click to finished PDF, the copier's own memory at most, the
# process's growth while it copies, a scan's share alone, and the bytes
# spooled. A benchmark, not a test: its figures vary with the machine and its
# load, and nothing here passes or fails on them (make test does not run it).
set -uo pipefail
cd "$(dirname "$0")/.."
build32=${1:-build}
build64=$build32/x86_64
jobs=${JOBS:-$(nproc)}

tools/setup-host.sh || exit 1
if tools/host-runs-32bit.sh; then
  flavours="i686:$build32:mingw-i686 x86-64:$build64:mingw-x86_64"
  echo "bench: flavours i686 and x86-64: this host runs 32-bit code"
else
  flavours="x86-64:$build64:mingw-x86_64"
  echo "bench: flavour x86-64: this host's kernel runs no 32-bit code"
fi

rc=0
for flavour in $flavours; do
  IFS=: read -r name dir toolchain <<<"$flavour"
  tools/configure.sh "$dir" "$toolchain" || exit 1
  cmake --build "$dir" -j "$jobs" --target kopiwa kopiwa_counted virtual_scanner copier_e2e_tests || exit 1
  # A prefix template of its own kind, as the first test of a run makes it.
  testbed/make-template.sh "$dir" >"$dir/bench-template.log" 2>&1 || { cat "$dir/bench-template.log"; exit 1; }
  log=$dir/bench.log
  testbed/run-wine-test.sh "$dir" copier.bench "$dir/copier/tests/copier_e2e_tests.exe" \
    --gtest_filter=MeasuredCopy.DISABLED_Benchmark --gtest_also_run_disabled_tests >"$log" 2>&1 || rc=1
  echo "=== $name ($(cat "$dir/printer-queue"), $(cat "$dir/printer-queue-1200")): whole output in $log"
  grep -E '^\[ bench \]' "$log" | sed 's/^\[ bench \] //' || { tail -n 40 "$log"; rc=1; }
done
exit $rc
