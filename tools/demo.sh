#!/usr/bin/env bash
# demo.sh BUILD_DIR [DEMO_DIR]: the main job. A fresh Windows (BUILD_DIR/demo-run/prefix) with
# the virtual scanner as its TWAIN source and the PDF queue as its printer;
# Setup.exe from the distribution folder installs the copier, which then copies.
#
# With a display the user clicks through Setup and the copier. Without one the
# demo runs on a private Xvfb screen, clicks through by itself, makes one copy,
# and leaves screenshots of every page and dialog and the printed PDF in
# DEMO_DIR (BUILD_DIR/demo-run/ unless named).
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
. "$(dirname "$0")/../testbed/wine-env.sh"

demo_dir=${2:-$build_dir/demo-run}
mkdir -p "$demo_dir"
demo_dir=$(cd "$demo_dir" && pwd)
prefix="$demo_dir/prefix"
interactive=${DISPLAY:+yes}

rm -rf "$demo_dir"
mkdir -p "$demo_dir"
# The machine's PDF queue, as a user of this Windows would print; the tests
# use their build tree's own.
export KOPIWA_PRINTER=${KOPIWA_PRINTER:-PDF}
wine_env "$build_dir" "$prefix"
pdf_dir=$KOPIWA_PDF_DIR
export KOPIWA_ARTIFACT_DIR="$demo_dir"

if [ -z "$interactive" ]; then
  start_xvfb
  echo "demo: no display; running by itself on Xvfb $DISPLAY"
fi
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT

echo "demo: creating the demo Windows in $prefix"
init_prefix "$prefix"
# The virtual scanner is the machine's TWAIN source.
# Wine's manager looks in a folder named after its bitness: twain_32 or twain_64.
twain_dir="$prefix/drive_c/windows/twain_${WINEARCH#win}"
mkdir -p "$twain_dir"
cp "$build_dir/fixtures/virtual_scanner.dll" "$twain_dir/sane.ds"

if [ -n "$interactive" ]; then
  echo "demo: Setup.exe installs KOPIWA; click through its pages"
  "$WINE" "$build_dir/dist/Setup.exe"
  wineserver -w
  program='C:\Program Files\Harbel\Kopiwa\Kopiwa.exe'
  echo "demo: starting $program; press ｺﾋﾟｰ(C) to copy from the virtual scanner"
  echo "demo: printed pages land in $pdf_dir"
  "$WINE" "$program"
  echo "demo: printed pages are in $pdf_dir"
else
  "$WINE" "$build_dir/demo/demo_driver.exe"
  echo "demo: screenshots and the printed PDF are in $demo_dir"
fi
