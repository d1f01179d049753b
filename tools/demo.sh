#!/usr/bin/env bash
# demo.sh BUILD_DIR: the main job. Starts the programs from the distribution
# folder under Wine, in a demo prefix of their own (BUILD_DIR/demo/prefix), on
# the user's display or, without one, on a private Xvfb screen.
set -euo pipefail
build_dir=$(cd "${1:-build}" && pwd)
. "$(dirname "$0")/../testbed/wine-env.sh"

demo_dir="$build_dir/demo"
prefix="$demo_dir/prefix"
mkdir -p "$demo_dir"
wine_env "$build_dir" "$prefix"

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  echo "demo: no display; running on Xvfb $DISPLAY"
fi
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT

if [ ! -f "$prefix/system.reg" ]; then
  echo "demo: creating the demo Windows in $prefix"
  init_prefix "$prefix"
fi

dist="$build_dir/dist"
for program in Setup.exe Kopiwa.exe; do
  echo "demo: starting $program"
  wine "$dist/$program"
  echo "demo: $program ended with code $?"
done
