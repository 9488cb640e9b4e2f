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
failures=0

fail() {
  echo "FAIL [$CASE]: $*"
  failures=$((failures + 1))
}
# A host path as Wine's drive Z: shows it.
zpath() { printf 'Z:%s' "${1//\//\\}"; }

fresh() {
  CASE=$1
  D=$WORK/$1
  mkdir -p "$D"
  cp -r "$EXAMPLES/demo-install/EST" "$D/EST"
  cp -r "$EXAMPLES/demo-media" "$D/media"
}
# run INPUT ARGS...: the program with the case's media; INPUT (lines) on standard input.
run() {
  local input=$1
  shift
  printf '%s' "$input" | "$LAUNCHER" "$EXE" --media "$(zpath "$D/media")" "$@" >"$D/out" 2>&1
  status=$?
}
expect_status() {
  if [ "$status" != "$1" ]; then
    fail "exit status $status, expected $1"
    sed 's/^/    | /' "$D/out"
  fi
}
# run_expect STATUS INPUT ARGS...: run, then the exit status must be STATUS.
run_expect() {
  local want=$1
  shift
  run "$@"
  expect_status "$want"
}
output_has() { grep -qF -- "$1" "$D/out" || fail "the output lacks: $1"; }
ini_has() {
  iconv -f CP932 -t UTF-8 "$D/EST/$1" | tr -d '\r' | grep -qxF -- "$2" || fail "$1 lacks: $2"
}
unchanged() {
  diff -r -x .koushin "$EXAMPLES/demo-install/EST" "$D/EST" >/dev/null || fail "the installation changed"
}

fresh unattended
run_expect 0 "" --yes --folder "$(zpath "$D/EST")"
ini_has tamiro1.ini "GENGOU=令和"
ini_has tamiro1.ini "TITLE=見積積算システム Ver8.1S"
[ -e "$D/EST/doc/HISTORY.TXT" ] || fail "doc/HISTORY.TXT was not copied"
[ -e "$D/EST/形式/横A-A4g.xlsm" ] || fail "the Excel template was not extracted"
output_has "[確認] システムは正常に更新されました。"

fresh cancel_at_notice
run_expect 1 $'2\n'
ini_has tamiro1.ini "GENGOU=平成"

fresh wrong_folder
run_expect 2 "" --yes --folder "$(zpath "$D/NOPE")"

fresh info_missing
rm "$D/media/info.txt"
run_expect 4 "" --yes

fresh bad_option
run_expect 64 "" --bogus

# Host paths made absolute by the program itself (GetFullPathNameW, no C++ streams or
# <filesystem> in the Windows build): the media as a relative path from another folder, in POSIX
# and in Windows spelling, and the default media, the folder the program lies in. The update
# moves the current folder (the destination step sets the current drive's folder to its root), so
# a media path left relative would not find the archives.
for media in ../media/. '..\media\'; do
  fresh "relative_media_$([ "$media" = ../media/. ] && echo posix || echo windows)"
  mkdir -p "$D/sub"
  (cd "$D/sub" && "$LAUNCHER" "$EXE" --media "$media" --yes --folder "$(zpath "$D/EST")" \
    </dev/null >"$D/out" 2>&1)
  status=$?
  expect_status 0
  ini_has tamiro1.ini "GENGOU=令和"
done

fresh program_folder_media
mkdir -p "$D/sub"
cp "$EXE" "$D/media/koushin-console.exe"
(cd "$D/sub" && printf '2\n' | "$LAUNCHER" ../media/koushin-console.exe >"$D/out" 2>&1)
status=$?
expect_status 1
output_has "更新の前に見積データをバックアップしてください。"

# Japanese folder names in the arguments and the log path. The arguments come from the wide
# command line, so they reach the program whatever the ANSI code page is (932 or 1252).
fresh japanese_paths
mkdir -p "$D/見積"
mv "$D/media" "$D/見積/媒体"
mv "$D/EST" "$D/見積/EST"
printf '' | "$LAUNCHER" "$EXE" --media "$(zpath "$D/見積/媒体")" --yes \
  --folder "$(zpath "$D/見積/EST")" --log "$(zpath "$D/見積/記録.log")" >"$D/out" 2>&1
status=$?
expect_status 0
mv "$D/見積/EST" "$D/EST"
ini_has tamiro1.ini "GENGOU=令和"
grep -qF "exit status 0" "$D/見積/記録.log" 2>/dev/null || fail "no log in the Japanese folder"

# All or nothing on Windows: a run whose restore fails (every file operation from the 60th on
# fails), its recovery, and undo.
fresh restore_fails_then_recover
KOUSHIN_FAULTS=60,1000000 run_expect 5 "" --yes --folder "$(zpath "$D/EST")"
run_expect 0 "" --recover --folder "$(zpath "$D/EST")"
output_has "前回の更新が途中で終わっています。"
unchanged

fresh undo
run_expect 0 "" --yes --folder "$(zpath "$D/EST")"
run_expect 0 "" --undo --folder "$(zpath "$D/EST")"
unchanged
run "" --yes --folder "$(zpath "$D/EST")"
printf 'changed' >"$D/EST/formater.exe"
run_expect 6 "" --undo --folder "$(zpath "$D/EST")"

# A file of the installation held open without sharing by another Windows program: found before
# anything is changed (Wine's Restart Manager names nobody, so the file itself is named).
fresh held_open
"$LAUNCHER" "$HOLDER_EXE" "$(zpath "$D/EST/kov3.ini")" "$(zpath "$D/ready")" &
holder=$!
until [ -e "$D/ready" ]; do
  kill -0 "$holder" 2>/dev/null || { fail "holder.exe did not start"; break; }
  sleep 0.1
done
run "" --yes --folder "$(zpath "$D/EST")"
kill "$holder"
expect_status 7
output_has "次のプログラムが更新するファイルを使用しています。"
output_has "kov3.ini"
# Not even our journal folder: the checks come before the lock and the journal.
diff -r "$EXAMPLES/demo-install/EST" "$D/EST" >/dev/null || fail "the installation changed"

if [ "$failures" -gt 0 ]; then
  echo "console tests under Wine: $failures failures"
  exit 1
fi
echo "console tests under Wine: all passed"
