#!/usr/bin/env bash
# configure.sh BUILD_DIR TOOLCHAIN [CMAKE ARGS...]: configures one build tree
# with cmake/TOOLCHAIN.cmake. A cache that a failed configure left behind (the
# cross compiler not yet installed, say) or that another toolchain made is not
# reused: CMake would keep its empty optimisation flags and the host's objdump
# without a word. A tree counts as configured once a configure has ended well.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
toolchain=$(pwd)/cmake/$2.cmake
shift 2
stamp=$dir/configured-with
if [ -f "$dir/CMakeCache.txt" ] && [ "$(cat "$stamp" 2>/dev/null)" != "$toolchain" ]; then
  echo "configure: $dir was left by a failed or foreign configure; starting it afresh"
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
rm -f "$stamp"
cmake -S . -B "$dir" --no-warn-unused-cli -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" "$@" >/dev/null
echo "$toolchain" >"$stamp"
