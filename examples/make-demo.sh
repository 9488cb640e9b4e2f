#!/usr/bin/env bash
# Regenerates examples/demo-media and examples/demo-install from the UTF-8 sources in
# examples/demo-source: texts become code page 932 with CR LF, bitmaps come from ImageMagick,
# master files from demo-source/masters.py, and the media are made by koushin-pack from
# demo-source/media/manifest.toml. The outputs are committed, so the demo itself needs none of
# these tools.
#
#   make-demo.sh            regenerate both committed folders
#   make-demo.sh DIR        only make the media, into DIR (which must not exist yet)
#
# koushin-pack is taken from $KOUSHIN_PACK, else from the native build (built when missing).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(cd .. && pwd)
SRC=demo-source
INSTALL=demo-install
STAMP='2026-12-01 09:00:00 UTC'
MEDIA_ONLY=${1:-}

PACK=${KOUSHIN_PACK:-$ROOT/build/native/app/pack/koushin-pack}
if [ ! -x "$PACK" ]; then
  (cd "$ROOT" && cmake --preset native >/dev/null && cmake --build build/native -j2 --target koushin_pack_program >/dev/null)
fi

# UTF-8 text with LF -> code page 932 with CR LF.
cp932() { iconv -f UTF-8 -t CP932 "$1" | sed 's/$/\r/' >"$2"; touch -d "$STAMP" "$2"; }
bitmap() { convert -size "$2" "$3" $4 "BMP3:$1"; touch -d "$STAMP" "$1"; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# --- the media: the manifest's sources staged beside a copy of it ---------------------------
STAGE=$WORK/stage
mkdir -p "$STAGE/pictures" "$STAGE/archives"
cp "$SRC/media/manifest.toml" "$STAGE/"
cp932 "$SRC/media/history.txt" "$STAGE/history.txt"
bitmap "$STAGE/pictures/VIEW.BMP" 160x120 gradient:'#1d3f73-#7fa7d9' ""
bitmap "$STAGE/pictures/NOTICE.BMP" 32x32 xc:'#e8b040' "-type palette"
bitmap "$STAGE/pictures/DEST.BMP" 32x32 xc:'#40a060' "-type palette"
bitmap "$STAGE/pictures/CONFIRM.BMP" 32x32 xc:'#c04040' "-type palette"
for name in START1 START2 PROGRAM EXCEL; do
  mkdir -p "$STAGE/archives/$name"
  for f in "$SRC/media/archives/$name"/*; do
    case "$f" in
      *.ini | *.txt | *.DAT) cp932 "$f" "$STAGE/archives/$name/$(basename "$f")" ;;
      *) cp "$f" "$STAGE/archives/$name/" && touch -d "$STAMP" "$STAGE/archives/$name/$(basename "$f")" ;;
    esac
  done
done
for i in $(seq 1 600); do printf "ESTCALC routine %04d: unit price times quantity, rounded\r\n" "$i"; done >"$STAGE/archives/PROGRAM/ESTCALC.DLL"
touch -d "$STAMP" "$STAGE/archives/PROGRAM/ESTCALC.DLL"
mkdir -p "$STAGE/archives/BMP" "$STAGE/archives/MASTER"
bitmap "$STAGE/archives/BMP/LAYER2L.BMP" 48x48 xc:'#3060c0' "-type palette"
bitmap "$STAGE/archives/BMP/LAYER3L.BMP" 48x48 xc:'#30c060' "-type palette"
python3 "$SRC/masters.py" zai004-3.mst "$STAGE/archives/MASTER/zai004-3.mst"
touch -d "$STAMP" "$STAGE/archives/MASTER/zai004-3.mst"

# Floppy disks: MASTER goes on disk 2. The demo keeps both disks in one folder, as a copy of the
# set on a hard disk would; the wizard then finds disk 2's archive at once.
SOURCE_DATE_EPOCH=$(date -d "$STAMP" +%s) "$PACK" "$STAGE/manifest.toml" --out "$WORK/media" \
  --medium fd >/dev/null
MEDIA=${MEDIA_ONLY:-demo-media}
rm -rf "$MEDIA" && mkdir -p "$MEDIA"
# Each disk's list vouches for its own files; the folder of both disks carries both lists in one.
for disk in "$WORK"/media/disk*; do
  find "$disk" -maxdepth 1 -type f ! -name koushin.sha256 -exec cp -p {} "$MEDIA/" \;
  cat "$disk/koushin.sha256" >>"$MEDIA/koushin.sha256"
done
touch -d "$STAMP" "$MEDIA/koushin.sha256"
[ -z "$MEDIA_ONLY" ] || exit 0

# --- the installation ------------------------------------------------------------------------
rm -rf "$INSTALL"
mkdir -p "$INSTALL/EST/bmp" "$INSTALL/EST/MASTER/1" "$INSTALL/EST/MASTER/21"
for f in tamiro1.ini kov3.ini ta1menu.ini; do cp932 "$SRC/install/EST/$f" "$INSTALL/EST/$f"; done
cp "$SRC/install/EST/formater.exe" "$INSTALL/EST/formater.exe"
bitmap "$INSTALL/EST/bmp/LAYER2L.BMP" 48x48 xc:'#808080' "-type palette"
python3 "$SRC/masters.py" zai001-3.mst "$INSTALL/EST/MASTER/1/zai001-3.mst"
python3 "$SRC/masters.py" zai002-3.mst "$INSTALL/EST/MASTER/21/zai002-3.mst"
echo "demo media and installation written"
