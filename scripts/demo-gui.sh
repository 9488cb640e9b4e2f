#!/usr/bin/env bash
# The GUI demo, `./run demo --gui`: koushin.exe under Wine on the demo media, updating a fresh copy
# of the demo installation at C:\EST in a Wine prefix of its own (build/wine-demo), the media as D:, with the demo's
# uninstall entry in its registry so the destination step is prefilled. Needs a display.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

if [ -z "${DISPLAY:-}" ]; then
  echo "demo-gui: no display (DISPLAY is not set). Run it from a desktop session, or try:"
  echo "  Xvfb :5 -screen 0 1024x768x24 & DISPLAY=:5 ./run demo --gui"
  echo "The test stage's screenshots of every screen are in build/screenshots/ after ./run test."
  exit 0
fi

cmake --preset mingw64 >/dev/null
cmake --build build/mingw64 --parallel "$JOBS" --target koushin >/dev/null
EXE=build/mingw64/app/win32/koushin.exe
[ -f "$EXE" ] || { echo "demo-gui: koushin.exe could not be built" >&2; exit 1; }

export WINEPREFIX=$ROOT/build/wine-demo
. scripts/wine-env.sh
. scripts/gui-wine.sh
koushin_wine_prefix
LC_ALL=$(koushin_wine_locale ja)
export LC_ALL

DEMO=$ROOT/build/demo-gui
rm -rf "$DEMO" "$WINEPREFIX/drive_c/EST"
mkdir -p "$DEMO"
cp -r examples/demo-media "$DEMO/media"
cp "$EXE" "$DEMO/media/"
cp -r examples/demo-install/EST "$WINEPREFIX/drive_c/EST"
cp -r examples/demo-install/EST "$DEMO/before"
koushin_gui_registry "$DEMO/gui.reg"
# The demo's uninstall entry (REGEDIT4, code page 932, read as such under the Japanese locale).
cp examples/demo-registry.reg "$DEMO/"
"$WINE64" regedit /S "Z:${DEMO//\//\\}\\demo-registry.reg" >/dev/null 2>&1

# The media are drive D:, as a CD is.
ln -sfn "$DEMO/media" "$WINEPREFIX/dosdevices/d:"
echo "demo-gui: koushin.exe on D:\\ ($DEMO/media); the installation is C:\\EST ($WINEPREFIX/drive_c/EST)"
"$WINE64" 'D:\koushin.exe' || true
"$WINESERVER" -w 2>/dev/null || true

echo "demo-gui: files changed in C:\\EST:"
diff -rq "$DEMO/before" "$WINEPREFIX/drive_c/EST" | sed "s|$DEMO/before|before|; s|$WINEPREFIX/drive_c/EST|C:\\\\EST|" || true
