# Sourced wherever the project starts Wine. The program is 64-bit and runs
# with Wine's 64-bit loader, called directly: the `wine` wrapper prefers the
# 32-bit loader whenever 32-bit Wine is installed, and that fails on machines
# that cannot execute 32-bit code. WINELOADER names the loader for the
# processes Wine starts itself.
#
#   wine ARGS...       the 64-bit loader: `wine PROGRAM.exe`, `wine reg ...`
#   wineboot ARGS...   `wine wineboot ARGS...`
#   wine_available     true when a Wine is installed (once this file is
#                      sourced, `command -v wine` finds the function instead)

wine_find_loader() {
  local candidate
  for candidate in /usr/lib/wine/wine64 /usr/lib64/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64 \
                   /opt/wine-stable/bin/wine64 "$(command -v wine64 2>/dev/null)"; do
    [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
  done
  return 1
}

if WINELOADER=$(wine_find_loader); then
  export WINELOADER
else
  unset WINELOADER  # no separate 64-bit loader here: the wrapper is all there is
fi
wine() { "${WINELOADER:-wine}" "$@"; }
wineboot() { wine wineboot "$@"; }
wine_available() { [ -n "${WINELOADER:-}" ] || type -P wine >/dev/null; }
