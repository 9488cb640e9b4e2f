#!/usr/bin/env bash
# The demo, run by `./run demo` after the release build: updates a fresh copy of the demo
# installation (examples/demo-install) from the demo media (examples/demo-media) with the console
# wizard, then shows what changed. On a terminal the wizard asks its questions; otherwise it runs
# unattended (--yes). Options for the Windows GUI demo (--gui) belong to scripts/demo-gui.sh.
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

for arg in "$@"; do
  if [ "$arg" = --gui ]; then exec bash scripts/demo-gui.sh "$@"; fi
done

BIN=${KOUSHIN:-$ROOT/build/koushin}
[ -x "$BIN" ] || BIN=$ROOT/build/release/app/console/koushin
DEMO=$ROOT/build/demo
rm -rf "$DEMO"
mkdir -p "$DEMO/c/WINDOWS" "$DEMO/before"
cp -r examples/demo-install/EST "$DEMO/c/EST"
cp -r examples/demo-install/EST "$DEMO/before/EST"

args=(--media "$ROOT/examples/demo-media" --drive "C=$DEMO/c"
      --registry "$ROOT/examples/demo-registry.reg" --log "$DEMO/koushin.log")
if [ -t 0 ] && [ -t 1 ]; then
  echo "demo: drive C: is $DEMO/c; the installation is C:\\EST (Enter takes each default)."
else
  args+=(--yes)
fi
echo "demo: koushin ${args[*]}"
"$BIN" "${args[@]}"
status=$?
echo
echo "demo: koushin exited with status $status; log in $DEMO/koushin.log"

# What changed, with code page 932 texts shown as UTF-8.
is_text() { case "${1,,}" in *.ini | *.txt | *.mst | *.dat) return 0 ;; esac; return 1; }
# Master records are fixed-width: runs of padding are shown as one "…".
utf8() {
  case "${1,,}" in
    *.mst) iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' | sed -E 's/ {4,}/ … /g' ;;
    *) iconv -f CP932 -t UTF-8 "$1" | tr -d '\r' ;;
  esac
}
echo "demo: changes in C:\\EST"
cd "$DEMO"
# Our journal folder (.koushin: the lock and the kept old files for an undo) is left out.
{ (cd before/EST && find . -type f); (cd c/EST && find . -path ./.koushin -prune -o -type f -print); } |
  sort -u | while read -r f; do
  f=${f#./}
  old=before/EST/$f new=c/EST/$f
  if [ ! -e "$old" ]; then
    echo "+ $f (new, $(stat -c %s "$new") bytes)"
    if is_text "$f"; then utf8 "$new" | sed 's/^/    /'; fi
  elif [ ! -e "$new" ]; then
    echo "- $f (removed)"
  elif ! cmp -s "$old" "$new"; then
    echo "~ $f ($(stat -c %s "$old") -> $(stat -c %s "$new") bytes)"
    if is_text "$f"; then diff -u <(utf8 "$old") <(utf8 "$new") | tail -n +3 | sed 's/^/    /'; fi
  fi
done
exit $status
