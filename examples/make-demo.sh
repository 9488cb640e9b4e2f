#!/usr/bin/env bash
# Regenerates examples/demo-media and examples/demo-install from the UTF-8 sources in
# examples/demo-source: texts become code page 932 with CR LF, archives are made by jlha
# (package jlha-utils), bitmaps by ImageMagick, master files by demo-source/masters.py.
# The outputs are committed, so the demo itself needs none of these tools.
set -euo pipefail
cd "$(dirname "$0")"
SRC=demo-source
MEDIA=demo-media
INSTALL=demo-install
STAMP='2026-12-01 09:00:00 UTC'

# UTF-8 text with LF -> code page 932 with CR LF.
cp932() { iconv -f UTF-8 -t CP932 "$1" | sed 's/$/\r/' >"$2"; touch -d "$STAMP" "$2"; }

rm -rf "$MEDIA" "$INSTALL"
mkdir -p "$MEDIA" "$INSTALL/EST/bmp" "$INSTALL/EST/MASTER/1" "$INSTALL/EST/MASTER/21"

# --- the media -------------------------------------------------------------------------------
cp932 "$SRC/media/info.txt" "$MEDIA/info.txt"
cp932 "$SRC/media/history.txt" "$MEDIA/history.txt"
bitmap() { convert -size "$2" "$3" $4 "BMP3:$1"; touch -d "$STAMP" "$1"; }
bitmap "$MEDIA/VIEW.BMP" 160x120 gradient:'#1d3f73-#7fa7d9' ""
bitmap "$MEDIA/NOTICE.BMP" 32x32 xc:'#e8b040' "-type palette"
bitmap "$MEDIA/DEST.BMP" 32x32 xc:'#40a060' "-type palette"
bitmap "$MEDIA/CONFIRM.BMP" 32x32 xc:'#c04040' "-type palette"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# archive NAME: every file of demo-source/media/archives/NAME (texts converted) -> NAME.lzh
archive() {
  local name=$1 dir="$WORK/$1" f
  mkdir -p "$dir"
  for f in "$SRC/media/archives/$name"/*; do
    case "$f" in
      *.ini | *.txt | *.DAT) cp932 "$f" "$dir/$(basename "$f")" ;;
      *) cp "$f" "$dir/" && touch -d "$STAMP" "$dir/$(basename "$f")" ;;
    esac
  done
  (cd "$dir" && java -Dlha.encoding=MS932 -jar /usr/share/java/jlhafrontend.jar a1o5 \
    "$WORK/$name.lzh" * >/dev/null)
  cp "$WORK/$name.lzh" "$MEDIA/$name.lzh"
}
python3 "$SRC/masters.py" zai004-3.mst "$WORK/zai004-3.mst"
mkdir -p "$WORK/PROGRAM" && for i in $(seq 1 600); do printf "ESTCALC routine %04d: unit price times quantity, rounded\r\n" "$i"; done >"$WORK/PROGRAM/ESTCALC.DLL" && touch -d "$STAMP" "$WORK/PROGRAM/ESTCALC.DLL"
for name in START1 START2 PROGRAM EXCEL; do archive "$name"; done
mkdir -p "$WORK/BMP" && bitmap "$WORK/BMP/LAYER2L.BMP" 48x48 xc:'#3060c0' "-type palette"
bitmap "$WORK/BMP/LAYER3L.BMP" 48x48 xc:'#30c060' "-type palette"
(cd "$WORK/BMP" && java -Dlha.encoding=MS932 -jar /usr/share/java/jlhafrontend.jar a1o5 \
  "$WORK/BMP.lzh" * >/dev/null) && cp "$WORK/BMP.lzh" "$MEDIA/BMP.lzh"
mkdir -p "$WORK/MASTER" && mv "$WORK/zai004-3.mst" "$WORK/MASTER/" && touch -d "$STAMP" "$WORK/MASTER/zai004-3.mst"
(cd "$WORK/MASTER" && java -Dlha.encoding=MS932 -jar /usr/share/java/jlhafrontend.jar a1o5 \
  "$WORK/MASTER.lzh" * >/dev/null) && cp "$WORK/MASTER.lzh" "$MEDIA/MASTER.lzh"

# --- the installation ------------------------------------------------------------------------
for f in tamiro1.ini kov3.ini ta1menu.ini; do cp932 "$SRC/install/EST/$f" "$INSTALL/EST/$f"; done
cp "$SRC/install/EST/formater.exe" "$INSTALL/EST/formater.exe"
bitmap "$INSTALL/EST/bmp/LAYER2L.BMP" 48x48 xc:'#808080' "-type palette"
python3 "$SRC/masters.py" zai001-3.mst "$INSTALL/EST/MASTER/1/zai001-3.mst"
python3 "$SRC/masters.py" zai002-3.mst "$INSTALL/EST/MASTER/21/zai002-3.mst"
echo "demo media and installation written"
