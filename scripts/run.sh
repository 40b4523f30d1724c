#!/usr/bin/env bash
# Builds the program and runs it under Wine on this desktop: it records the
# default microphone and plays the changed voice on the output chosen in its
# first dialog. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
"$top/scripts/deps.sh" run

build=$top/build/release
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-x86_64.cmake" -DVOXOTROPE_COMPILE_ONLY=ON >/dev/null
cmake --build "$build" --target voxotrope

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session here (DISPLAY is not set): the program needs one to show its windows." >&2
  exit 1
fi
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once)"
  wineboot -i >/dev/null 2>&1
fi
exec wine "$build/voxotrope.exe" "$@"
