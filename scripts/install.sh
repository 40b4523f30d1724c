#!/usr/bin/env bash
# Installs or removes the `voxotrope` command for this user (or any prefix):
#
#   install.sh install PREFIX PROGRAM.exe [BUNDLE.lv2] [.../voxotrope-live]
#   install.sh uninstall PREFIX
#
# PREFIX/bin/voxotrope                          the launcher (Wine, own prefix)
# PREFIX/bin/voxotrope-live                     the native PipeWire program, if given
# PREFIX/share/voxotrope/voxotrope.exe          the program
# PREFIX/share/applications/voxotrope.desktop   the menu entry
# PREFIX/share/icons/hicolor/NxN/apps/voxotrope.png, one per size in the icon
# ~/.lv2/voxotrope.lv2                          the LV2 plugin, if given; hosts
#                                               look for the user's plugins there
# ~/.local/share/systemd/user/voxotrope-live.service   with voxotrope-live: the
#                                               unit that its --enable switches on
#
# Called by `scripts/run.sh --install` and `--uninstall`.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
action=${1:-}
prefix=${2:-}
[ -n "$prefix" ] || { echo "usage: install.sh install PREFIX PROGRAM.exe [BUNDLE.lv2] | uninstall PREFIX" >&2; exit 2; }
mkdir -p "$prefix" 2>/dev/null || true
prefix=$(cd "$prefix" 2>/dev/null && pwd) || { echo "install: cannot use $2" >&2; exit 1; }

launcher=$prefix/bin/voxotrope
datadir=$prefix/share/voxotrope
entry=$prefix/share/applications/voxotrope.desktop
icons=$prefix/share/icons/hicolor
marker="# voxotrope launcher:"  # the launcher's own second line
live=$prefix/bin/voxotrope-live
live_marker="Voxotrope microphone"  # in the native program, and not in others of its name
lv2_bundle=$HOME/.lv2/voxotrope.lv2
lv2_uri="<urn:voxotrope:lv2>"  # what our bundle's manifest describes
unit=${XDG_DATA_HOME:-$HOME/.local/share}/systemd/user/voxotrope-live.service
unit_marker="voxotrope-live --enable"  # in our unit's first comment

# A bundle of that name that is not ours is neither replaced nor removed.
foreign_bundle() {
  [ -e "$lv2_bundle" ] && ! grep -qF "$lv2_uri" "$lv2_bundle/manifest.ttl" 2>/dev/null
}

refresh() {  # the desktop's caches, where their tools exist
  command -v update-desktop-database >/dev/null && update-desktop-database -q "$prefix/share/applications" 2>/dev/null
  command -v gtk-update-icon-cache >/dev/null && [ -f "$icons/index.theme" ] && gtk-update-icon-cache -q "$icons" 2>/dev/null
  return 0
}

# The icon by name where the desktop looks for it, else by its path.
icon_reference() {
  local dir
  for dir in ${XDG_DATA_HOME:-$HOME/.local/share} ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}; do
    [ "$(cd "$dir" 2>/dev/null && pwd)" = "$prefix/share" ] && { echo voxotrope; return; }
  done
  echo "$1"
}

# Every image of the .ico as PNG into DIR, named WIDTHxHEIGHT.png.
extract_icons() {
  local ico=$top/resources/bitmaps/voxotrope.ico dir=$1 png size
  if command -v icotool >/dev/null; then
    icotool -x -o "$dir" "$ico"
  elif command -v convert >/dev/null; then
    convert "$ico" "$dir/frame-%d.png"
  else
    echo "install: icotool (icoutils) or convert (imagemagick) is needed for the icon" >&2
    return 1
  fi
  for png in "$dir"/*.png; do
    size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
    mv "$png" "$dir/$size.png.tmp"
  done
  for png in "$dir"/*.png.tmp; do mv "$png" "${png%.tmp}"; done
}

case $action in
  install)
    exe=${3:-}
    # Further files are known by their names.
    bundle="" live_program=""
    for extra in "${@:4}"; do
      case ${extra%/} in
        *.lv2) bundle=$extra ;;
        */voxotrope-live) live_program=$extra ;;
      esac
    done
    [ -z "$live_program" ] || [ -x "$live_program" ] || { echo "install: no program at '$live_program'" >&2; exit 1; }
    if [ -n "$live_program" ] && [ -e "$live" ] && ! grep -qaF "$live_marker" "$live"; then
      echo "install: $live exists and is not Voxotrope's; left alone" >&2
      exit 1
    fi
    [ -f "$exe" ] || { echo "install: no program at '$exe'" >&2; exit 1; }
    [ -z "$bundle" ] || [ -f "$bundle/manifest.ttl" ] || { echo "install: no LV2 bundle at '$bundle'" >&2; exit 1; }
    if [ -f "$launcher" ] && ! grep -q "^$marker" "$launcher"; then
      echo "install: $launcher exists and is not a Voxotrope launcher; left alone" >&2
      exit 1
    fi
    if [ -n "$bundle" ] && foreign_bundle; then
      echo "install: $lv2_bundle exists and is not the Voxotrope plugin; left alone" >&2
      exit 1
    fi
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    extract_icons "$work"
    mkdir -p "$prefix/bin" "$datadir" "$(dirname "$entry")"
    install -m 0644 "$exe" "$datadir/voxotrope.exe"
    text=$(<"$top/tools/launcher/voxotrope.sh")
    printf '%s\n' "${text//@DATADIR@/"$(printf '%q' "$datadir")"}" >"$work/launcher"
    install -m 0755 "$work/launcher" "$launcher"
    icon=""
    for png in "$work"/*.png; do
      size=$(basename "$png" .png)
      mkdir -p "$icons/$size/apps"
      install -m 0644 "$png" "$icons/$size/apps/voxotrope.png"
      icon=$icons/$size/apps/voxotrope.png  # the largest comes last
    done
    exec_line=$launcher
    [[ $launcher == *[[:space:]\"\'\\]* ]] && exec_line="\"${launcher//\"/\\\"}\""
    text=$(<"$top/tools/launcher/voxotrope.desktop")
    text=${text//@LAUNCHER@/"$exec_line"}
    printf '%s\n' "${text//@ICON@/"$(icon_reference "$icon")"}" >"$work/entry"
    install -m 0644 "$work/entry" "$entry"
    if [ -n "$live_program" ]; then
      install -m 0755 "$live_program" "$live"
      if [ -e "$unit" ] && ! grep -qF "$unit_marker" "$unit"; then
        echo "install: $unit is not Voxotrope's; left alone" >&2
      else
        text=$(<"$top/tools/live/voxotrope-live.service.in")
        mkdir -p "$(dirname "$unit")"
        printf '%s\n' "${text//@BINDIR@\/voxotrope-live/"\"${live//\"/\\\"}\""}" >"$unit"
      fi
    fi
    if [ -n "$bundle" ]; then
      rm -rf "$lv2_bundle"
      mkdir -p "$lv2_bundle"
      install -m 0644 "$bundle"/*.ttl "$bundle"/*.so "$lv2_bundle/"
    fi
    refresh
    echo "Installed Voxotrope in $prefix:"
    echo "  $launcher"
    echo "  $datadir/voxotrope.exe"
    echo "  $entry"
    echo "  $icon"
    [ -z "$live_program" ] || echo "  $live"
    [ -z "$live_program" ] || echo "  $unit (voxotrope-live --enable starts it at every login)"
    [ -z "$bundle" ] || echo "  $lv2_bundle (the LV2 plugin)"
    case ":$PATH:" in
      *":$prefix/bin:"*) ;;
      *) echo "$prefix/bin is not on your PATH: add it, or run $launcher" ;;
    esac
    ;;
  uninstall)
    if [ -f "$launcher" ]; then
      if grep -q "^$marker" "$launcher"; then rm -f "$launcher"
      else echo "install: $launcher is not a Voxotrope launcher; left alone" >&2
      fi
    fi
    rm -f "$datadir/voxotrope.exe" "$entry" "$icons"/*/apps/voxotrope.png
    if [ -e "$live" ]; then
      if grep -qaF "$live_marker" "$live"; then rm -f "$live"
      else echo "install: $live is not Voxotrope's; left alone" >&2
      fi
    fi
    if [ -e "$unit" ] && grep -qF "$unit_marker" "$unit" && grep -qF "$live" "$unit"; then rm -f "$unit"; fi
    if foreign_bundle; then echo "install: $lv2_bundle is not the Voxotrope plugin; left alone" >&2
    else rm -rf "$lv2_bundle"
    fi
    rmdir "$datadir" 2>/dev/null || true
    refresh
    # The menu's cache of a folder that holds no entry any more was made for
    # ours alone.
    ls "$prefix/share/applications/"*.desktop >/dev/null 2>&1 || rm -f "$prefix/share/applications/mimeinfo.cache"
    echo "Removed Voxotrope from $prefix."
    wineprefix=${XDG_DATA_HOME:-$HOME/.local/share}/voxotrope/wineprefix
    [ -d "$wineprefix" ] && echo "Its Wine prefix stays in $wineprefix; remove that folder to free its space."
    ;;
  *) echo "usage: install.sh install PREFIX PROGRAM.exe [BUNDLE.lv2] | uninstall PREFIX" >&2; exit 2 ;;
esac
exit 0
