#!/usr/bin/env bash
# Installs into a temporary prefix (with a blank in its path), runs the
# installed launcher with a stand-in for wine that notes how it was called,
# and uninstalls again.
# Usage: test_install.sh PROGRAM.exe
set -uo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check TEXT COMMAND...
  local text=$1
  shift
  if "$@"; then echo "ok: $text"; else echo "FAIL: $text"; failures=$((failures + 1)); fi
}

export HOME=$work/home XDG_DATA_HOME=$work/data XDG_DATA_DIRS=/usr/share
mkdir -p "$HOME"
prefix="$work/my prefix"
install=$top/scripts/install.sh
# Stand-ins: install.sh only copies the plugin bundle, and knows
# voxotrope-live by its name and the source's name inside.
bundle=$work/build/voxotrope.lv2
mkdir -p "$bundle"
printf '<urn:voxotrope:lv2> a <http://lv2plug.in/ns/lv2core#Plugin> .\n' >"$bundle/manifest.ttl"
echo plugin >"$bundle/voxotrope.ttl"
echo binary >"$bundle/voxotrope.so"
live=$work/build/voxotrope-live
printf '#!/bin/sh\n# Voxotrope microphone\n' >"$live"
chmod +x "$live"
"$install" install "$prefix" "$exe" "$bundle" "$live" >"$work/install.log" 2>&1
check "install succeeds" test $? -eq 0
check "plugin bundle copied into ~/.lv2" diff -r "$bundle" "$HOME/.lv2/voxotrope.lv2"
check "voxotrope-live installed beside the launcher" cmp -s "$live" "$prefix/bin/voxotrope-live"
unit=$XDG_DATA_HOME/systemd/user/voxotrope-live.service
check "its user unit runs it, quoted for the blank" grep -qxF "ExecStart=\"$prefix/bin/voxotrope-live\"" "$unit"

launcher=$prefix/bin/voxotrope
entry=$prefix/share/applications/voxotrope.desktop
icon=$prefix/share/icons/hicolor/32x32/apps/voxotrope.png
check "launcher is executable" test -x "$launcher"
check "program copied unchanged" cmp -s "$exe" "$prefix/share/voxotrope/voxotrope.exe"
check "icon is a 32 x 32 PNG" sh -c "file '$icon' | grep -q 'PNG image data, 32 x 32'"
key() { sed -n "0,/^\[Desktop Action/s/^$1=//p" "$entry"; }
check "entry runs the launcher, quoted for the blank" test "$(key Exec)" = "\"$launcher\""
check "entry names the icon by path outside the data folders" test "$(key Icon)" = "$icon"
check "entry offers the virtual microphone" grep -qx "Exec=\"$launcher\" --virtual-mic" "$entry"
if command -v desktop-file-validate >/dev/null; then
  check "entry passes desktop-file-validate" desktop-file-validate "$entry"
fi

# The stand-in: "wineboot -i" makes the prefix, anything else is the program.
stub=$work/wine
cat >"$stub" <<'STUB'
#!/bin/sh
echo "$WINEPREFIX|$*" >>"$STUB_CALLS"
[ "$1" = wineboot ] && mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/system.reg"
exit 0
STUB
chmod +x "$stub"
export VOXOTROPE_WINE=$stub STUB_CALLS=$work/calls

wineprefix=$XDG_DATA_HOME/voxotrope/wineprefix
"$launcher"
check "first run makes the prefix in XDG_DATA_HOME, then runs the installed program" \
  test "$(cat "$work/calls")" = "$wineprefix|wineboot -i
$wineprefix|$prefix/share/voxotrope/voxotrope.exe"
: >"$work/calls"
"$launcher"
check "second run only runs the program" test "$(cat "$work/calls")" = "$wineprefix|$prefix/share/voxotrope/voxotrope.exe"
: >"$work/calls"
(unset XDG_DATA_HOME; "$launcher")
check "without XDG_DATA_HOME the prefix is under ~/.local/share" \
  grep -q "^$HOME/.local/share/voxotrope/wineprefix|wineboot -i" "$work/calls"
: >"$work/calls"
"$launcher" --frobnicate 2>/dev/null
check "an unknown option is refused" test $? -eq 2
check "and nothing is run" test ! -s "$work/calls"

"$install" install "$prefix" "$exe" >/dev/null 2>&1
check "installing again over an installation succeeds" test $? -eq 0

# A prefix among the data folders gets the icon by name.
home_prefix=$HOME/.local
XDG_DATA_HOME=$home_prefix/share "$install" install "$home_prefix" "$exe" >/dev/null 2>&1
check "entry names the icon by name inside the data folders" \
  grep -qx "Icon=voxotrope" "$home_prefix/share/applications/voxotrope.desktop"

"$install" uninstall "$prefix" >/dev/null 2>&1
check "uninstall succeeds" test $? -eq 0
check "uninstall removes every installed file" \
  test -z "$(find "$prefix" -type f)"
check "uninstall keeps the Wine prefix" test -f "$wineprefix/system.reg"
check "uninstall removes the plugin bundle" test ! -e "$HOME/.lv2/voxotrope.lv2"
check "uninstall removes its user unit" test ! -e "$unit"

# Someone else's command of the same name is neither replaced nor removed.
mkdir -p "$work/other/bin"
echo "#!/bin/sh" >"$work/other/bin/voxotrope"
"$install" install "$work/other" "$exe" >/dev/null 2>&1
check "install refuses to replace a foreign voxotrope" test $? -ne 0
"$install" uninstall "$work/other" >/dev/null 2>&1
check "uninstall leaves a foreign voxotrope" test -f "$work/other/bin/voxotrope"
rm "$work/other/bin/voxotrope"
echo "#!/bin/sh" >"$work/other/bin/voxotrope-live"
"$install" install "$work/other" "$exe" "$live" >/dev/null 2>&1
check "install refuses to replace a foreign voxotrope-live" test $? -ne 0
"$install" uninstall "$work/other" >/dev/null 2>&1
check "uninstall leaves a foreign voxotrope-live" test -f "$work/other/bin/voxotrope-live"
mkdir -p "$HOME/.lv2/voxotrope.lv2"
echo "<urn:someone-else>" >"$HOME/.lv2/voxotrope.lv2/manifest.ttl"
"$install" install "$prefix" "$exe" "$bundle" >/dev/null 2>&1
check "install refuses to replace a foreign voxotrope.lv2" test $? -ne 0
"$install" uninstall "$prefix" >/dev/null 2>&1
check "uninstall leaves a foreign voxotrope.lv2" grep -q someone-else "$HOME/.lv2/voxotrope.lv2/manifest.ttl"

echo "$failures failure(s)"
[ $failures -eq 0 ]
