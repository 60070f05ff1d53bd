#!/usr/bin/env bash
# Starts Tintwright.exe under Wine with the Japanese locale. Without a display it runs under a
# private Xvfb (nothing is visible then; stop it with Ctrl+C).
set -euo pipefail
cd "$(dirname "$0")/.."
arch=$(scripts/wine-arch.sh)
exe=build/$arch/Tintwright.exe
if [ "$arch" = win64 ]; then
  echo "run: this host cannot run 32-bit programs; starting the 64-bit build of the same sources"
fi
# Wine reports every file dialog's look at the root folder ("Read access denied for
# device Z:\"); that stays off the terminal unless WINEDEBUG asks for Wine's diagnostics.
quiet() {
  if [ -n "${WINEDEBUG:-}" ]; then
    "$@"
  else
    "$@" 2> >(grep -v 'Read access denied for device' >&2)
  fi
}
if [ -n "${DISPLAY:-}" ]; then
  TW_USE_DISPLAY=1 quiet "build/$arch/wine-run.sh" "$exe"
  exit
fi
echo "run: no display is set; Tintwright runs under a private Xvfb"
quiet "build/$arch/wine-run.sh" "$exe"
