#!/usr/bin/env bash
# The Windows GUI stage: koushin.exe under Wine on a private Xvfb display, walked by the Win32
# driver program (tests/gui/driver.cpp) through its scenarios, with PNG screenshots of every
# screen under build/screenshots/. Also builds the i686 wizard and checks that it stays under 1 MB.
# A stage that cannot run (no cross compiler, no Xvfb, no free display) fails: ./run installs
# what it needs. KOUSHIN_GUI_ONLY=NAME runs that one scenario, without the i686 build (the
# any-path stage uses it).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

ONLY=${KOUSHIN_GUI_ONLY:-}

cannot_run() {
  echo "test-gui: FAIL cannot run: $*" >&2
  exit 1
}

command -v x86_64-w64-mingw32-g++-posix >/dev/null || cannot_run "mingw-w64 is not installed"
for tool in Xvfb import iconv convert; do
  command -v "$tool" >/dev/null || cannot_run "$tool is not installed"
done

# --- Build: the x86_64 wizard and driver (they run here), the i686 wizard (the shipped one).
cmake --preset mingw64 >/dev/null
cmake --build build/mingw64 --parallel "$JOBS" --target koushin koushin_gui_driver >/dev/null
# The native console wizard: the demo update's bytes are compared with its.
cmake --preset native >/dev/null
cmake --build build/native --parallel "$JOBS" --target koushin_console >/dev/null
if [ -z "$ONLY" ]; then
  cmake --preset mingw32 >/dev/null
  cmake --build build/mingw32 --parallel "$JOBS" --target koushin >/dev/null
  size=$(stat -c %s build/mingw32/app/win32/koushin.exe)
  if [ "$size" -ge 1048576 ]; then
    echo "test-gui: FAIL the i686 koushin.exe is $size bytes, not under 1 MB" >&2
    exit 1
  fi
  echo "test-gui: i686 koushin.exe is $size bytes"
fi

# --- Wine: the shared prefix, Japanese fonts for the dialog fonts, a virtual desktop for the
# wizard and the driver (title bars in the screenshots), ANSI code page 932.
. scripts/wine-env.sh
. scripts/gui-wine.sh
koushin_wine_prefix
LC_ALL=$(koushin_wine_locale ja)
export LC_ALL

WORK=$ROOT/build/gui-test
SHOTS=$ROOT/build/screenshots
rm -rf "$WORK" "$SHOTS"
mkdir -p "$WORK" "$SHOTS"

# Windows path of a host path, through drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }


# --- The media: info.txt from the template (code page 932), pictures, koushin.exe beside them.
make_media() {  # folder key key2 masterAdjust
  local folder=$WORK/$1
  mkdir -p "$folder"
  sed -e "s/@KEY@/$2/" -e "s/@KEY2@/$3/" -e "s/@MASTER@/$4/" tests/gui/info-template.txt |
    sed 's/$/\r/' | iconv -f UTF-8 -t CP932 >"$folder/info.txt"
  cp build/mingw64/app/win32/koushin.exe "$folder/"
  cp "$WORK"/pictures/*.BMP "$folder/"
}
mkdir -p "$WORK/pictures"
convert -size 1024x768 gradient:'#2a5d9f-#c8dcf0' -type truecolor BMP3:"$WORK/pictures/VIEW.BMP"
for name in NOTICE DEST CONFIRM; do
  convert -size 40x40 plasma:fractal -seed 7 -colors 64 -type palette BMP3:"$WORK/pictures/$name.BMP"
done
TITLE='見積システム 更新'
make_media media-update "$TITLE" '' 0
make_media media-prefill "$TITLE" koushin-gui-test 1
# An info.txt that cannot be used: line 44 names a file of 32 bytes, one more than a column holds.
make_media media-invalid "$TITLE" '' 1
printf '1,0,README.TXT,\\\r\n1,0,%s,\\\r\n' "$(printf 'A%.0s' $(seq 32))" \
  >>"$WORK/media-invalid/info.txt"
# Cut short after 20 lines (as a damaged disk gives it), and missing: said, and nothing runs.
make_media media-short "$TITLE" '' 1
head -n 20 "$WORK/media-short/info.txt" >"$WORK/media-short/cut" &&
  mv "$WORK/media-short/cut" "$WORK/media-short/info.txt"
make_media media-none "$TITLE" '' 1
rm "$WORK/media-none/info.txt"
# A folder whose name code page 932 cannot spell: said, and the program ends.
make_media media-é "$TITLE" '' 1

# Drive E: with a small tree to browse, and an installation-like folder that must stay untouched.
mkdir -p "$WORK/drive-e/EST" "$WORK/drive-e/ソフト/SUB" "$WORK/drive-e/表計算"
printf '[SYSTEM]\r\nTITLE=x\r\n' >"$WORK/drive-e/EST/tamiro1.ini"
ln -sfn "$WORK/drive-e" "$WINEPREFIX/dosdevices/e:"
# No scenario may write there (they cancel, refuse the media, or fail the check on E:\EST).
drive_e_state() {
  (cd "$WORK/drive-e" && find . -printf '%p %s %T@ %m\n' -type f -exec md5sum {} +) | sort
}
drive_e_state >"$WORK/drive-e.before"

# --- The scenarios, one a line, TAB-separated (see tests/gui/driver.cpp).
exe() { winpath "$WORK/$1/koushin.exe"; }
NOTICE_TEXT='この更新は見積システムを新しい版にします。\n更新の前にすべての業務を終了して下さい。\nソフト表示能力の確認：表・ソ・能'
{
  printf 'cancel\t%s\t%s\t%s\t%s\n' "$(exe media-prefill)" "$TITLE" "$NOTICE_TEXT" 'C:\APPS\見積'
  printf 'browse\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(exe media-update)" 'C:\見積' '[-e-]' \
    '[ソフト]' '[SUB]' 'e:\' 'e:\ソフト' 'アップデート'
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-invalid)" 'info.txt の 44 行目が正しくありません。' invalid
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-short)" 'info.txt の 21 行目が正しくありません。' \
    invalid-short
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-none)" 'info.txt を読み込めません。' invalid-none
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-é)" 'プログラムのフォルダ名に使えない文字があります。' \
    invalid-folder
} >"$WORK/scenarios.txt"

# The demo update: drive K: holds a copy of the installation, whose master folder setting is moved
# from C: to K: with it. The first try names E:\EST, which holds the system's INI file but not the
# product's marker files.
DEMO=$WORK/demo
mkdir -p "$DEMO/gui" "$DEMO/console" "$DEMO/c/WINDOWS"
cp -r examples/demo-media "$DEMO/media"
cp build/mingw64/app/win32/koushin.exe "$DEMO/media/"
for copy in gui console; do
  cp -r examples/demo-install/EST "$DEMO/$copy/EST"
  sed -i 's/C:\\EST\\MASTER\\/K:\\EST\\MASTER\\/' "$DEMO/$copy/EST/tamiro1.ini"
done
ln -sfn "$DEMO/gui" "$WINEPREFIX/dosdevices/k:"
# The demo media are drive D:, as a CD is: the guide's screenshots of the run show D:\ paths.
ln -sfn "$DEMO/media" "$WINEPREFIX/dosdevices/d:"
printf 'update\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' 'D:\koushin.exe' 'K:\EST' \
  'システムは正常に更新されました。' update-progress update-done 'E:\EST' \
  'このバージョンへの更新はできません。' >>"$WORK/scenarios.txt"
# The same media again on the updated installation: the one message says it is current, and the
# wizard ends with nothing written.
printf 'update\t%s\t%s\t%s\t%s\t%s\n' 'D:\koushin.exe' 'K:\EST' \
  'このシステムは既に 8.1S に更新されています。' update-current update-current >>"$WORK/scenarios.txt"

# A run that stops: drive L: holds another copy of the installation, the media a damaged archive.
# After the failure message the wizard puts the installation back and says so.
RESTORE=$WORK/restore
mkdir -p "$RESTORE/l"
cp -r examples/demo-media "$RESTORE/media"
# Without the disk's file list, which would refuse the damaged archive before the run begins.
rm "$RESTORE/media/koushin.sha256"
head -c 60 examples/demo-media/PROGRAM.lzh >"$RESTORE/media/PROGRAM.lzh"
cp build/mingw64/app/win32/koushin.exe "$RESTORE/media/"
cp -r examples/demo-install/EST "$RESTORE/l/EST"
cp -r examples/demo-install/EST "$RESTORE/before"
ln -sfn "$RESTORE/l" "$WINEPREFIX/dosdevices/l:"
# Its media are drive F:, so that its screenshot too shows a user's path.
ln -sfn "$RESTORE/media" "$WINEPREFIX/dosdevices/f:"
printf 'restore\t%s\t%s\t%s\t%s\t%s\n' 'F:\koushin.exe' 'L:\EST' \
  '更新前の状態に戻しました。' update-failed update-restored >>"$WORK/scenarios.txt"
if [ -n "$ONLY" ]; then
  grep -a "^$ONLY"$'\t' "$WORK/scenarios.txt" >"$WORK/only.txt" || cannot_run "no scenario $ONLY"
  mv "$WORK/only.txt" "$WORK/scenarios.txt"
fi

# --- A private X display.
display=
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || cannot_run "no free X display number"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
xvfb_pid=$!
# The drive letters D:, E:, F:, K: and L: are ours only while the stage runs.
cleanup() {
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/e:" "$WINEPREFIX/dosdevices/f:" \
    "$WINEPREFIX/dosdevices/k:" "$WINEPREFIX/dosdevices/l:"
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=:$display

# Three Wine starts: the registry set-up, the uninstall entry, the driver with every scenario.
koushin_gui_registry "$WORK/gui.reg"
"$WINE64" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\koushin-gui-test' \
  /v UninstallString /d 'C:\UNINST.EXE -fC:\APPS\見積\SETUP.LOG -y' /f >/dev/null 2>&1

set +e
"$WINE64" build/mingw64/tests/gui/koushin_gui_driver.exe "$(winpath "$SHOTS")" \
  "$(winpath "$WORK/scenarios.txt")" 2>"$WORK/driver.stderr" |
  while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in
      "SHOT "*)
        name=${line#SHOT }
        import -display ":$display" -window root "png:$SHOTS/$name.tmp" &&
          mv "$SHOTS/$name.tmp" "$SHOTS/$name.png"
        ;;
      *) echo "  $line" ;;
    esac
  done
status=${PIPESTATUS[0]}
set -e
"$WINESERVER" -k 2>/dev/null || true

if drive_e_state | cmp -s - "$WORK/drive-e.before"; then
  echo "  ok   nothing was written into E:\\EST"
else
  echo "  FAIL a scenario wrote into E:\\EST"
  status=$((status + 1))
fi
if [ -z "$ONLY" ] || [ "$ONLY" = restore ]; then
  if diff -r -x .koushin "$RESTORE/before" "$RESTORE/l/EST" >/dev/null; then
    echo "  ok   the stopped run left the installation as it was"
  else
    echo "  FAIL the stopped run changed the installation"
    status=$((status + 1))
  fi
fi
if [ -n "$ONLY" ] && [ "$ONLY" != update ]; then
  [ "$status" -eq 0 ] || { echo "test-gui: FAIL ($status failed checks)" >&2; exit 1; }
  echo "test-gui: scenario $ONLY passed"
  exit 0
fi

# The update under Windows must leave the same bytes as the console wizard's on the same
# media and installation: extracted and copied files, INI settings, converted masters.
console=build/native/app/console/koushin
LC_ALL=C.UTF-8 "$console" --media "$ROOT/examples/demo-media" --drive "K=$DEMO/console" \
  --drive "C=$DEMO/c" --folder 'K:\EST' --yes >"$WORK/console.log" 2>&1 || true
# INI files are compared without their blank lines: Wine's profile functions drop the blank
# line between sections when they rewrite a file, which Windows and our POSIX profile engine
# keep; that difference is noted, not counted.
if diff -r -x '*.ini' -x .koushin "$DEMO/console/EST" "$DEMO/gui/EST" >"$WORK/demo.diff"; then
  echo "  ok   every file but the INI files holds the console wizard's bytes"
else
  echo "  FAIL the GUI's update differs from the console wizard's (build/gui-test/demo.diff):"
  head -20 "$WORK/demo.diff" | sed 's/^/    /'
  status=$((status + 1))
fi
while IFS= read -r ini; do
  ini=${ini#"$DEMO/console/EST/"}
  if cmp -s "$DEMO/console/EST/$ini" "$DEMO/gui/EST/$ini"; then
    echo "  ok   $ini holds the console wizard's bytes"
  elif cmp -s <(grep -av -e $'^\r$' -e '^$' "$DEMO/console/EST/$ini") \
      <(grep -av -e $'^\r$' -e '^$' "$DEMO/gui/EST/$ini"); then
    echo "  ok   $ini holds the console wizard's lines (note: Wine dropped blank lines)"
  else
    echo "  FAIL $ini differs from the console wizard's:"
    diff -a "$DEMO/console/EST/$ini" "$DEMO/gui/EST/$ini" | head -10 | sed 's/^/    /'
    status=$((status + 1))
  fi
done < <(find "$DEMO/console/EST" -iname '*.ini')
# Settings written by the update: the new version in the system's INI file, byte for byte.
if grep -q $'^Version=8.1S\r$' "$DEMO/gui/EST/tamiro1.ini"; then
  echo "  ok   tamiro1.ini holds Version=8.1S"
else
  echo "  FAIL tamiro1.ini lacks Version=8.1S"
  status=$((status + 1))
fi
for f in bmp/LAYER2L.BMP doc/HISTORY.TXT; do
  if [ -f "$DEMO/gui/EST/$f" ]; then echo "  ok   $f is there"; else
    echo "  FAIL $f is missing"; status=$((status + 1)); fi
done
echo "test-gui: screenshots in build/screenshots/: $(cd "$SHOTS" && ls *.png 2>/dev/null | tr '\n' ' ')"
if [ "$status" -ne 0 ]; then
  echo "test-gui: FAIL ($status failed checks; see above)" >&2
  exit 1
fi
echo "test-gui: every scenario passed"
