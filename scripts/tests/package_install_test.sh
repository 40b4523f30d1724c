#!/usr/bin/env bash
# The package installed with apt into a throwaway Debian root that
# mmdebstrap makes from this machine's own apt sources and settings, and
# throws away at the end: never onto this machine. Its programs run there,
# lv2ls finds the plugin and lv2info its presets, and removing it leaves
# nothing behind. Recommends are left out, Wine above all: the launcher's
# --help needs none.
#
#   package_install_test.sh PACKAGE.deb
#
# Needs root or user namespaces with subordinate ids (mmdebstrap's root and
# unshare modes); elsewhere it says why and exits 77 (skipped).
set -uo pipefail
deb=$(realpath "$1")
skip() { echo "SKIP: $*"; exit 77; }
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"
if [ "$(id -u)" -eq 0 ]; then
  mode=root
elif grep -q "^$(id -un):" /etc/subuid 2>/dev/null && unshare --user --map-root-user true 2>/dev/null; then
  mode=unshare
else
  skip "a throwaway root needs root, or user namespaces and subordinate ids for $(id -un)"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$file" ] && sources+=("$file")
done
options=()
for file in /etc/apt/apt.conf /etc/apt/apt.conf.d/*; do
  [ -f "$file" ] && options+=(--aptopt="$file")
done
cp "$deb" "$work/package.deb"  # special hooks split their arguments at blanks
sox -n -r 22050 -c 1 -b 16 "$work/in.wav" synth 1 sine 440 2>/dev/null ||
  { echo "FAIL: sox could not make a test sound"; exit 1; }

# Run inside the root, as its root user.
cat >"$work/check.sh" <<'EOF'
set -u
failed=0
check() {  # check TEXT COMMAND...
  text=$1
  shift
  if "$@" >/tmp/said 2>&1; then echo "ok: $text"; else echo "FAIL: $text"; cat /tmp/said; failed=1; fi
}
# Every path but the kernel's, the temporary ones and apt's and dpkg's own.
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp -o -path /var/lib/dpkg \
    -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \) -prune -o -print | sort
}
install() { apt-get install -y -q --no-remove --no-install-recommends /tmp/package.deb >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; exit 1; }; }

packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
snapshot >/tmp/before
packages >/tmp/packages-before
install
check "voxotrope-live --voices lists the factory voices" sh -c 'voxotrope-live --voices | grep -q "^robot .*(built in)"'
check "voxotrope-render --voice renders" voxotrope-render --voice robot /tmp/in.wav /tmp/out.wav
check "lv2ls finds the plugin" sh -c 'lv2ls | grep -qx urn:voxotrope:lv2'
check "lv2info lists its presets" sh -c 'lv2info urn:voxotrope:lv2 | grep -qx "[[:space:]]*robot"'
check "the launcher's --help" sh -c 'voxotrope --help | grep -q -- --virtual-mic'
check "the manual pages are there" test -f /usr/share/man/man1/voxotrope-live.1.gz
dpkg --remove voxotrope >/dev/null
snapshot >/tmp/after
# What apt brought for it stays: the paths of the packages it added, where
# they are on a merged /usr.
packages | comm -13 /tmp/packages-before - | xargs -r dpkg-query -L |
  sed -E 's#^/(bin|sbin|lib|lib64)/#/usr/\1/#' | sort -u >/tmp/theirs
comm -13 /tmp/before /tmp/after | comm -23 - /tmp/theirs >/tmp/left
check "removing it leaves nothing behind" sh -c 'cat /tmp/left; ! test -s /tmp/left'
check "dpkg forgets it" sh -c '! dpkg-query -W -f="\${Status}\n" voxotrope 2>/dev/null | grep -qv not-installed'
exit $failed
EOF

# A hook that fails fails mmdebstrap; the root goes with it (/dev/null).
mmdebstrap --quiet --mode="$mode" --variant=apt --include=lilv-utils "${options[@]}" \
  --aptopt='Acquire::Check-Valid-Until "false"' \
  --customize-hook="copy-in $work/package.deb $work/check.sh $work/in.wav /tmp" \
  --customize-hook='chroot "$1" sh /tmp/check.sh' \
  "$suite" /dev/null "${sources[@]}" 2>&1
status=$?
[ $status -eq 0 ] && echo "PASS" || echo "FAIL: the throwaway root's check (mmdebstrap status $status)"
exit $status
