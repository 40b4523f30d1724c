#!/usr/bin/env bash
# Pictures the demo's page as a browser shows it: headless Chromium opens
# DEMO-DIR/index.html from file:// and the picture is cut below the page's
# end. Installs Chromium first if it is missing (scripts/deps.sh page).
#
#   tools/demo-page-shot.sh [DEMO-DIR] [PICTURE]   (build/demo, docs/demo-page.png)
#
# Run the demo first: scripts/run.sh --demo.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
page=$(cd "${1:-$top/build/demo}" && pwd)/index.html
picture=${2:-$top/docs/demo-page.png}
[ -f "$page" ] || { echo "demo-page-shot: no $page; scripts/run.sh --demo makes it" >&2; exit 1; }
"$top/scripts/deps.sh" page

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A window taller than the page; no profile, sync or updates of the user's.
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
  --disable-component-update --disable-sync --no-first-run --hide-scrollbars \
  --user-data-dir="$work/profile" --window-size=1200,6000 --screenshot="$work/window.png" \
  "file://$page" >"$work/chromium.log" 2>&1 ||
  { cat "$work/chromium.log" >&2; exit 1; }
# Everything that is not the page's background colour ends where the content
# ends; the bottom keeps the page's own margin.
read -r height bottom < <(convert "$work/window.png" -format '%h %@' info: |
  awk '{ split($2, g, /[x+]/); print $1, g[2] + g[4] + 24 }')
[ "$bottom" -lt "$height" ] || echo "demo-page-shot: the page may be longer than the picture" >&2
convert "$work/window.png" -crop "1200x$bottom+0+0" +repage -dither None -colors 256 "PNG8:$picture"
echo "demo-page-shot: $picture"
