#!/usr/bin/env bash
# End-to-end tests of the console wizard: the built program as a process, a scripted person on
# its standard input (ANSWERS, one line each), temporary copies of the demo media and installation.
# usage: console_test.sh KOUSHIN EXAMPLES_DIR
set -u
BIN=$1
EXAMPLES=$2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-console.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8
# shellcheck source=cases.sh
. "$(dirname "$0")/cases.sh"

# A new case: drive C holds a copy of the installation (and a Windows folder), the media a copy of
# the demo media; "before" keeps the installation as it was.
fresh() {
  CASE=$1
  D=$WORK/$1
  mkdir -p "$D/c/WINDOWS"
  cp -r "$EXAMPLES/demo-install/EST" "$D/c/EST"
  cp -r "$EXAMPLES/demo-install/EST" "$D/before"
  cp -r "$EXAMPLES/demo-media" "$D/media"
  ANSWERS=()
  MEDIA=(--media "$D/media")
  DRIVES=(--drive "C=$D/c")
  PROG=$BIN
}

# Runs the wizard (PROG) with the case's MEDIA and DRIVES, the answers on standard input, and
# ARGS.
run() {
  answers | "$PROG" "${MEDIA[@]}" "${DRIVES[@]}" "$@" >"$D/out" 2>&1
  status=$?
}
output_count() {
  local n
  n=$(grep -cF -- "$1" "$D/out")
  [ "$n" = "$2" ] || fail "'$1' shown $n times, expected $2"
}
# Our journal folder (the lock, the kept generation) is no part of the installation.
unchanged() { diff -r -x .koushin "$D/before" "$D/c/EST" >/dev/null || fail "the installation changed"; }
# A code page 932 file of the installation as UTF-8 without CR.
text_of() { iconv -f CP932 -t UTF-8 "$D/c/EST/$1" | tr -d '\r'; }
file_has() { text_of "$1" | grep -qxF -- "$2" || fail "$1 lacks the line: $2"; }
exists() { [ -e "$D/c/EST/$1" ] || fail "missing: $1"; }
# Record lengths (bytes, without CR LF) of a master file.
lengths() { LC_ALL=C awk '{ sub(/\r$/, ""); printf "%s%d", (NR > 1 ? " " : ""), length($0) }' "$D/c/EST/$1"; }

# Everything a complete update changes.
updated() {
  for line in "TITLE=見積積算システム Ver8.1S" Version=8.1S GENGOU=令和 種別電気=0 種別水道=1 種別設備=1; do
    file_has tamiro1.ini "$line"
  done
  for line in 抽出開始日ON=1 抽出終了日ON=1 抽出件数=100; do file_has kov3.ini "$line"; done
  [ "$(lengths MASTER/1/zai001-3.mst)" = "185 185 185 186 186" ] ||
    fail "zai001-3.mst record lengths $(lengths MASTER/1/zai001-3.mst)"
  [ "$(text_of MASTER/1/zai001-3.mst | cut -c14 | tr -d '\n')" = "ZZCZa" ] ||
    fail "zai001-3.mst type flags"
  [ "$(lengths MASTER/21/zai002-3.mst)" = "185 185 185" ] || fail "zai002-3.mst record lengths"
  [ "$(lengths MASTER/1/zai004-3.mst)" = "185 185" ] || fail "zai004-3.mst (extracted, converted)"
  text_of SYSTEM.DAT | grep -qF "積算版" || fail "SYSTEM.DAT is not the START2 variant's"
  for line in ESTCALC.DLL 見積書式.txt bmp/LAYER3L.BMP 形式/横A-A4g.xlsm; do exists "$line"; done
  cmp -s "$D/media/history.txt" "$D/c/EST/doc/HISTORY.TXT" || fail "doc/HISTORY.TXT is not the media's"
}

# The report holds exactly the fields docs/report.schema.json names, with their kinds.
report_fits_schema() {
  python3 - "$EXAMPLES/../docs/report.schema.json" "$D/report.json" <<'PY' || fail "report does not fit the schema: $(cat "$D/report.json")"
import json, sys
schema, report = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:])
props = schema["properties"]
assert set(report) == set(props) == set(schema["required"]), set(report) ^ set(props)
assert report["outcome"] in props["outcome"]["enum"], report["outcome"]
kinds = {"string": str, "integer": int, "boolean": bool, "array": list, "object": dict}
for key, rule in props.items():
    kind = rule.get("type")
    if isinstance(kind, str):
        assert isinstance(report[key], kinds[kind]), key
for item in report["changes"]:
    assert set(item) == {"change", "path", "bytes"} and "\\\\" not in item["path"], item
for item in report["blockingFiles"]:
    assert set(item) == {"path", "reason", "program"} and item["reason"] in ("read-only", "in use"), item
PY
}
log_has() { grep -qF -- "$1" "$D/log" || fail "the log lacks: $1"; }
# The one log the run left in the installation for support (UTF-8, no CR) holds each line given,
# the first one as its first line and the last one in its last line.
support_log_has() {
  local logs
  logs=("$D"/c/EST/.koushin/logs/*.log)
  [ ${#logs[@]} = 1 ] && [ -f "${logs[0]}" ] || { fail "not one log in .koushin/logs: ${logs[*]}"; return; }
  iconv -f CP932 -t UTF-8 "${logs[0]}" | tr -d '\r' >"$D/support.log"
  [ "$(head -n 1 "$D/support.log")" = "$1" ] || fail "the support log starts with: $(head -n 1 "$D/support.log")"
  for l in "$@"; do grep -qF -- "$l" "$D/support.log" || fail "the support log lacks: $l"; done
  tail -n 1 "$D/support.log" | grep -qF -- "${*: -1}" || fail "the support log ends with: $(tail -n 1 "$D/support.log")"
}
report_has() { python3 -m json.tool "$D/report.json" >/dev/null && grep -qF -- "$1" "$D/report.json" || fail "report: $(cat "$D/report.json")"; }
FLOPPY='MEDIA=(--media "A:\\" --drive "A=$D/media" --removable A)'

# One run a line (cases.sh: run_table).
run_table <<'CASES'
cancel_at_notice||2||1|unchanged; output_lacks "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ"
end_of_input_at_notice||||1|unchanged
back_and_forth||1 3 'C:\EST' 2 1 3 'C:\EST' 1 2 1 1||0|output_count "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ: C:\\TAMIRO" 2; output_count "更新先：C:\\EST" 2; output_count "== マスタ調整機能付 ==" 2; updated
prefill_from_registry||1 1 2 1 1|--registry "$EXAMPLES/demo-registry.reg"|0|output_count "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ: C:\\EST" 2; updated
failed_check_then_browse|mkdir c/OLD && cp c/EST/tamiro1.ini c/OLD/|1 3 'C:\OLD' 1 1 4 1 2 '' 1 1||0|output_has "[エラー] このバージョンへの更新はできません。"; output_has "1) [-c-]"; output_has "2) [EST]"; output_has "更新先：C:\\EST"; updated
relative_media_then_browse|cp -r media c/MEDIA; MEDIA=(--media 'MEDIA\')|1 4 1 2 '' 1 1||0|output_has "更新先：C:\\EST"; updated
media_folder_ending_in_so|cp -r media c/ソ; MEDIA=(--media 'C:\ソ')||--yes --folder 'C:\EST'|0|updated; MEDIA=(--media "$D/c/ソ"); run --yes --folder 'C:\EST' --log "$D/log"; log_has "media $D/c/ソ/,"
japanese_folder|mv c/EST c/見積|1 3 'C:\見積' 1 1||0|output_has "更新先：C:\見積"; mv "$D/c/見積" "$D/c/EST"; file_has tamiro1.ini "GENGOU=令和"; exists doc/HISTORY.TXT
unattended|||--yes --registry "$EXAMPLES/demo-registry.reg"|0|output_has "[確認] システムは正常に更新されました。"; updated; output_has "  2/6 C:\EST\ESTCALC.DLL (33 KiB、全体の 95%)"; output_has "  6/6 C:\EST\MASTER\1\zai004-3.mst (375 バイト、全体の 100%)"; support_log_has "koushin 3.0.0 (console)" "installation:     C:\EST" "notice shown: マスタ調整機能付: この更新は見積積算システムを 8.1S にします。" "version before:   8.0S" "version after:    8.1S" "message [確認] システムは正常に更新されました。" "outcome updated"; output_has "この実行の記録: C:\EST\.koushin\logs"
unattended_windows_path|||--yes --folder 'C:\EST' --log "$D/log"|0|updated; output_lacks $'\x1b['; for l in "notice: 開始 pressed" "destination: 次へ pressed with the folder C:\\EST" "confirmation: 更新 pressed for C:\\EST" "wrote [SYSTEM] GENGOU=令和" "wrote [HISTORY] 抽出開始日ON=1" "message [確認] システムは正常に更新されました。" "exit status 0"; do log_has "$l"; done; ! grep -vqE '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z ' "$D/log" || fail "a log line without its time"
media_is_the_programs_folder|cp "$BIN" media/koushin; PROG=$D/media/koushin; MEDIA=()||--folder 'C:\EST' --yes|0|updated
unattended_host_path|||--yes --folder "$D/c/EST"|0|updated
unattended_wrong_folder|||--yes --folder 'C:\NOPE'|2|output_has "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞが正しくないと思われます。"; unchanged
unattended_markers_missing|rm c/EST/bmp/LAYER2L.BMP before/bmp/LAYER2L.BMP||--yes --folder 'C:\EST'|2|output_has "このバージョンへの更新はできません。"; unchanged
dry_run|||--yes --dry-run --folder 'C:\EST' --log "$D/log"|0|unchanged; [ ! -e "$D/c/EST/.koushin" ] || fail "a journal was written"; output_has "確認のみ（何も変更していません）: INI の設定 7 件を書き"; output_has "製品別の書庫 START2（システム番号 2: TITLE にキーワード 2「積算」）"; output_has "INI C:\EST\tamiro1.ini [SYSTEM] TITLE: 「見積積算システム Ver8.0S」 → 「見積積算システム Ver8.1S」"; output_has "マスタ C:\EST\MASTER\1\zai004-3.mst: 材料ｻｲｽﾞ変換 1 レコード"; log_has "plan: "
master_missing_from_one_folder|rm media/MASTER.lzh media/koushin.sha256||--yes --folder 'C:\EST'|4|output_has "更新ディスクのファイル MASTER.lzh がありません。"; output_lacks "更新前の状態に戻しました。"; unchanged; [ ! -e "$D/c/EST/.koushin" ] || fail "the run began"
archive_damaged|rm media/koushin.sha256; head -c 60 "$EXAMPLES/demo-media/PROGRAM.lzh" >media/PROGRAM.lzh||--yes --folder 'C:\EST' --report "$D/report.json"|4|unchanged; report_has '"outcome": "media invalid"'; report_has '"filesReplaced": 0'
archive_cut_short|rm media/koushin.sha256; head -c -1 media/PROGRAM.lzh >cut && mv cut media/PROGRAM.lzh||--yes --folder 'C:\EST'|4|output_has "PROGRAM"; output_lacks "システムは正常に更新されました。"; unchanged
disk_prompt_unattended|eval "$FLOPPY"||--yes --folder 'C:\EST'|0|output_has "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。"; updated
list_file_damaged|head -c -1 media/PROGRAM.lzh >cut && mv cut media/PROGRAM.lzh||--yes --folder 'C:\EST' --report "$D/report.json"|4|output_has "更新ディスクのファイル PROGRAM.lzh が壊れています。"; output_lacks "更新前の状態に戻しました。"; report_has '"outcome": "media invalid"'; unchanged; [ ! -e "$D/c/EST/.koushin" ] || fail "the run began"
list_file_missing|rm media/history.txt||--yes --folder 'C:\EST'|4|output_has "更新ディスクのファイル history.txt がありません。"; unchanged
list_file_unlisted|sed -i /START2.lzh/d media/koushin.sha256||--yes --folder 'C:\EST'|4|output_has "更新ディスクのファイル START2.lzh はファイル一覧 koushin.sha256 にありません。"; output_lacks "更新前の状態に戻しました。"; unchanged; [ ! -e "$D/c/EST/.koushin" ] || fail "the run began"
disk_missing_unattended|eval "$FLOPPY"; rm media/MASTER.lzh media/koushin.sha256||--yes --folder 'C:\EST'|1|output_count "2 枚目のｱｯﾌﾟﾃﾞｲﾄFDをｾｯﾄしてください。" 2; output_has "ｱｯﾌﾟﾃﾞｲﾄを取消しました。"; output_has "更新前の状態に戻しました。"; unchanged; support_log_has "koushin 3.0.0 (console)" "message [確認] ｱｯﾌﾟﾃﾞｲﾄを取消しました。" "message [確認] 更新前の状態に戻しました。" "outcome cancelled"
disk_prompt_cancelled|eval "$FLOPPY"|1 3 'C:\EST' 1 1 2||1|output_has "ｱｯﾌﾟﾃﾞｲﾄを取消しました。"; file_has tamiro1.ini "GENGOU=平成"
info_missing|rm media/info.txt||--yes|4|unchanged
info_invalid|for i in $(seq 1 101); do printf '1,0,history.txt,\\doc\\\r\n'; done >>media/info.txt||--yes|4|unchanged
info_300_bytes|head -c 300 "$EXAMPLES/demo-media/info.txt" >media/info.txt||--yes|4|output_has "行目が正しくありません。"; unchanged
info_0_bytes|: >media/info.txt||--yes|4|output_has "行目が正しくありません。"; unchanged
info_no_line_19|sed -i '19s/.*/\r/' media/info.txt||--yes|4|output_has "info.txt の 19 行目が正しくありません。"; unchanged
read_only_dry_run|chmod a-w c/EST/kov3.ini||--yes --dry-run --folder 'C:\EST'|7|output_has "C:\EST\kov3.ini は読み取り専用のため更新できません。"; output_has "更新内容の確認が終わりました。"
read_only_target|chmod a-w c/EST/kov3.ini||--yes --folder 'C:\EST'|7|output_lacks "システムは正常に更新されました。"; unchanged
help|||--help|0|output_has "Usage: koushin"
version|||--version|0|output_has "koushin 3.0.0"
wine_prefix|mkdir -p prefix/dosdevices && ln -s ../../c prefix/dosdevices/c: && DRIVES=(--wine-prefix "$D/prefix"); printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\Machine' '' '[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DemoEstimate8] 1700000000' '"UninstallString"="C:\\WINDOWS\\UNINST.EXE -fC:\\EST\\DeIsL1.isu"' >prefix/system.reg||--yes|0|output_has "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ: C:\EST"; updated
CASES

# The progress line is drawn on a terminal only: script(1) (bsdutils) gives the wizard one.
fresh progress_line_on_terminal
script -qec "'$BIN' --media '$D/media' --drive 'C=$D/c' --folder 'C:\EST' --yes" /dev/null \
  </dev/null >"$D/out" 2>&1
status=$?
expect_status 0
output_has $'\x1b[K['
# The file written, under its name in the installation (not the media's archive), and a bar
# over the run's bytes that is full at the end.
output_has "[########################] 6/6 zai004-3.mst "
output_lacks "MASTER.lzh"
updated

# --- checks before the first change -----------------------------------------------------------

# A file of the installation held open by a running program: natively `sleep`, or the Windows
# program tests/console/holder.cpp under Wine (found by its Windows name, not as the Wine server).
# The wizard runs once the holder holds the file.
ROOT=$(cd "$EXAMPLES/.." && pwd)
# shellcheck source=../../scripts/wine-env.sh
. "$ROOT/scripts/wine-env.sh"
x86_64-w64-mingw32-g++ -municode -static -O1 -o "$WORK/holder.exe" "$ROOT/tests/console/holder.cpp" ||
  fail "cannot build holder.exe (mingw-w64)"
koushin_wine_prefix || fail "no Wine prefix"
for kind in native wine; do
  fresh "held_open_$kind"
  file=$D/c/EST/kov3.ini
  if [ $kind = native ]; then
    sleep 600 3<"$file" &
    held() { [ -e "/proc/$holder/fd/3" ] && grep -q '^sleep' "/proc/$holder/cmdline"; }
  else
    "$WINE64" "$WORK/holder.exe" "Z:${file//\//\\}" "Z:${D//\//\\}\\ready" &
    held() { [ -e "$D/ready" ]; }
  fi
  holder=$!
  until held; do
    kill -0 "$holder" 2>/dev/null || { fail "the holder did not start"; break; }
    sleep 0.1
  done
  run --yes --folder 'C:\EST' --log "$D/log" --report "$D/report.json"
  kill "$holder"
  wait "$holder" 2>/dev/null
  expect_status 7
  report_has '"reason": "in use", "program": "'"$([ $kind = native ] && echo sleep || echo holder.exe)"'"}'
  output_has "次のプログラムが更新するファイルを使用しています。終了してから OK を押して下さい。"
  output_has "$([ $kind = native ] && echo sleep || echo holder.exe)"
  output_lacks wineserver
  grep -qF "exit status 7" "$D/log" || fail "the log lacks the exit status"
  unchanged
done

fresh bad_command_lines
for args in "--bogus" "--drive C" "--drive 1=/tmp" "--removable" "--removable QQ" "stray" \
  "--yes=1" "--folder" "--exit-codes=rpm" "--status" "--undo --dry-run --folder C:\EST"; do
  # shellcheck disable=SC2086
  run $args
  [ "$status" = 64 ] || fail "'$args' gave $status, expected 64"
  # One line naming the problem (in Japanese, no English words), then the hint; not the help.
  [ "$(wc -l <"$D/out")" = 2 ] && ! grep -qE '[a-z]{3,} [a-z]{2,}' "$D/out" && output_has "koushin --help で使い方を表示します。" ||
    fail "'$args': $(cat "$D/out")"
done
unchanged

# --- the fleet: a second run, a downgrade, a repair, a report for every run -------------------

# A second run of the same media changes no byte (our journal folder included) and keeps the
# undo point of the first; --status says so.
fresh second_run
run_expect 0 --yes --folder 'C:\EST' --report "$D/first.json"
cp -a "$D/c" "$D/first"
run_expect 0 --yes --folder 'C:\EST' --report "$D/report.json"
output_has "このシステムは既に 8.1S に更新されています。"
output_lacks "マスタのレコードの変換"
diff -r "$D/first" "$D/c" >/dev/null || fail "the second run changed the installation"
report_has '"outcome": "current"'
"$BIN" "${MEDIA[@]}" "${DRIVES[@]}" --status --folder 'C:\EST' >"$D/status.json" || fail "--status failed"
python3 - "$D/status.json" <<'PY' || fail "status: $(cat "$D/status.json")"
import json, sys
s = json.load(open(sys.argv[1]))
assert s["version"] == "8.1S" and s["variant"]["startArchive"] == "START2", s
assert s["undo"]["from"] == "8.0S" and s["undo"]["to"] == "8.1S", s
assert s["unfinishedRun"] is False and s["lastRunOutcome"] == "updated", s
PY
diff -r "$D/first" "$D/c" >/dev/null || fail "--status changed the installation"
run_expect 0 --undo --folder 'C:\EST' --report "$D/undo.json"
unchanged
# Counts in the same terms: each file once (zai004-3.mst is extracted, then converted: created),
# and the undo puts back as many files as the update replaced and removes those it created.
python3 - "$D/first.json" "$D/undo.json" <<'PY' || fail "counts: $(cat "$D/first.json" "$D/undo.json")"
import json, sys
first, undo = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:])
paths = [c["path"].upper() for c in first["changes"]]
assert len(paths) == len(set(paths)), paths
assert [c["change"] for c in first["changes"] if c["path"].upper().endswith("ZAI004-3.MST")] == ["created"]
assert undo["filesPutBack"] == first["filesReplaced"] == 7, (undo["filesPutBack"], first["filesReplaced"])
assert undo["filesRemoved"] == first["filesCreated"], (undo["filesRemoved"], first["filesCreated"])
PY

# Older media on a newer installation: refused, nothing written, both versions named.
fresh downgrade
for f in c/EST/tamiro1.ini before/tamiro1.ini; do sed -i 's/8\.0S/8.2S/g' "$D/$f"; done
run_expect 2 --yes --folder 'C:\EST' --report "$D/report.json"
output_has "(8.2S)"
output_has "(8.1S)"
output_lacks "システムは正常に更新されました。"
unchanged
[ ! -e "$D/c/EST/.koushin" ] || fail "the refused run wrote its journal folder"
report_has '"outcome": "check failed"'

# The repair: a file deleted by hand comes back, the master files are not converted again.
fresh reinstall
run_expect 0 --yes --folder 'C:\EST'
rm "$D/c/EST/ESTCALC.DLL"
run_expect 0 --yes --folder 'C:\EST' --reinstall --report "$D/report.json"
exists ESTCALC.DLL
updated
report_has '"outcome": "updated"'

# Every exit status has its report, and --exit-codes msi maps them.
while IFS='|' read -r name setup answers args want outcome; do
  fresh "report_$name"
  (cd "$D" && eval "$setup")
  eval "ANSWERS=($answers)"
  eval "run --report \"\$D/report.json\" $args"
  # A POSIX exit status holds 8 bits (1603 leaves as 67); the report holds the whole code.
  expect_status "$((want % 256))"
  report_has "\"outcome\": \"$outcome\""
  report_has "\"exitStatus\": $want"
  report_fits_schema
done <<'CASES'
info_missing|rm media/info.txt||--yes|4|media invalid
cancel_at_notice||2||1|cancelled
input_ends|||--folder 'C:\EST'|1|cancelled
check_media_bad|rm media/BMP.lzh||--check-media "$D/media"|4|media invalid
check_media_sound|||--check-media "$D/media"|0|planned
dry_run|||--yes --dry-run --folder 'C:\EST'|0|planned
read_only|chmod a-w c/EST/kov3.ini||--yes --folder 'C:\EST'|7|preflight refused
read_only_msi|chmod a-w c/EST/kov3.ini||--yes --folder 'C:\EST' --exit-codes msi|1603|preflight refused
cancel_msi||2|--exit-codes msi|1602|cancelled
nothing_to_recover|||--recover --folder 'C:\EST'|0|nothing to recover
nothing_to_undo|||--undo --folder 'C:\EST'|6|undo refused
CASES
fresh report_input_ends_message
ANSWERS=()
run --folder 'C:\EST'
output_has "質問に答える前に入力が終わったため、取り消しました"
# ta1menu.ini comes from an archive whose target folder is "\": one separator all the same.
fresh report_read_only_blocking
chmod a-w "$D/c/EST/ta1menu.ini"
run_expect 7 --yes --folder 'C:\EST' --report "$D/report.json"
report_has '{"path": "C:\\EST\\ta1menu.ini", "reason": "read-only", "program": null}'
report_fits_schema
output_has "C:\EST\ta1menu.ini は読み取り専用"
# The dry run's plan is the run: the same changes (with the bytes they leave), keys, records and
# kept bytes.
fresh plan_is_the_run
run_expect 0 --yes --dry-run --folder 'C:\EST' --report "$D/plan.json"
run_expect 0 --yes --folder 'C:\EST' --report "$D/report.json"
python3 - "$D/plan.json" "$D/report.json" <<'PY' || fail "the plan differs from the run"
import json, sys
plan, run = (json.load(open(f)) for f in sys.argv[1:])
fields = lambda r: [r[k] for k in ("changes", "iniKeysWritten", "masterRecordsConverted", "keptBytes")]
assert plan["outcome"] == "planned" and run["outcome"] == "updated"
assert fields(plan) == fields(run) and len(run["changes"]) == 16, (fields(plan), fields(run))
assert not any("\\\\" in c["path"] for c in run["changes"])
PY
report_fits_schema
# The report's place is checked before anything happens.
fresh report_unwritable
run_expect 64 --yes --folder 'C:\EST' --report "$D/missing/report.json"
output_lacks "更新先"
unchanged
# --log adds to an existing log.
fresh log_appends
run_expect 0 --yes --dry-run --folder 'C:\EST' --log "$D/log"
run_expect 0 --yes --dry-run --folder 'C:\EST' --log "$D/log"
[ "$(grep -c ' started$' "$D/log")" = 2 ] || fail "the log was replaced"


# --- all or nothing: restore, recovery, undo ---------------------------------------------------

fresh restore_fails_then_recover
KOUSHIN_FAULTS=60,1000000 run_expect 5 --yes --folder 'C:\EST'
output_has "を元に戻せませんでした。"
run_expect 6 --undo --folder 'C:\EST' --report "$D/report.json"
output_has "先に --recover で更新前の状態に戻してください。"
report_has '"restored": false'
run_expect 0 --recover --folder 'C:\EST' --report "$D/report.json"
output_has "前回の更新が途中で終わっています。更新前の状態に戻します。"
unchanged
report_has '"outcome": "recovered"'
run_expect 0 --recover --folder 'C:\EST'
output_has "途中で終わった更新はありません。"

fresh damaged_journal
KOUSHIN_FAULTS=60,1000000 run_expect 5 --yes --folder 'C:\EST'
printf 'XXXX' | dd of="$D/c/EST/.koushin/run/journal" bs=1 seek=20 conv=notrunc 2>/dev/null
run_expect 6 --recover --folder 'C:\EST'
run_expect 6 --yes --folder 'C:\EST'
output_has "前回の更新の記録を読めません。インストール先は変更していません。"

fresh undo
run_expect 0 --yes --folder 'C:\EST' --report "$D/report.json"
output_has "変更: "
report_has '"versionAfter": "8.1S"'
run_expect 0 --undo --folder 'C:\EST'
unchanged
run --yes --folder 'C:\EST'
printf 'changed' >"$D/c/EST/formater.exe"
run_expect 6 --undo --folder 'C:\EST'
output_has "formater.exe"
run_expect 0 --undo --force --folder 'C:\EST'
unchanged

# --- the media check: one case a line; the media copy is changed by SETUP (run in $D/media),
# checked with ARGS, and must give STATUS and show TEXT; nothing on the media changes.
cut_last_byte() { head -c -1 "$1" >cut && mv cut "$1"; }
while IFS='|' read -r name setup args want text; do
  fresh "check_$name"
  (cd "$D/media" && eval "$setup")
  before=$(cd "$D/media" && find . -type f -exec md5sum {} + | sort)
  # shellcheck disable=SC2086
  eval "\"\$BIN\" --check-media \"\$D/media\" $args" >"$D/out" 2>&1
  status=$?
  expect_status "$want"
  output_has "$text"
  [ "$before" = "$(cd "$D/media" && find . -type f -exec md5sum {} + | sort)" ] ||
    fail "the media changed"
done <<'CASES'
sound|:||0|ある製品別書庫: START1, START2
sound_on_a_floppy|:|--medium fd|0|問題 0 件、警告 1 件: 媒体は使えます
name_case|mv PROGRAM.lzh program.LZH; mv history.txt HISTORY.TXT||0|媒体は使えます
info_cut_short|head -c 300 info.txt >i && mv i info.txt||4|問題: info.txt 27 行目: the file ends before header line 27
info_missing|rm info.txt||4|問題: info.txt を読めません
info_no_ini_name|sed -i '19s/.*/\r/' info.txt||4|info.txt 19 行目: the system INI name is empty
info_every_rule|sed -i '19s/.*/\r/; 44s/PROGRAM/PROGRAM-NAMED-AT-LENGTH-OF-32-BYTES/' info.txt||4|info.txt 44 行目: entry column 3
info_short_entry|rm koushin.sha256; printf '1,0,history.txt\r\n' >>info.txt||0|警告: 項目 7、info.txt 49 行目: 項目の行の欄が 4 つより少ない
file_missing|rm history.txt||4|問題: 項目 5、info.txt 47 行目: ファイルがありません: 
archive_missing|rm BMP.lzh||4|問題: 項目 3、info.txt 45 行目: 書庫がありません
archive_cut_short|cut_last_byte PROGRAM.lzh||4|without its end mark
archive_crc|dd if=/dev/zero of=PROGRAM.lzh bs=1 seek=900 count=4 conv=notrunc 2>/dev/null||4|問題: 項目 2、info.txt 44 行目: 
start_variant_missing|rm START2.lzh; sed -i /START2.lzh/d koushin.sha256||4|問題: 項目 1、info.txt 43 行目: タイトルキーワード 2「積算」（29 行目）の書庫 START2.lzh がありません
start_no_variant|rm START1.lzh START2.lzh||4|書庫 START1.lzh～START15.lzh がどれもありません
disks_as_folders|mkdir ../disk2 && mv MASTER.lzh ../disk2/ && grep MASTER koushin.sha256 >../disk2/koushin.sha256 && sed -i /MASTER/d koushin.sha256|"$D/disk2"|0|媒体は使えます
packs_output_folder|mkdir disk1 disk2 && mv MASTER.lzh disk2/ && grep MASTER koushin.sha256 >disk2/koushin.sha256 && sed -i /MASTER/d koushin.sha256 && mv -- *.* disk1/|--medium 1457664|0|問題 0 件、警告 1 件: 媒体は使えます
list_damaged|printf x >>history.txt||4|問題: 更新ディスクのファイル history.txt が壊れています。
list_malformed|echo broken >>koushin.sha256||4|問題: 更新ディスクのファイル一覧 koushin.sha256 を読めません。
unsigned_with_a_key|:|--trusted-key "$EXAMPLES/../tests/port/data/other.pub"|4|問題: 1 枚目の更新ディスクには署名がありません。
two_entries_one_file|rm koushin.sha256; sed -i 's/history.txt,\\doc\\/history.txt,\\/' info.txt; printf '1,0,history.txt,\\\r\n' >>info.txt||0|警告: 項目 7、info.txt 49 行目: 項目 5 と同じファイル \HISTORY.TXT を書きます
disk_missing_its_file|mkdir ../disk2|"$D/disk2"|4|項目 6、info.txt 48 行目、ディスク 2: 書庫がありません
entry_beyond_the_disks|mkdir ../disk2; sed -i '48s/^2/3/' info.txt|"$D/disk2"|4|項目はディスク 3 にありますが、指定されたディスクは 2 枚です
too_big_for_a_floppy|head -c 1500000 /dev/zero >EXTRA.BIN|--medium fd|4|バイトあり、媒体の容量 1457664 バイトを超えます
fits_a_cd|head -c 1500000 /dev/zero >EXTRA.BIN|--medium cd|0|媒体は使えます
picture_not_a_bitmap|echo not a picture >VIEW.BMP||4|info.txt 22 行目: 絵がないか、更新ウィザードが表示できる BMP ではありません
target_out|rm koushin.sha256; sed -i 's/history.txt,\\doc\\/history.txt,..\\doc\\/' info.txt||0|はインストール先の外を指しています
target_drive|rm koushin.sha256; sed -i 's/history.txt,\\doc\\/history.txt,D:\\doc\\/' info.txt||0|はインストール先の外を指しています
CASES

# The check's findings as JSON for tools, beside the same lines on the terminal.
fresh check_report
"$BIN" --check-media "$D/media" --report "$D/report.json" >"$D/out" 2>&1
expect_status 0
report_has '"outcome": "planned"'
report_has '"severity": "warning", "disk": 1, "entry": 0, "line": 0, "text": "1 枚目に更新ウィザード koushin.exe がありません'

finish "console tests"
