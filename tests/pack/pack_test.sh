#!/usr/bin/env bash
# koushin-pack end to end: the program as a process on manifests and sources in a temporary
# folder, the LZH peers (lhasa, bsdtar, jlha) reading what it made.
# usage: pack_test.sh KOUSHIN_PACK EXAMPLES_DIR KOUSHIN_CONSOLE
set -u
PACK=$(realpath "$1")
EXAMPLES=$(realpath "$2")
CONSOLE=$(realpath "$3")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-pack.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
export LC_ALL=C.UTF-8
unset SOURCE_DATE_EPOCH
# shellcheck source=../console/cases.sh
. "$(dirname "$0")/../console/cases.sh"

# --- The demo: koushin-pack makes the committed demo media byte for byte (the wizard's own tests
# update the demo installation from them).
CASE=demo
KOUSHIN_PACK=$PACK bash "$EXAMPLES/make-demo.sh" "$WORK/demo-media" || fail "make-demo.sh failed"
diff -r "$WORK/demo-media" "$EXAMPLES/demo-media" || fail "the media differ from the committed ones"

# --- Refusals: each case is a manifest (the lines below the four common ones) with the line and
# reason it must be refused for; nothing may be written.
mkdir -p "$WORK/src/a" "$WORK/src/dup/sub"
printf 'x' >"$WORK/src/a/x.txt"
printf 'x' >"$WORK/src/dup/x.txt"
printf 'X' >"$WORK/src/dup/sub/X.TXT"
head -c 3000 /dev/urandom >"$WORK/src/a/noise.bin"
head -c 600 /dev/urandom >"$WORK/src/file.bin"
COMMON=$'installFolder = \'C:\\X\'\nversionIniCode = 1\ndetectSystemIni = true\ncategoryCode = 1'
KEYS='uninstallKeys = ["K"]'
ENTRY=$'[[entry]]\nfolder = "src/a"\ntarget = \'\\\''
many() { local i s=; for i in $(seq 1 "$1"); do s+="\"$2$i\","; done; echo "[${s%,}]"; }
breaks=$(for i in $(seq 1 101); do printf 'line\n'; done)
refused() { # NAME LINE REASON OPTIONS MANIFEST-LINES
  CASE=$1
  printf '%s\n%s\n' "$COMMON" "$5" >"$WORK/$1.toml"
  "$PACK" "$WORK/$1.toml" --out "$WORK/out-$1" $4 >"$WORK/$1.out" 2>&1
  local status=$?
  [ "$status" = 1 ] || fail "exit status $status, expected 1"
  grep -F -- "$1.toml:$2: " "$WORK/$1.out" | grep -qF -- "$3" ||
    { fail "no '$3' at line $2"; sed 's/^/    | /' "$WORK/$1.out"; }
  [ ! -e "$WORK/out-$1" ] || fail "something was written"
}
refused not-cp932 6 "newVersion にシフト JIS（コードページ 932）にない文字があります" "" \
  "$KEYS"$'\nnewVersion = "8.1 \xF0\x9F\x98\x80"\n'"$ENTRY"
refused breaks 6 "noticeText の改行が 101 個あります" "" "$KEYS"$'\nnoticeText = """\n'"$breaks"$'\nend"""\n'"$ENTRY"
refused keys 5 "uninstallKeys が 16 個あります" "" "uninstallKeys = $(many 16 K)"$'\n'"$ENTRY"
refused keywords 6 "titleKeywords が 16 個あります" "" "$KEYS"$'\ntitleKeywords = '"$(many 16 W)"$'\n'"$ENTRY"
refused entries 6 "項目が 101 個あります" "" "$KEYS"$'\n'"$(for i in $(seq 1 101); do echo "$ENTRY"; done)"
refused long-name 9 "はシフト JIS で 32 バイトあります" "" "$KEYS"$'\n'"$ENTRY"$'\nname = "ソソソソソソソソソソソソソソソソ"'
refused long-target 8 "はシフト JIS で 34 バイトあります" "" "$KEYS"$'\n[[entry]]\nfolder = "src/a"\ntarget = \'\\表表表表表表表表表表表表表表表表\\\''
refused comma 9 "にコンマがあります" "" "$KEYS"$'\n'"$ENTRY"$'\nname = "A,B"'
refused big-file 6 "file.bin（600 バイト）は 1 枚のディスク（512 バイト）に入りません" "--medium 512" \
  "$KEYS"$'\n[[entry]]\nfile = "src/file.bin"\ntarget = \'\\\''
refused big-archive 6 "A.lzh（" "--medium 2048" \
  "$KEYS"$'\n'"$ENTRY"$'\n[[entry]]\nfolder = "src/dup/sub"\ntarget = \'\\\'\n[[entry]]\nfolder = "src/dup/sub"\nname = "B"\ntarget = \'\\\'\ndisk = 2'
# Only the root cause: the entries after the archive that fits no disk are not refused for it.
[ "$(grep -c 'big-archive.toml:' "$WORK/big-archive.out")" = 1 ] ||
  fail "more than the root cause: $(cat "$WORK/big-archive.out")"
refused one-name 6 "が同じファイルになります" "" "$KEYS"$'\n[[entry]]\nfolder = "src/dup"\ntarget = \'\\\''
refused disk-down 10 "disk = 1 ですが、前の項目はもうディスク 2 にあります" "" "$KEYS"$'\n'"$ENTRY"$'\ndisk = 2\n[[entry]]\nfolder = "src/dup/sub"\ntarget = \'\\\'\ndisk = 1'
refused file-first 6 "ディスク 2 の最初の項目は START 以外の書庫（folder）にしてください" "" \
  "$KEYS"$'\n[[entry]]\nfile = "src/file.bin"\ntarget = \'\\\'\ndisk = 2'
refused target-end 8 "target は \\ で終えてください" "" "$KEYS"$'\n[[entry]]\nfolder = "src/a"\ntarget = \'\\sub\''

# --- Pictures are read as the wizard reads them before anything is written: a picture that is
# no bitmap is refused at its manifest line.
refused not-a-bitmap 6 "file.bin は更新ウィザードが表示できる BMP ではありません" "" \
  "$KEYS"$'\nviewBitmap = "src/file.bin"\n'"$ENTRY"

# --- Disks and peers: entries packed in order onto the fewest floppies, the same bytes on every
# run, and every archive (Japanese folders, names with 0x5C trail bytes) read back by lhasa,
# bsdtar, jlha and the wizard's own check of the media.
CASE=disks
mkdir -p "$WORK/src/資料/表能"
head -c 900000 /dev/urandom >"$WORK/src/資料/表能/ソ.bin"
head -c 100000 /dev/urandom >"$WORK/src/資料/能.bin"
seq 1 200000 >"$WORK/src/資料/表.txt"
cp -r "$WORK/src/資料" "$WORK/src/資料2"
printf '%s\n%s\n' "$COMMON" "$KEYS" >"$WORK/disks.toml"
for n in 1 2; do printf '[[entry]]\nfolder = "src/資料%s"\nname = "D%s"\ntarget = \x27\\\x27\n' "${n/1/}" "$n"; done >>"$WORK/disks.toml"
"$PACK" "$WORK/disks.toml" --out "$WORK/disks" --medium fd >"$WORK/disks.out" 2>&1 || fail "status $?"
[ -f "$WORK/disks/disk1/D1.lzh" ] && [ -f "$WORK/disks/disk2/D2.lzh" ] || fail "not one archive per floppy"
grep -qa '^2,1,D2,' "$WORK/disks/disk1/info.txt" || fail "info.txt does not put D2 on disk 2"
for run in a:2001-01-01 b:2002-02-02; do
  touch -d "${run#*:}" "$WORK/src/資料/表.txt"
  SOURCE_DATE_EPOCH=1000000000 "$PACK" "$WORK/disks.toml" --out "$WORK/disks-${run%%:*}" --medium fd >/dev/null 2>&1
done
diff -r "$WORK/disks-a" "$WORK/disks-b" >/dev/null || fail "SOURCE_DATE_EPOCH does not give the same bytes"
for peer in "lhasa xq" "bsdtar --options hdrcharset=CP932 -xf" \
  "java -Dlha.encoding=MS932 -Dfile.encoding=UTF-8 -jar /usr/share/java/jlhafrontend.jar x"; do
  out="$WORK/peer-${peer%% *}"
  mkdir -p "$out" && (cd "$out" && $peer "$WORK/disks/disk1/D1.lzh" >/dev/null 2>&1) || fail "$peer failed"
  for f in ソ.bin 能.bin 表.txt; do
    name=$f
    [ "${peer%% *}" = lhasa ] && name=$(printf '%s' "$f" | iconv -f UTF-8 -t CP932)
    find "$WORK/src/資料" -name "$f" -exec cmp -s {} "$out/$name" \; -print | grep -q . || fail "$peer: $f differs"
  done
done

# --- Lists, keys and signatures: every disk's list passes sha256sum -c, the signature verifies
# with the openssl program, and the wizard takes signed media only with the right key and list.
CASE=signed
(cd "$WORK" && "$PACK" --make-key vendor >/dev/null) || fail "--make-key failed"
[ "$(stat -c %a "$WORK/vendor.key")" = 600 ] || fail "the private key is readable by others"
cp "$WORK/vendor.key" "$WORK/vendor.key.before"
(cd "$WORK" && "$PACK" --make-key vendor >/dev/null 2>&1) && fail "--make-key replaced a key"
cmp -s "$WORK/vendor.key" "$WORK/vendor.key.before" || fail "a refused --make-key changed the key"
(cd "$WORK" && "$PACK" --make-key other >/dev/null) || fail "--make-key other failed"
printf 'MZ wizard' >"$WORK/wizard.bin"
"$PACK" "$WORK/disks.toml" --out "$WORK/signed" --medium fd --sign "$WORK/vendor.key" \
  --wizard "$WORK/wizard.bin" --console "$WORK/wizard.bin" >"$WORK/signed.out" 2>&1 || fail "status $?"
for disk in "$WORK"/signed/disk*; do
  (cd "$disk" && sha256sum --quiet -c koushin.sha256) || fail "sha256sum -c fails on $disk"
  [ "$(openssl dgst -sha256 -verify "$WORK/vendor.pub" -signature "$disk/koushin.sha256.sig" \
    "$disk/koushin.sha256")" = "Verified OK" ] || fail "openssl does not verify $disk"
done
[ -f "$WORK/signed/disk1/koushin.exe" ] && [ -f "$WORK/signed/disk1/koushin-console.exe" ] ||
  fail "the wizards are not on disk 1 under their names"
check() { "$CONSOLE" --check-media "$WORK/$1" "${@:3}" >"$WORK/check.out" 2>&1; local s=$?
  [ "$s" = "$2" ] || { fail "check-media $1 ${*:3}: status $s, expected $2"; sed 's/^/    | /' "$WORK/check.out"; }; }
check signed 0 --trusted-key "$WORK/vendor.pub" --medium 1457664
grep -qF "署名: " "$WORK/check.out" || fail "the check does not name the signer"
check signed 4 --trusted-key "$WORK/other.pub"
grep -qF "1 枚目の更新ディスクの署名は信頼された鍵のものではない" "$WORK/check.out" || fail "no untrusted-key problem"
# A list rewritten to match a changed file, without the key, never passes.
cp -r "$WORK/signed" "$WORK/forged"
printf 'x' >>"$WORK/forged/disk1/D1.lzh"
(cd "$WORK/forged/disk1" && sha256sum info.txt D1.lzh koushin.exe koushin-console.exe >koushin.sha256)
check forged 4 --trusted-key "$WORK/vendor.pub"
rm "$WORK"/forged/disk*/koushin.sha256.sig
check forged 4 --trusted-key "$WORK/vendor.pub"
grep -qF "署名がありません" "$WORK/check.out" || fail "no missing-signature problem"
# An installation that trusts the key: the wizard takes the signed disk and refuses the forged one.
mkdir -p "$WORK/inst/EST/bmp" "$WORK/inst/EST/.koushin/trusted"
printf '[SYSTEM]\r\nTITLE=K\r\n' >"$WORK/inst/EST/tamiro1.ini"
: >"$WORK/inst/EST/ta1menu.ini"; : >"$WORK/inst/EST/bmp/LAYER2L.BMP"
cp "$WORK/vendor.pub" "$WORK/inst/EST/.koushin/trusted/"
cp -r "$WORK/inst" "$WORK/inst-before"
"$CONSOLE" --media "$WORK/forged/disk1" --drive "C=$WORK/inst" --yes --folder 'C:\EST' >"$WORK/run.out" 2>&1
[ $? = 4 ] || fail "the forged media were not refused with status 4"
diff -r "$WORK/inst-before" "$WORK/inst" >/dev/null || fail "the forged media changed the installation"

# --- Title keywords: the positions a manifest leaves unused match no title, so another product is
# told the update does not fit (status 2), and a keyword without its START variant is refused.
CASE=keywords
mkdir -p "$WORK/src/s1" && printf 's' >"$WORK/src/s1/S.TXT"
printf '%s\n%s\ntitleKeywords = ["建築版", "積算"]\n[[entry]]\nstart = ["src/s1", "src/s1"]\ntarget = \x27\\\x27\n' \
  "$COMMON" "$KEYS" >"$WORK/kw.toml"
printf '[[entry]]\nfile = "src/資料/能.bin"\ntarget = \x27\\\x27\n' >>"$WORK/kw.toml"
"$PACK" "$WORK/kw.toml" --out "$WORK/kw" --sign "$WORK/vendor.key" >"$WORK/kw.out" 2>&1 ||
  fail "status $?"
grep -qF "  1 file, " "$WORK/kw.out" || fail "the report does not say 1 file"
# The report's columns line up by display width: a double-byte character takes two columns, as
# it takes two bytes in code page 932.
# Each size ends in column 39: two spaces, the name in 24 columns, a space, 12 for the size.
for name in START1.lzh 能.bin; do
  grep -F "  $name " "$WORK/kw.out" | iconv -f UTF-8 -t CP932 |
    LC_ALL=C awk '{ exit !(substr($0, 39, 1) ~ /[0-9]/ && substr($0, 40, 1) ~ /^ ?$/) }' ||
    fail "the size of $name is not in its column: $(grep -F "$name" "$WORK/kw.out")"
done
"$PACK" --version | grep -q '^koushin-pack [0-9]' || fail "no --version"
grep -qF "キーワード" "$WORK/kw.out" && fail "findings about the unused keywords: $(grep -F キーワード "$WORK/kw.out")"
rm -rf "$WORK/inst/EST/.koushin"
"$CONSOLE" --media "$WORK/kw" --drive "C=$WORK/inst" --yes --folder 'C:\EST' >"$WORK/run.out" 2>&1
[ $? = 2 ] || fail "another product was not told the update does not fit (status $?)"
grep -qF "このバージョンへの更新はできません。" "$WORK/run.out" || fail "no check message"
# The product of keyword 1, on signed media its installation trusts: updated with START1.
printf '[SYSTEM]\r\nTITLE=\x8c\x9a\x92\x7a\x94\xc5 8.0\r\n' >"$WORK/inst/EST/tamiro1.ini"
mkdir -p "$WORK/inst/EST/.koushin/trusted" && cp "$WORK/vendor.pub" "$WORK/inst/EST/.koushin/trusted/"
"$CONSOLE" --media "$WORK/kw" --drive "C=$WORK/inst" --yes --folder 'C:\EST' >"$WORK/run.out" 2>&1 ||
  fail "the signed media were not taken (status $?)"
[ -f "$WORK/inst/EST/S.TXT" ] || fail "START1 was not extracted"
refused keyword-variant 7 'タイトルキーワード 2「積算」の書庫 START2.lzh がありません' "" \
  "$KEYS"$'\ntitleKeywords = ["建築版", "積算"]\n[[entry]]\nstart = ["src/s1"]\ntarget = \'\\\''

finish "pack tests"
