#!/usr/bin/env bash
# Builds everything and runs every test: the native tests (also under ASan
# and UBSan), the Windows tests under Wine on a private display and sound
# server, the end-to-end runs of the program, and a short fuzzing run.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
top=$PWD
"$top/scripts/deps.sh" test || exit 1

start=$(date +%s)
jobs=$(nproc)
failed=()

step() {  # step NAME COMMAND...: runs a step, remembers a failure
  local name=$1
  shift
  echo "=== $name"
  "$@" || failed+=("$name")
}

build() {  # build DIR CMAKE-ARGS...
  local dir=$1
  shift
  cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs"
}

# No script removes a package: no apt-get remove, purge or autoremove, no
# name ending in "-" (apt-get install's removal) on an apt-get line or in
# deps.sh's lists, and no apt-get install without --no-remove, which would
# remove whatever conflicts with what it installs.
no_removals() {
  local where=(-rnE --include='*.sh' --exclude-dir=build --exclude-dir=.git)
  ! grep "${where[@]}" \
    '^[^#]*(apt-get|_packages=).*( (remove|purge|autoremove)([[:space:]]|$)|[[:alnum:]+.]-([[:space:]"'"'"')]|$))' "$top" &&
  ! grep "${where[@]}" '^[^#]*\<apt(-get)?( +(-o +[^[:space:]]+|-[^[:space:]]+))* +install\>' "$top" | grep -v -- '--no-remove'
}
step "no package removals" no_removals
step "deps.sh choices" bash "$top/scripts/tests/deps_test.sh"
step "native build" build build/native
step "native tests" ctest --test-dir build/native --output-on-failure
# The sanitizer build also runs the effects' plain C++ kernels, which the
# native build (SSE2) does not use.
step "sanitizer build" build build/asan -DCMAKE_BUILD_TYPE=Debug -DVOXOTROPE_SANITIZE=ON -DVOXOTROPE_NO_SIMD=ON
step "sanitizer tests" ctest --test-dir build/asan --output-on-failure
fuzz() {  # a short run of the carrier fuzzer on the committed seeds (clang)
  cmake -S "$top" -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVOXOTROPE_FUZZ=ON -DVOXOTROPE_FUZZ_SECONDS=30 >/dev/null &&
    cmake --build build/fuzz --target fuzz-carrier 2>&1 | tail -n 7
}
step "fuzzing" fuzz
step "i686 compile" build build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
step "win64 build" build build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
# The .deb, with lintian, installed with apt into a throwaway root where
# this machine allows one (it says so where not).
package() {
  local log=$top/build/package.log status
  "$top/scripts/package.sh" 2>&1 | tee "$log" | grep -v '^\[[0-9]*/[0-9]*\] ' || return 1
  bash "$top/scripts/tests/package_install_test.sh" "$(tail -n 1 "$log")" | grep -v '^I: '
  status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ]
}
step "package" package

# Windows tests: under Wine, on our own display and sound server.
export WINEPREFIX=$top/build/win64/wineprefix
. "$top/scripts/sandbox.sh"
trap sandbox_stop EXIT
if sandbox_start build/win64/sandbox; then
  step "wine tests" ctest --test-dir build/win64 --output-on-failure
else
  failed+=("sandbox")
fi
sandbox_stop
trap - EXIT

# The sandbox, the real program started by the launcher in it, and the
# virtual microphone from a copy of the checkout whose path holds a space,
# with the program built above and its Wine prefix (a new one would cost a
# minute). The timed end-to-end checks stay with the run above.
from_spaced_path() {
  local copy="$top/build/a path with spaces/voxotrope"
  rm -rf "$copy" && mkdir -p "$copy" &&
    tar -C "$top" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf - &&
    (cd "$copy" && . scripts/sandbox.sh && trap sandbox_stop EXIT &&
      sandbox_start "$copy/build/sandbox" &&
      bash tools/launcher/tests/test_device_list.sh "$top/build/win64/voxotrope.exe" "$copy/build/device list" &&
      bash tools/launcher/tests/test_virtual_mic.sh)
}
step "from a path with a space" from_spaced_path

echo "=== took $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All tests passed."
