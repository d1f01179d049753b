#!/usr/bin/env bash
# Creates the Wine prefix that every test of this run copies: a fresh 32-bit
# Windows with crash dialogs off and the Japanese fonts mapped.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
. "$(dirname "$0")/wine-env.sh"

template=$(template_dir "$build_dir")
rm -rf "$build_dir/wine"
mkdir -p "$(dirname "$template")"
wine_env "$build_dir" "$template"
start_xvfb
trap 'wineserver -k 2>/dev/null || true; stop_xvfb' EXIT

init_prefix "$template"
test -f "$template/system.reg"
echo "template prefix ready: $template"
