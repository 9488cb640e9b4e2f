#!/usr/bin/env bash
# The Windows console wizard (koushin-console.exe) under Wine, through the Win32 port: the
# machine's own drives, with the host's folders seen on drive Z:.
# usage: console_wine_test.sh LAUNCHER KOUSHIN_EXE EXAMPLES_DIR HOLDER_EXE
#   LAUNCHER runs a Windows program (the cross build's emulator, scripts/wine-env.sh).
#   HOLDER_EXE holds a file open without sharing (tests/console/holder.cpp).
set -u
LAUNCHER=$1
EXE=$2
EXAMPLES=$3
HOLDER_EXE=$4
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-console-wine.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export LC_ALL=${LC_ALL:-C.UTF-8}
# shellcheck source=cases.sh
. "$(dirname "$0")/cases.sh"

# A host path as Wine's drive Z: shows it.
zpath() { printf 'Z:%s' "${1//\//\\}"; }

# A new case: copies of the installation and the media; EST is the installation's Windows path.
fresh() {
  CASE=$1
  D=$WORK/$1
  mkdir -p "$D"
  cp -r "$EXAMPLES/demo-install/EST" "$D/EST"
  cp -r "$EXAMPLES/demo-media" "$D/media"
  EST=$(zpath "$D/EST")
  ANSWERS=()
  MEDIA=(--media "$(zpath "$D/media")")
  PROG=$EXE
  FROM=.
}
# Runs PROG from the case's folder FROM with MEDIA, the answers on standard input, and ARGS.
run() {
  answers | (cd "$D/$FROM" && "$LAUNCHER" "$PROG" "${MEDIA[@]}" "$@") >"$D/out" 2>&1
  status=$?
}
ini_has() {
  iconv -f CP932 -t UTF-8 "$D/EST/$1" | tr -d '\r' | grep -qxF -- "$2" || fail "$1 lacks: $2"
}
unchanged() {
  diff -r -x .koushin "$EXAMPLES/demo-install/EST" "$D/EST" >/dev/null || fail "the installation changed"
}

# Signs the media's list with a new key NAME.key (NAME.pub beside it), as "openssl dgst" and
# koushin-pack on Linux sign: the Windows wizard verifies it with CNG.
sign_media() {
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null &&
    openssl pkey -in "$1.key" -pubout -out "$1.pub" &&
    openssl dgst -sha256 -sign "$1.key" -out media/koushin.sha256.sig media/koushin.sha256
}
# One run a line (cases.sh: run_table). The relative_media cases: host paths made absolute by the
# program itself (GetFullPathNameW, no C++ streams or <filesystem> in the Windows build), the media
# as a relative path from another folder in POSIX and in Windows spelling, and the default media,
# the folder the program lies in. The update moves the current folder (the destination step sets
# the current drive's folder to its root), so a media path left relative would not find the
# archives. Japanese folder names come through the wide command line, whatever the ANSI code page
# is (932 or 1252). All or nothing on Windows: a run whose restore fails (every file operation from
# the 60th on fails), its recovery, and undo.
run_table <<'CASES'
unattended|||--yes --folder "$EST"|0|ini_has tamiro1.ini "GENGOU=令和"; ini_has tamiro1.ini "TITLE=見積積算システム Ver8.1S"; [ -e "$D/EST/doc/HISTORY.TXT" ] || fail "doc/HISTORY.TXT was not copied"; [ -e "$D/EST/形式/横A-A4g.xlsm" ] || fail "the Excel template was not extracted"; output_has "[確認] システムは正常に更新されました。"
cancel_at_notice||2||1|ini_has tamiro1.ini "GENGOU=平成"
wrong_folder|||--yes --folder "$(zpath "$D/NOPE")"|2|
info_missing|rm media/info.txt||--yes|4|
bad_option|||--bogus|64|
relative_media_posix|mkdir sub; FROM=sub; MEDIA=(--media ../media/.)||--yes --folder "$EST"|0|ini_has tamiro1.ini "GENGOU=令和"
relative_media_windows|mkdir sub; FROM=sub; MEDIA=(--media '..\media\')||--yes --folder "$EST"|0|ini_has tamiro1.ini "GENGOU=令和"
program_folder_media|mkdir sub; FROM=sub; cp "$EXE" media/koushin-console.exe; PROG=../media/koushin-console.exe; MEDIA=()|2||1|output_has "更新の前に見積データをバックアップしてください。"
japanese_paths|mkdir 見積; mv media 見積/媒体; mv EST 見積/EST; MEDIA=(--media "$(zpath "$D/見積/媒体")")||--yes --folder "$(zpath "$D/見積/EST")" --log "$(zpath "$D/見積/記録.log")"|0|mv "$D/見積/EST" "$D/EST"; ini_has tamiro1.ini "GENGOU=令和"; grep -qF "exit status 0" "$D/見積/記録.log" || fail "no log in the Japanese folder"
restore_fails_then_recover|KOUSHIN_FAULTS=60,1000000 run_expect 5 --yes --folder "$EST"||--recover --folder "$EST"|0|output_has "前回の更新が途中で終わっています。"; unchanged
undo|run_expect 0 --yes --folder "$EST"||--undo --folder "$EST"|0|unchanged
signed_and_trusted|sign_media vendor||--yes --folder "$EST" --trusted-key "$(zpath "$D/vendor.pub")"|0|ini_has tamiro1.ini "GENGOU=令和"
signed_by_another_key|sign_media vendor; sign_media other; openssl dgst -sha256 -sign vendor.key -out media/koushin.sha256.sig media/koushin.sha256||--yes --folder "$EST" --trusted-key "$(zpath "$D/other.pub")"|4|output_has "1 枚目の更新ディスクの署名は信頼された鍵のものではないか"; unchanged
file_damaged|printf x >>media/history.txt||--yes --folder "$EST"|4|output_has "更新ディスクのファイル history.txt が壊れています。"; unchanged
undo_refused_after_a_change|run_expect 0 --yes --folder "$EST"; printf changed >EST/formater.exe||--undo --folder "$EST"|6|
CASES

# A file of the installation held open without sharing by another Windows program: found before
# anything is changed (Wine's Restart Manager names nobody, so the file itself is named).
fresh held_open
"$LAUNCHER" "$HOLDER_EXE" "$(zpath "$D/EST/kov3.ini")" "$(zpath "$D/ready")" &
holder=$!
until [ -e "$D/ready" ]; do
  kill -0 "$holder" 2>/dev/null || { fail "holder.exe did not start"; break; }
  sleep 0.1
done
run --yes --folder "$EST"
kill "$holder"
expect_status 7
output_has "次のプログラムが更新するファイルを使用しています。"
output_has "kov3.ini"
# Not even our journal folder: the checks come before the lock and the journal.
diff -r "$EXAMPLES/demo-install/EST" "$D/EST" >/dev/null || fail "the installation changed"

finish "console tests under Wine"
