#!/usr/bin/env bash
# Installs the Debian packages that are missing for building, running or
# testing. Usage: deps.sh run|demo|install|package|page|test
# Nothing is ever removed: apt runs with --no-remove, and a package that an
# installed one conflicts with is not asked for. Where PulseAudio cannot be
# installed (a desktop on PipeWire), the program uses the desktop's server
# and the sandboxes use PipeWire (scripts/sandbox.sh).
set -euo pipefail

run_packages=(cmake ninja-build g++ mingw-w64 wine wine64 xvfb pulseaudio pulseaudio-utils)
test_packages=("${run_packages[@]}" googletest libgtest-dev libbenchmark-dev libsndfile1-dev libsoxr-dev
               pkg-config python3 clang libclang-rt-14-dev xdotool imagemagick espeak-ng sox procps psmisc
               pipewire pipewire-pulse wireplumber dbus python3-numpy lv2-dev lilv-utils sordi libpipewire-0.3-dev
               icoutils dpkg-dev lintian systemd mmdebstrap)

demo_packages=("${run_packages[@]}" xdotool imagemagick espeak-ng sox)
install_packages=("${run_packages[@]}" icoutils pkg-config lv2-dev libpipewire-0.3-dev libsndfile1-dev libsoxr-dev)
# scripts/package.sh: the build, the package tools and lintian.
package_packages=("${install_packages[@]}" dpkg-dev lintian)
# For tools/demo-page-shot.sh only: the demo's page seen in a browser.
page_packages=(chromium imagemagick)
# What the sandboxes run on instead of a package that cannot be installed.
declare -A instead=([pulseaudio]="pipewire pipewire-pulse wireplumber dbus")

case "${1:-test}" in
  run) wanted=("${run_packages[@]}") ;;
  demo) wanted=("${demo_packages[@]}") ;;
  install) wanted=("${install_packages[@]}") ;;
  package) wanted=("${package_packages[@]}") ;;
  page) wanted=("${page_packages[@]}") ;;
  *) wanted=("${test_packages[@]}") ;;
esac

# Every package dpkg knows: "NAME<TAB>STATUS<TAB>CONFLICTS, BREAKS".
declare -A installed=() blocked_by=()
while IFS=$'\t' read -r name status against; do
  [ "$status" = "install ok installed" ] || continue
  installed[$name]=1
  # Only unversioned entries: a versioned one is against old releases, which
  # apt would not pick anyway.
  IFS=',|' read -r -a entries <<<"$against"
  for entry in "${entries[@]}"; do
    entry=${entry// /}
    [ -n "$entry" ] && [[ $entry != *"("* ]] && blocked_by[${entry%%:*}]+=" $name"
  done
done < <(dpkg-query -W -f='${Package}\t${Status}\t${Conflicts}, ${Breaks}\n' 2>/dev/null)

missing=()
notes=()
declare -A asked=()
want() {  # want PACKAGE: asks for it unless it is there, or in the way of something that is
  local package=$1 other
  [ -n "${installed[$package]:-}${asked[$package]:-}" ] && return 0
  asked[$package]=1
  if [ -n "${blocked_by[$package]:-}" ]; then
    notes+=("Not installing $package: the installed${blocked_by[$package]} conflicts with it${instead[$package]:+; using ${instead[$package]// /, } instead}")
    for other in ${instead[$package]:-}; do want "$other"; done
    return 0
  fi
  missing+=("$package")
}
for package in "${wanted[@]}"; do want "$package"; done
[ ${#missing[@]} -eq 0 ] && exit 0

[ ${#notes[@]} -eq 0 ] || printf '%s\n' "${notes[@]}"
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# The program runs with Wine's 64-bit loader directly (scripts/wine.sh), so
# a 32-bit Wine the user has stays usable.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! $sudo apt-get install -y -q --no-remove -o DPkg::Lock::Timeout=900 "${missing[@]}" 2>&1 | tee "$log"; then
  # apt lists what it would have had to remove before it refuses.
  removals=$(awk '/^The following packages will be REMOVED:/ { on = 1; next }
                  on && /^ / { for (i = 1; i <= NF; i++) { sub(/\*$/, "", $i); printf " %s", $i }; next }
                  { on = 0 }' "$log")
  if [ -n "$removals" ]; then
    echo "deps.sh: apt refused: installing these would remove${removals}; nothing was changed" >&2
  else
    echo "deps.sh: apt could not install ${missing[*]} ($(grep '^E:' "$log" | tail -n 1)); nothing was removed" >&2
  fi
  exit 1
fi
