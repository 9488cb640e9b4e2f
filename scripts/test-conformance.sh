#!/usr/bin/env bash
# The conformance stage: every archive of the corpus of archives from many LHA tools through our
# reader and decoders against liblhasa, and the corpus's hostile archives through the extraction
# (tests/archive/conformance.cpp). The corpus stays outside the repository: KOUSHIN_LZH_CORPUS, or
# shared/lzh-corpus beside the clone (as CI lays it). Where there is none the stage says so and
# ends with status 77, which ./run counts as not run, never as passed; with
# KOUSHIN_REQUIRE_CONFORMANCE=1 (CI, which has the corpus) that is a failure instead.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

corpus=${KOUSHIN_LZH_CORPUS:-}
if [ -z "$corpus" ] && [ -f ../shared/lzh-corpus/README.md ]; then corpus=../shared/lzh-corpus; fi
if [ -z "$corpus" ] || [ ! -d "$corpus" ]; then
  echo "conformance: not run (no corpus)"
  if [ "${KOUSHIN_REQUIRE_CONFORMANCE:-0}" = 1 ]; then
    echo "conformance: FAIL the corpus is required here (KOUSHIN_REQUIRE_CONFORMANCE=1)" >&2
    exit 1
  fi
  exit 77
fi
KOUSHIN_LZH_CORPUS=$(cd "$corpus" && pwd)
export KOUSHIN_LZH_CORPUS
echo "conformance: the corpus at $KOUSHIN_LZH_CORPUS"
cmake --preset native >/dev/null
cmake --build build/native --parallel "$JOBS" --target lzh_conformance >/dev/null
build/native/tests/archive/lzh_conformance
