#!/usr/bin/env bash
# Builds the program and runs it under Wine on this desktop: it records the
# default microphone and plays the changed voice on the output chosen in its
# first dialog. Installs what is missing first. Without a desktop session it
# runs the recorded demo on a virtual display and virtual sound devices.
#
#   run.sh                       build and run
#   run.sh --demo [OPTIONS]      build and run the recorded demo (scripts/demo.sh)
#   run.sh --install [PREFIX]    build and install the `voxotrope` command (~/.local)
#                                with voxotrope-live, and the LV2 plugin (~/.lv2)
#   run.sh --uninstall [PREFIX]  remove what --install put there
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

mode=run
case "${1:-}" in
  --demo) mode=demo; shift ;;
  --install) mode=install; shift ;;
  --uninstall) exec "$top/scripts/install.sh" uninstall "${1:-$HOME/.local}" ;;
  -h|--help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
esac
if [ $mode = run ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session here (DISPLAY is not set): running the demo on a virtual display and virtual sound devices instead."
  mode=demo
  set --
fi
"$top/scripts/deps.sh" "$mode"

build=$top/build/release
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-x86_64.cmake" -DVOXOTROPE_COMPILE_ONLY=ON >/dev/null
cmake --build "$build" --target voxotrope

case $mode in
  demo) VOXOTROPE_EXE=$build/voxotrope.exe exec "$top/scripts/demo.sh" "$@" ;;
  install)
    # The native part: what runs without Wine.
    native=$top/build/native-release
    cmake -S "$top" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOXOTROPE_INSTALLED_ONLY=ON >/dev/null
    cmake --build "$native"
    exec "$top/scripts/install.sh" install "${1:-$HOME/.local}" "$build/voxotrope.exe" "$native/lv2/voxotrope.lv2" \
      "$native/tools/live/voxotrope-live" ;;
esac

. "$top/scripts/wine.sh"
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX (once)"
  wineboot -i >/dev/null 2>&1
fi
# exec takes no shell function: the loader by name, as scripts/wine.sh found it.
exec "${WINELOADER:-wine}" "$build/voxotrope.exe" "$@"
