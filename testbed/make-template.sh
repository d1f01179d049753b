#!/usr/bin/env bash
# Creates the Wine prefix that every test of this run copies: a fresh Windows
# of the build's kind with crash dialogs off, the Japanese fonts mapped, and
# the build tree's own PDF queue as its default printer.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
. "$(dirname "$0")/wine-env.sh"

# The tree's own PDF queue, so that its tests measure only their own pages.
"$(dirname "$0")/../tools/test-printer.sh" "$build_dir"
template=$(template_dir "$build_dir")
rm -rf "$build_dir/wine"
mkdir -p "$(dirname "$template")"
wine_env "$build_dir" "$template"
start_xvfb
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT

init_prefix "$template"
test -f "$template/system.reg"
echo "template prefix ready: $template"
