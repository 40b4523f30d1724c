#!/usr/bin/env bash
# Installs the Debian packages that are missing for building, running or
# testing. Usage: deps.sh run|demo|install|page|test
set -euo pipefail

run_packages=(cmake ninja-build g++ mingw-w64 wine wine64 xvfb pulseaudio pulseaudio-utils)
test_packages=("${run_packages[@]}" googletest libgtest-dev libbenchmark-dev libsndfile1-dev libsoxr-dev
               pkg-config python3 clang libclang-rt-14-dev xdotool imagemagick espeak-ng sox procps psmisc
               pipewire pipewire-pulse wireplumber dbus python3-numpy lv2-dev lilv-utils sordi libpipewire-0.3-dev)

demo_packages=("${run_packages[@]}" xdotool imagemagick espeak-ng sox)
install_packages=("${run_packages[@]}" icoutils pkg-config lv2-dev libpipewire-0.3-dev)
# For tools/demo-page-shot.sh only: the demo's page seen in a browser.
page_packages=(chromium imagemagick)

case "${1:-test}" in
  run) wanted=("${run_packages[@]}") ;;
  demo) wanted=("${demo_packages[@]}") ;;
  install) wanted=("${install_packages[@]}") ;;
  page) wanted=("${page_packages[@]}") ;;
  *) wanted=("${test_packages[@]}") ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# Nothing is ever removed. The program runs with Wine's 64-bit loader
# directly (scripts/wine.sh), so a 32-bit Wine the user has stays usable.
$sudo apt-get install -y -q "${missing[@]}"
