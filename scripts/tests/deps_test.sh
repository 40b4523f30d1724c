#!/usr/bin/env bash
# scripts/deps.sh against stand-in dpkg-query, apt-get and sudo on three
# machines (a bare server, a GNOME desktop on PipeWire, a desktop on
# PulseAudio): what it asks apt for, that every install runs with
# --no-remove, and the one line it gives when apt refuses.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
cat "$STANDIN_MACHINE"
STUB
# Calls are logged; STANDIN_REMOVES makes an install refuse as apt does
# with --no-remove.
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STANDIN_LOG"
case " $* " in
  *" install "*" --no-remove "*)
    [ -z "$STANDIN_REMOVES" ] && exit 0
    printf 'The following packages will be REMOVED:\n  %s\n' "$STANDIN_REMOVES"
    echo "The following NEW packages will be installed:"
    echo "  pulseaudio"
    echo "E: Packages need to be removed but remove is disabled."
    exit 100 ;;
esac
exit 0
STUB
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

row() { printf '%s\tinstall ok installed\t%s\n' "$1" "${2:-, }"; }
base() { for p in base-files bash coreutils dpkg apt; do row $p; done; }
{ base; } >"$work/bare"
{ base; row pipewire-audio "pulseaudio, pulseaudio-module-bluetooth, "
  row pulseaudio-utils ", pulseaudio (<< 14.2-3~)"
  for p in pipewire pipewire-pulse wireplumber dbus gnome-core; do row $p; done; } >"$work/gnome"
{ base; row pulseaudio; row pulseaudio-utils ", pulseaudio (<< 14.2-3~)"; row dbus; } >"$work/pulse"

export STANDIN_LOG=$work/apt.log STANDIN_REMOVES=""
deps() {  # deps MACHINE LIST: runs deps.sh; what it asked apt to install, in $asked
  rm -f "$STANDIN_LOG"
  STANDIN_MACHINE=$work/$1 PATH="$work/bin:$PATH" "$top/scripts/deps.sh" "$2" >"$work/out" 2>&1
  code=$?
  asked=" $(grep -E '(^| )install ' "$STANDIN_LOG" 2>/dev/null | tr '\n' ' ') "
  bare_install=$(grep -E '(^| )install ' "$STANDIN_LOG" 2>/dev/null | grep -v -- '--no-remove')
}

# machine list | asked for | not asked for
while IFS='|' read -r machine list yes no; do
  deps "$machine" "$list"
  bad=()
  [ $code -eq 0 ] || bad+=("exit $code")
  [ -z "$bare_install" ] || bad+=("without --no-remove: $bare_install")
  for p in $yes; do [[ $asked == *" $p "* ]] || bad+=("no $p"); done
  for p in $no; do [[ $asked == *" $p "* ]] && bad+=("asked for $p"); done
  [ ${#bad[@]} -eq 0 ] && echo "ok: $machine, $list:$(sed 's/^/ /' "$work/out" | grep -v '^ Installing' | tr '\n' ';') apt-get${asked% }" ||
    fail "$machine, $list: ${bad[*]}; asked for$asked"
done <<'TABLE'
bare|test|pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus wine64 xvfb|
bare|run|pulseaudio pulseaudio-utils wine64|pipewire
gnome|run|wine64 xvfb|pulseaudio pulseaudio-utils pipewire
gnome|demo|xdotool sox|pulseaudio
gnome|test|xdotool googletest|pulseaudio pulseaudio-utils pipewire-pulse wireplumber
pulse|test|pipewire pipewire-pulse wireplumber xdotool|pulseaudio pulseaudio-utils dbus
pulse|run|wine64|pulseaudio pipewire
TABLE

deps gnome run
grep -qx "Not installing pulseaudio: the installed pipewire-audio conflicts with it; using pipewire, pipewire-pulse, wireplumber, dbus instead" "$work/out" ||
  fail "gnome: no word of why pulseaudio is left out: $(cat "$work/out")"

# apt refuses (a conflict dpkg's data did not show): deps.sh fails and names
# what is in the way in one line.
STANDIN_REMOVES="pipewire-audio gnome-core" deps gnome run
line=$(grep '^deps.sh:' "$work/out")
[ $code -ne 0 ] && [ "$(grep -c '^deps.sh:' "$work/out")" -eq 1 ] && [[ $line == *"remove pipewire-audio gnome-core"* ]] &&
  echo "ok: refused: $line" || fail "refused: exit $code, $(cat "$work/out")"

echo "$failures failure(s)"
[ $failures -eq 0 ]
