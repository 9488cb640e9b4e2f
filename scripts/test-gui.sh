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
cmake --build build/mingw64 --parallel "$JOBS" --target koushin koushin_gui_driver \
  koushin_test_holder >/dev/null
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

# --- What a customer's machine holds: the demo update's media as drive D: (a floppy drive, so
# that disk 2 is asked for), the demo installation as C:\EST (its uninstall entry in the registry),
# and an older installation at the media's default folder C:\TAMIRO whose product files are gone.
# The same media again, with a damaged archive, make a run that stops and is put back.
DEMO=$WORK/demo
RESTORE=$WORK/restore
mkdir -p "$DEMO/gui" "$DEMO/console-c" "$DEMO/tamiro" "$RESTORE/c" "$WORK/programs"
cp -r examples/demo-media "$DEMO/media"
cp build/mingw64/app/win32/koushin.exe "$DEMO/media/"
cp -r examples/demo-install/EST "$DEMO/gui/EST"
cp -r examples/demo-install/EST "$DEMO/console-c/EST"
cp examples/demo-install/EST/tamiro1.ini "$DEMO/tamiro/"
cp -r examples/demo-media "$RESTORE/media"
# Without the disk's file list, which would refuse the damaged archive before the run begins; the
# archive's headers stay whole (the plan reads them before the first change), its first member's
# data is damaged, so the run stops midway.
rm "$RESTORE/media/koushin.sha256"
dd if=/dev/zero of="$RESTORE/media/PROGRAM.lzh" bs=1 seek=900 count=4 conv=notrunc 2>/dev/null
cp build/mingw64/app/win32/koushin.exe "$RESTORE/media/"
cp -r examples/demo-install/EST "$RESTORE/c/EST"
cp -r examples/demo-install/EST "$RESTORE/before"
# A program of the installed suite, running while the update starts: it holds a bitmap the
# update replaces.
cp build/mingw64/tests/console/koushin_test_holder.exe "$WORK/programs/見積積算.exe"

# Media that cannot be used, each in a folder of its own reached through Z: (the messages name
# no path): line 49 names a file of 32 bytes, one more than a column holds; cut short after 20
# lines, as a damaged disk gives it; missing; and a folder whose name code page 932 cannot spell.
make_media() {  # folder
  mkdir -p "$WORK/$1"
  cp examples/demo-media/info.txt examples/demo-media/*.BMP build/mingw64/app/win32/koushin.exe \
    "$WORK/$1/"
}
make_media media-invalid
printf '1,0,%s,\\\r\n' "$(printf 'A%.0s' $(seq 32))" >>"$WORK/media-invalid/info.txt"
make_media media-short
head -n 20 examples/demo-media/info.txt >"$WORK/media-short/info.txt"
make_media media-none
rm "$WORK/media-none/info.txt"
make_media media-é
# The demo media without the uninstall key the registry holds: the destination shows the
# default folder, and keeps the folder confirmed (a found key would fill the field anew).
make_media media-browse
sed -i '2s/.*/\r/' "$WORK/media-browse/info.txt"

# No scenario may write into C:\TAMIRO (they cancel, refuse the media, or fail the check there).
tamiro_state() {
  (cd "$DEMO/tamiro" && find . -printf '%p %s %T@ %m\n' -type f -exec md5sum {} +) | sort
}
tamiro_state >"$WORK/tamiro.before"

# --- The scenarios, one a line, TAB-separated (see tests/gui/driver.cpp), in two groups: the
# demo media on D: with C:\EST, then the damaged media on D: with a fresh C:\EST.
exe() { winpath "$WORK/$1/koushin.exe"; }
TITLE=$(iconv -f CP932 -t UTF-8 examples/demo-media/info.txt | sed -n '1s/\r$//p')
# The notice's text: two TABs in info.txt are one line break.
NOTICE_TEXT=$(iconv -f CP932 -t UTF-8 examples/demo-media/info.txt | sed -n '26s/\r$//p' |
  sed 's/\t\t/\\n/g')
INUSE='次のプログラムが更新するファイルを使用しています。終了してから OK を押して下さい。'
{
  printf 'cancel\t%s\t%s\t%s\t%s\n' 'D:\koushin.exe' "$TITLE" "$NOTICE_TEXT" 'C:\EST'
  printf 'browse\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(exe media-browse)" 'C:\TAMIRO' '[-c-]' '[EST]' \
    '[bmp] [MASTER]' 'c:\' 'c:\EST' 'マスタ調整機能付'
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-invalid)" 'info.txt の 49 行目が正しくありません。' invalid
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-short)" 'info.txt の 21 行目が正しくありません。' \
    invalid-short
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-none)" 'info.txt を読み込めません。' invalid-none
  printf 'invalid\t%s\t%s\t%s\n' "$(exe media-é)" 'プログラムのフォルダ名に使えない文字があります。' \
    invalid-folder
  # The demo update: C:\TAMIRO first, then C:\EST while the suite's program holds a file; the
  # Excel template is said, the second disk is asked for, and the update ends.
  printf 'update\t%s\t%s\t%s\t%s\t%s\t%s\t%s' 'D:\koushin.exe' 'C:\EST' confirm 'C:\TAMIRO' \
    'このバージョンへの更新はできません。' "$(winpath "$WORK/programs/見積積算.exe")" \
    'C:\EST\bmp\LAYER2L.BMP'
  printf '\t%s\t%s' "$INUSE" files-in-use '原価計算書のエクセルひな形を更新しました。' \
    update-progress '2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。' disk-prompt \
    'システムは正常に更新されました。' update-done
  printf '\n'
  # The same media again on the updated installation: the one message says it is current, and
  # the wizard ends with nothing written.
  printf 'update\t%s\t%s\t-\t-\t-\t-\t-\t%s\t%s\n' 'D:\koushin.exe' 'C:\EST' \
    'このシステムは既に 8.1S に更新されています。' update-current
} >"$WORK/demo.txt"
# A run that stops: the damaged archive's message, then the installation is put back.
printf 'restore\t%s\t%s\t-\t-\t-\t-\t-\t%s\t%s\t%s\t%s\n' 'D:\koushin.exe' 'C:\EST' \
  '書庫 D:\PROGRAM.lzh の ESTCALC.DLL が壊れています' update-failed \
  '更新前の状態に戻しました。' update-restored >"$WORK/restore.txt"
if [ -n "$ONLY" ]; then
  for group in demo restore; do
    grep -a "^$ONLY"$'\t' "$WORK/$group.txt" >"$WORK/only.txt" || true
    mv "$WORK/only.txt" "$WORK/$group.txt"
  done
  [ -s "$WORK/demo.txt" ] || [ -s "$WORK/restore.txt" ] || cannot_run "no scenario $ONLY"
fi

# --- A private X display.
display=
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || cannot_run "no free X display number"
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
xvfb_pid=$!
# Drive D:, C:\EST and C:\TAMIRO are ours only while the stage runs.
cleanup() {
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/drive_c/EST" "$WINEPREFIX/drive_c/TAMIRO"
}
trap cleanup EXIT
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=:$display
for folder in EST TAMIRO; do
  [ ! -e "$WINEPREFIX/drive_c/$folder" ] || [ -L "$WINEPREFIX/drive_c/$folder" ] ||
    cannot_run "the Wine prefix holds a C:\\$folder of its own"
done
ln -sfn "$DEMO/tamiro" "$WINEPREFIX/drive_c/TAMIRO"

# The registry set-up (fonts, desktop, drive D: a floppy drive) and the demo's uninstall entry,
# then the driver once per group. The Wine server is restarted after the set-up: the drive types
# are read when it starts.
koushin_gui_registry "$WORK/gui.reg" '"d:"="floppy"'
"$WINE64" regedit /S "$(winpath "$ROOT/examples/demo-registry.reg")" >/dev/null 2>&1
"$WINESERVER" -k 2>/dev/null || true

status=0
run_driver() {  # scenario file, D:, C:\EST
  [ -s "$1" ] || return 0
  ln -sfn "$2" "$WINEPREFIX/dosdevices/d:"
  ln -sfn "$3" "$WINEPREFIX/drive_c/EST"
  "$WINE64" build/mingw64/tests/gui/koushin_gui_driver.exe "$(winpath "$SHOTS")" \
    "$(winpath "$1")" 2>>"$WORK/driver.stderr" |
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
  status=$((status + PIPESTATUS[0]))
}
set +e
run_driver "$WORK/demo.txt" "$DEMO/media" "$DEMO/gui/EST"
run_driver "$WORK/restore.txt" "$RESTORE/media" "$RESTORE/c/EST"
set -e
"$WINESERVER" -k 2>/dev/null || true

if tamiro_state | cmp -s - "$WORK/tamiro.before"; then
  echo "  ok   nothing was written into C:\\TAMIRO"
else
  echo "  FAIL a scenario wrote into C:\\TAMIRO"
  status=$((status + 1))
fi
if [ -z "$ONLY" ] || [ "$ONLY" = restore ]; then
  if diff -r -x .koushin "$RESTORE/before" "$RESTORE/c/EST" >/dev/null; then
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
LC_ALL=C.UTF-8 "$console" --media "$ROOT/examples/demo-media" --drive "C=$DEMO/console-c" \
  --folder 'C:\EST' --yes >"$WORK/console.log" 2>&1 || true
# INI files are compared without their blank lines: Wine's profile functions drop the blank
# line between sections when they rewrite a file, which Windows and our POSIX profile engine
# keep; that difference is noted, not counted.
if diff -r -x '*.ini' -x .koushin "$DEMO/console-c/EST" "$DEMO/gui/EST" >"$WORK/demo.diff"; then
  echo "  ok   every file but the INI files holds the console wizard's bytes"
else
  echo "  FAIL the GUI's update differs from the console wizard's (build/gui-test/demo.diff):"
  head -20 "$WORK/demo.diff" | sed 's/^/    /'
  status=$((status + 1))
fi
while IFS= read -r ini; do
  ini=${ini#"$DEMO/console-c/EST/"}
  if cmp -s "$DEMO/console-c/EST/$ini" "$DEMO/gui/EST/$ini"; then
    echo "  ok   $ini holds the console wizard's bytes"
  elif cmp -s <(grep -av -e $'^\r$' -e '^$' "$DEMO/console-c/EST/$ini") \
      <(grep -av -e $'^\r$' -e '^$' "$DEMO/gui/EST/$ini"); then
    echo "  ok   $ini holds the console wizard's lines (note: Wine dropped blank lines)"
  else
    echo "  FAIL $ini differs from the console wizard's:"
    diff -a "$DEMO/console-c/EST/$ini" "$DEMO/gui/EST/$ini" | head -10 | sed 's/^/    /'
    status=$((status + 1))
  fi
done < <(find "$DEMO/console-c/EST" -iname '*.ini')
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
