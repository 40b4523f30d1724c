#!/usr/bin/env bash
# Builds the Debian package build/package/voxotrope_VERSION_amd64.deb and
# checks it with lintian:
#
#   /usr/bin/voxotrope                      the launcher (the Windows program under Wine)
#   /usr/bin/voxotrope-live, voxotrope-render
#   /usr/share/voxotrope/voxotrope.exe      the Windows program
#   /usr/lib/lv2/voxotrope.lv2              the LV2 plugin with its presets
#   /usr/lib/systemd/user/voxotrope-live.service
#   the desktop entry, its icons, manual pages, copyright and changelog
#
# The shared libraries it needs come from dpkg-shlibdeps; what no binary can
# tell (Wine for the launcher, a PipeWire server) is recommended by hand.
# Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
"$top/scripts/deps.sh" package

version=$(sed -n 's/^project(Voxotrope VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
out=$top/build/package
root=$out/root
deb=$out/voxotrope_${version}_${arch}.deb

# The Windows program as scripts/run.sh builds it; the native tools as
# scripts/test.sh does (Release), with Debian's hardening on top.
cmake -S "$top" -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-x86_64.cmake" -DVOXOTROPE_COMPILE_ONLY=ON >/dev/null
cmake --build build/release --target voxotrope
exe=build/release/voxotrope.exe
native=$out/native
cmake -S "$top" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOXOTROPE_INSTALLED_ONLY=ON \
  -DCMAKE_CXX_FLAGS="-fstack-protector-strong -D_FORTIFY_SOURCE=2" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" -DCMAKE_MODULE_LINKER_FLAGS="-Wl,-z,relro,-z,now" >/dev/null
cmake --build "$native"

rm -rf "$root" "$out"/*.deb
umask 022
stripped() {  # stripped MODE FROM TO: as Debian's own packages strip them
  install -D -m "$1" "$2" "$3"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$3"
}
stripped 0755 "$native/tools/live/voxotrope-live" "$root/usr/bin/voxotrope-live"
stripped 0755 "$native/tools/render/voxotrope-render" "$root/usr/bin/voxotrope-render"
bundle=$root/usr/lib/lv2/voxotrope.lv2
for ttl in "$native"/lv2/voxotrope.lv2/*.ttl; do install -D -m 0644 "$ttl" "$bundle/${ttl##*/}"; done
stripped 0644 "$native/lv2/voxotrope.lv2/voxotrope.so" "$bundle/voxotrope.so"
install -D -m 0644 "$exe" "$root/usr/share/voxotrope/voxotrope.exe"

text=$(<tools/launcher/voxotrope.sh)
printf '%s\n' "${text//@DATADIR@//usr/share/voxotrope}" >"$out/voxotrope"
install -D -m 0755 "$out/voxotrope" "$root/usr/bin/voxotrope"
text=$(<tools/live/voxotrope-live.service.in)
printf '%s\n' "${text//@BINDIR@//usr/bin}" >"$out/voxotrope-live.service"
install -D -m 0644 "$out/voxotrope-live.service" "$root/usr/lib/systemd/user/voxotrope-live.service"
text=$(<tools/launcher/voxotrope.desktop)
text=${text//@LAUNCHER@/voxotrope}
printf '%s\n' "${text//@ICON@/voxotrope}" >"$out/voxotrope.desktop"
install -D -m 0644 "$out/voxotrope.desktop" "$root/usr/share/applications/voxotrope.desktop"

# Every image of the program's icon, by its size.
rm -rf "$out/icons" && mkdir -p "$out/icons"
icotool -x -o "$out/icons" resources/bitmaps/voxotrope.ico
for png in "$out"/icons/*.png; do
  size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }')
  install -D -m 0644 "$png" "$root/usr/share/icons/hicolor/$size/apps/voxotrope.png"
done

for page in tools/launcher/voxotrope.1 tools/live/voxotrope-live.1 tools/render/voxotrope-render.1; do
  install -d "$root/usr/share/man/man1"
  gzip -9n <"$page" >"$root/usr/share/man/man1/${page##*/}.gz"
done
doc=$root/usr/share/doc/voxotrope
install -D -m 0644 scripts/package/copyright "$doc/copyright"
# The changelog of a package made from this tree: its version and the date
# of its last commit, so that two builds of one commit are the same.
when=$(git log -1 --format=%cD 2>/dev/null || date -R)
printf 'voxotrope (%s) unstable; urgency=medium\n\n  * Built from the Voxotrope source tree by scripts/package.sh.\n\n -- %s  %s\n' \
  "$version" "$(sed -n 's/^Maintainer: //p' scripts/package/control.in)" "$when" | gzip -9n >"$doc/changelog.gz"
chmod 0644 "$doc/changelog.gz"

# dpkg-shlibdeps wants a source tree's debian/control; one of its own.
mkdir -p "$out/debian" "$root/DEBIAN"
printf 'Source: voxotrope\n\nPackage: voxotrope\nArchitecture: any\n' >"$out/debian/control"
depends=$(cd "$out" && dpkg-shlibdeps -O --warnings=7 \
  -e"$root/usr/bin/voxotrope-live" -e"$root/usr/bin/voxotrope-render" -e"$bundle/voxotrope.so" |
  sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends/" -e "s/@SIZE@/$size/" \
  scripts/package/control.in >"$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s) \
  dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
# Errors fail; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "$deb"
