#!/usr/bin/env bash
# Runs every libFuzzer target for a few seconds on its seed corpus (clang, ASan + UBSan).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${FUZZ_SECONDS:-10}
cmake --preset fuzz >/dev/null
cmake --build build/fuzz --parallel "${JOBS:-$(nproc)}"
shopt -s nullglob
status=0
for source in fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  corpus=fuzz/corpus/${name%_fuzz}
  work=build/fuzz/corpus-${name}
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${SECONDS_PER_TARGET}s"
  if ! build/fuzz/fuzz/"$name" -max_total_time="$SECONDS_PER_TARGET" -max_len=65536 \
      -artifact_prefix=build/fuzz/"$name"- "$work" >build/fuzz/"$name".log 2>&1; then
    echo "fuzz: $name found a fault; see build/fuzz/$name.log" >&2
    tail -40 build/fuzz/"$name".log >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "fuzz: every target ran clean"
exit $status
