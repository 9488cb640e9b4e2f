#!/usr/bin/env bash
# The Windows stage: cross-builds with mingw-w64, runs the test suites under Wine twice (ANSI code
# page 932, then Wine's default 1252, to show that nothing leans on the ANSI code page), and checks
# that the shipped 32-bit programs still fit the media (under 1 MB each).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/wine-env.sh
JOBS=${JOBS:-$(nproc)}
SIZE_LIMIT=1048576  # 1 MB: the update media were floppy disks

japanese=$(koushin_wine_locale ja)
koushin_wine_prefix
koushin_wine_test_registry

echo "windows: building the x86_64 suites (build/mingw64)"
cmake --preset mingw64 >/dev/null
cmake --build build/mingw64 --parallel "$JOBS"
echo "windows: building the i686 programs (build/mingw32)"
cmake --preset mingw32 >/dev/null
cmake --build build/mingw32 --parallel "$JOBS"
echo "windows: building the native console wizard (build/native), the differential's peer"
cmake --preset native >/dev/null
cmake --build build/native --parallel "$JOBS" --target koushin_console engine_tests
# The engine suite under Wine reads the archives that jlha (Java) made for the native suite, in
# build/native/engine-test-archives; one native case makes them where they are missing.
build/native/tests/engine/engine_tests --gtest_filter='UpdateRunTest.FailedCheck*' >/dev/null

# The demo update (examples/) run by the Windows console wizard under Wine and by the native one
# on the POSIX port: same exit status, same screen text, same files. The one expected difference:
# Wine's profile functions rewrite an INI file without its blank lines, where Windows (and our
# POSIX profile engine) edit in place; so INI files are compared without blank lines.
# CASE is "update" (the whole update), "dry-run" (checks only; nothing may change) or "no-install"
# (the folder holds no installation: the check fails on both sides).
console_differential() {
  local locale=$1 case=$2
  local native=build/native/app/console/koushin exe=build/mingw64/app/console/koushin-console.exe
  local work=$PWD/build/windows-console/$case side
  rm -rf "$work"
  for side in win native; do
    mkdir -p "$work/$side"
    cp -r examples/demo-install/EST "$work/$side/EST"
    cp -r examples/demo-media "$work/$side/media"
  done
  local winRoot="Z:${work//\//\\}\\win"
  local winStatus=0 nativeStatus=0 folder=EST extra=()
  [ "$case" = dry-run ] && extra=(--dry-run)
  [ "$case" = no-install ] && folder=media
  LC_ALL=$locale scripts/wine-env.sh "$exe" --media "$winRoot\\media" \
    --folder "$winRoot\\$folder" --yes "${extra[@]}" >"$work/win/out" 2>&1 || winStatus=$?
  "$native" --media "$work/native/media" --folder "$work/native/$folder" --yes "${extra[@]}" \
    >"$work/native/out" 2>&1 || nativeStatus=$?
  local ok=0
  if [ "$winStatus" != "$nativeStatus" ]; then
    echo "windows: console exit status $winStatus under Wine, $nativeStatus natively" >&2
    ok=1
  fi
  # The installation folder appears in the screen text; it is spelled differently on each side.
  local winText nativeText
  winText=$(tr -d '\r' <"$work/win/out")
  nativeText=$(cat "$work/native/out")
  # So do the media's files, which the dry run's plan names.
  if [ "$case" != no-install ]; then
    winText=${winText//"$winRoot\\media\\"/MEDIA/}
    nativeText=${nativeText//"$work/native/media/"/MEDIA/}
  fi
  winText=${winText//"$winRoot\\$folder"/FOLDER}
  nativeText=${nativeText//"$work/native/$folder"/FOLDER}
  # The kept old INI versions differ in size by the blank lines Wine's profile functions drop; the
  # run's log is named by the second each run started.
  local normal='s/元のファイルの控え: [0-9]+ バイト/元のファイルの控え: N バイト/; s/[0-9]{8}T[0-9]{6}Z(_[0-9]+)?\.log/RUN.log/'
  winText=$(printf '%s\n' "$winText" | sed -E "$normal")
  nativeText=$(printf '%s\n' "$nativeText" | sed -E "$normal")
  if ! diff <(printf '%s\n' "$winText") <(printf '%s\n' "$nativeText") >&2; then
    echo "windows: the console's screen text differs under Wine (<) and natively (>)" >&2
    ok=1
  fi
  local line file
  while IFS= read -r line; do
    case "$line" in
      "Files "*" differ")
        file=${line#Files "$work"/win/EST/}
        file=${file%% and *}
        if [[ "${file,,}" == *.ini ]] &&
           diff <(grep -Eav $'^\r?$' "$work/win/EST/$file") \
                <(grep -Eav $'^\r?$' "$work/native/EST/$file") >/dev/null; then
          continue
        fi
        echo "windows: console result differs: $file" >&2
        ok=1
        ;;
      *)
        echo "windows: console result differs: $line" >&2
        ok=1
        ;;
    esac
  done < <(diff -rq -x .koushin "$work/win/EST" "$work/native/EST" || true)
  # Our journal folder (.koushin: the lock, the kept generation) is no part of the installation.
  if [ "$case" != update ] && ! diff -r -x .koushin examples/demo-install/EST "$work/win/EST" >/dev/null; then
    echo "windows: the $case case changed the installation" >&2
    ok=1
  fi
  [ $ok -eq 0 ] &&
    echo "windows: console $case under Wine (LC_ALL=$locale) = native (exit status $winStatus)"
  return $ok
}

status=0
# One Wine start per test executable; ctest runs each through scripts/wine-env.sh. The power-cut
# and memory suites run under code page 932 only: they repeat the demo update thousands of times
# through the port calls that the other suites make under both code pages.
once=()
for locale in "$japanese" "$(koushin_wine_locale default)"; do
  echo "windows: test suites under Wine, LC_ALL=$locale"
  if ! (cd build/mingw64 &&
        LC_ALL=$locale ctest --output-on-failure -j "$JOBS" "${once[@]}"); then
    echo "windows: a suite failed under LC_ALL=$locale" >&2
    status=1
  fi
  for case in update dry-run no-install; do
    console_differential "$locale" "$case" || status=1
  done
  once=(-E '^(crash_consistency|allocation_failure_tests)$')
done

for program in koushin-console.exe koushin.exe; do
  path=$(find build/mingw32 -name "$program" -type f -print -quit)
  if [ -z "$path" ]; then
    echo "windows: $program was not built" >&2
    status=1
    continue
  fi
  size=$(stat -c %s "$path")
  if [ "$size" -ge "$SIZE_LIMIT" ]; then
    echo "windows: $path is $size bytes, not under $SIZE_LIMIT" >&2
    status=1
  else
    echo "windows: $program is $size bytes (limit $SIZE_LIMIT)"
  fi
done

[ $status -eq 0 ] && echo "windows: every suite passed under both code pages"
exit $status
