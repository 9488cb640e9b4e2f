#!/usr/bin/env bash
# The tree must work from a clone at any path. This stage copies the tree (as git has it, with
# uncommitted changes) below a folder whose path holds a space, a Japanese folder name, and
# folders named new, tmp and rest, which in Windows spelling read "\new", "\tmp" and "\rest",
# and from there builds the native tree whole (programs, manual pages, suites), runs every native
# suite, and one GUI scenario (the notice, its multi-line text, cancelled). The other stages stay
# in the tree they were started from.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

BASE=$(mktemp -d "${TMPDIR:-/tmp}/koushin-any-path.XXXXXX")
trap 'rm -rf "$BASE"' EXIT
COPY="$BASE/any path/更新 テスト/new/tmp/rest/koushin"
mkdir -p "$COPY"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf - | tar -xf - -C "$COPY"
else
  tar --exclude=./build -cf - . | tar -xf - -C "$COPY"
fi
echo "any-path: the tree copied to $COPY"

status=0
cd "$COPY"
# The native suites, built here, their temporary folders below the same path.
WORK="$BASE/any path/更新 テスト/new/tmp/rest/work"
mkdir -p "$WORK"
if cmake --preset native >"$WORK/native.log" 2>&1 &&
    cmake --build build/native --parallel "$JOBS" >>"$WORK/native.log" 2>&1 &&
    (cd build/native && TMPDIR=$WORK ctest --output-on-failure -j "$JOBS" \
      >>"$WORK/native.log" 2>&1); then
  echo "any-path: the native build and suites passed"
else
  grep -a -v '^ok' "$WORK/native.log" | tail -60 >&2
  echo "any-path: FAIL the native build or suites" >&2
  status=1
fi
# One GUI scenario, with the Wine prefix of the tree this stage started from (making a second one
# would only cost time).
if WINEPREFIX=$ROOT/build/wine KOUSHIN_GUI_ONLY=cancel bash scripts/test-gui.sh; then
  echo "any-path: the GUI scenario passed"
else
  echo "any-path: FAIL the GUI scenario" >&2
  status=1
fi
exit $status
