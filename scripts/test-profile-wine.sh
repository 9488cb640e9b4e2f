#!/usr/bin/env bash
# Differential test of the profile engine: the write (and read) sequences of
# tests/profile/wine/*.script run through our POSIX engine (profile_script_tool) and through the
# profile functions of Wine's kernel32 (wine_profile_tool.exe, built here with mingw-w64); the
# transcripts and every resulting file must be equal byte for byte. One wine64 start in all.
#
# The scripts hold only files already in the form Wine writes (key=value, CR LF, no blank lines):
# Wine rewrites whole files where Windows edits them in place, so elsewhere the two may differ.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$ROOT/build/profile-wine

# The Wine prefix is shared with the other Windows tests (build/wine, see scripts/wine-env.sh).
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh

CXX_WIN=${CXX_WIN:-x86_64-w64-mingw32-g++-posix}
command -v "$CXX_WIN" >/dev/null || { echo "test-profile-wine: $CXX_WIN missing (package mingw-w64)" >&2; exit 1; }
# LC_ALL=ja_JP.UTF-8 makes Wine's ANSI code page 932, as on a Japanese Windows.
JA_LOCALE=$(koushin_wine_locale ja)

mkdir -p "$OUT"
# Our side.
cmake --preset native >/dev/null
cmake --build build/native --target profile_script_tool --parallel "${JOBS:-2}" >/dev/null
# Wine's side, rebuilt only when its sources change.
TOOL=$OUT/wine_profile_tool.exe
SOURCES=(tests/profile/wine_profile_tool.cpp tests/profile/profile_script.cpp tests/profile/profile_script.h)
if [ ! -f "$TOOL" ] || [ -n "$(find "${SOURCES[@]}" -newer "$TOOL")" ]; then
  "$CXX_WIN" -std=c++17 -O1 -static -o "$TOOL" tests/profile/wine_profile_tool.cpp tests/profile/profile_script.cpp
fi
koushin_wine_prefix

# Every script is concatenated into one, so Wine starts once; file names are distinct per case.
SCRIPT=$OUT/all.script
cat tests/profile/wine/*.script >"$SCRIPT"
rm -rf "$OUT/ours" "$OUT/wine" && mkdir -p "$OUT/ours" "$OUT/wine"
build/native/tests/profile/profile_script_tool "$SCRIPT" "$OUT/ours" >"$OUT/ours.txt"
LC_ALL=$JA_LOCALE "$WINE64" "$TOOL" "Z:${SCRIPT//\//\\}" "Z:${OUT//\//\\}\\wine" 2>"$OUT/wine.err" |
  tr -d '\r' >"$OUT/wine.txt"

status=0
if ! diff -u "$OUT/wine.txt" "$OUT/ours.txt"; then
  echo "test-profile-wine: transcripts differ (- Wine, + ours)" >&2
  status=1
fi
for ours in "$OUT"/ours/*; do
  name=$(basename "$ours")
  if ! cmp -s "$ours" "$OUT/wine/$name"; then
    echo "test-profile-wine: $name differs" >&2
    echo "  Wine: $(od -An -c "$OUT/wine/$name" 2>/dev/null | tr -s ' ' | head -c 600)" >&2
    echo "  ours: $(od -An -c "$ours" | tr -s ' ' | head -c 600)" >&2
    status=1
  fi
done
count=$(ls "$OUT/wine" | wc -l)
[ "$count" -eq "$(ls "$OUT/ours" | wc -l)" ] || { echo "test-profile-wine: file counts differ" >&2; status=1; }
[ $status -eq 0 ] && echo "test-profile-wine: $(grep -c . "$OUT/ours.txt") calls and $count files agree with Wine"
exit $status
