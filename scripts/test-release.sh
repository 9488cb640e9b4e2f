#!/usr/bin/env bash
# The programs a user installs come from the release build (./run build, ./run demo, cmake
# --install build/release): no tests and no test hooks. Neither program carries the port's fault
# injection, and koushin updates the demo installation with KOUSHIN_FAULTS set as it does without.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

cmake --preset release >/dev/null
cmake --build build/release --parallel "$JOBS" >/dev/null
status=0
fail() { echo "release: FAIL $*" >&2; status=1; }

[ -z "$(find build/release -type f -name '*_tests' | head -1)" ] ||
  fail "the release build holds tests"
for program in build/release/app/console/koushin build/release/app/pack/koushin-pack; do
  ! nm -C "$program" | grep -q -e SetInjectedFaults -e FaultInjected ||
    fail "$program carries fault injection"
done
[ "$(readlink -f build/koushin)" = "$(readlink -f build/release/app/console/koushin)" ] ||
  fail "build/koushin is not the release build's"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-release.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/c/WINDOWS"
cp -r examples/demo-install/EST "$WORK/c/EST"
KOUSHIN_FAULTS=1 build/release/app/console/koushin --media "$ROOT/examples/demo-media" \
  --drive "C=$WORK/c" --registry "$ROOT/examples/demo-registry.reg" --log "$WORK/koushin.log" \
  --yes >"$WORK/out.txt" 2>&1 || fail "KOUSHIN_FAULTS=1 failed the demo update (status $?)"
diff -rq examples/demo-install/EST "$WORK/c/EST" >/dev/null && fail "the demo update changed nothing"
[ $status -eq 0 ] && echo "release: no test hooks in the installed programs; KOUSHIN_FAULTS has no effect"
exit $status
