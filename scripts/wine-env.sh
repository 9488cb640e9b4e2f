#!/usr/bin/env bash
# Shared Wine set-up for the scripts that run Windows programs. Source it from the repository root:
#   . scripts/wine-env.sh
#   koushin_wine_prefix            # creates build/wine once (idempotent, safe to run concurrently)
#   koushin_wine_locale ja         # LC_ALL for ANSI code page 932 (generates the locale if needed)
#   LC_ALL=$(koushin_wine_locale ja) "$WINE64" program.exe
# Run directly, it is the launcher the mingw64 preset gives ctest (CMAKE_CROSSCOMPILING_EMULATOR):
#   scripts/wine-env.sh program.exe args...   # ensures the prefix, then runs the program in it
# under the caller's LC_ALL.
# It exports WINEPREFIX (build/wine under the repository root), WINEDEBUG=-all, WINE64 (the
# 64-bit loader) and WINEDLLOVERRIDES that keep wineboot from asking for Mono and Gecko.

KOUSHIN_ROOT=${KOUSHIN_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$KOUSHIN_ROOT/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ -z "${WINE64:-}" ]; then
  if [ -x /usr/lib/wine/wine64 ]; then
    WINE64=/usr/lib/wine/wine64
  else
    WINE64=$(command -v wine64 || command -v wine || echo wine64)
  fi
fi
export WINE64
WINESERVER=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}
export WINESERVER

# Prints the LC_ALL value for a Wine code page: "ja" gives ja_JP.UTF-8 (ANSI code page 932),
# generating that locale when it is missing and we are root; "default" gives C.UTF-8, under which
# Wine's ANSI code page is 1252. Returns 1 when the Japanese locale is missing and cannot be made.
koushin_wine_locale() {
  case "${1:-ja}" in
    default)
      echo C.UTF-8
      ;;
    ja)
      if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
        if [ "$(id -u)" = 0 ] && [ -f /etc/locale.gen ]; then
          sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
          locale-gen >/dev/null 2>&1 || true
        fi
        if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
          echo "wine-env: the ja_JP.UTF-8 locale is missing (package locales, locale-gen)" >&2
          return 1
        fi
      fi
      echo ja_JP.UTF-8
      ;;
    *)
      echo "wine-env: unknown code page choice '$1'" >&2
      return 1
      ;;
  esac
}

# Creates the prefix once. A marker written after wineboot succeeds tells later calls that the
# prefix is whole; a lock keeps two scripts that start together from both booting it.
koushin_wine_prefix() {
  local marker=$WINEPREFIX/.koushin-ready
  [ -f "$marker" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    [ -f "$marker" ] && exit 0
    rm -rf "$WINEPREFIX"
    echo "wine-env: creating the Wine prefix $WINEPREFIX"
    if ! "$WINE64" wineboot -i >/dev/null 2>&1; then
      echo "wine-env: wineboot failed" >&2
      exit 1
    fi
    "$WINESERVER" -w 2>/dev/null || true
    touch "$marker"
  ) 9>"$WINEPREFIX.lock"
}

# Adds the registry keys the Win32 port's tests read (uninstall entries named koushin-test-*, in
# the 64-bit view and, below Wow6432Node, in the 32-bit view). One regedit start, from a version 5
# file (UTF-16), so the locale does not matter. Idempotent.
koushin_wine_test_registry() {
  local marker=$WINEPREFIX/.koushin-test-registry-1
  [ -f "$marker" ] && return 0
  koushin_wine_prefix || return 1
  (
    flock 9
    [ -f "$marker" ] && exit 0
    local file=$WINEPREFIX/drive_c/koushin-test.reg
    local uninstall='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    local uninstall32='HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
    {
      printf '\xff\xfe'
      printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        "[$uninstall\\koushin-test-表]" \
        '"UninstallString"="C:\\ソフト\\setup.exe -fC:\\EST\\ -x"' \
        '"Count"=dword:00000005' '' \
        "[$uninstall\\koushin-test-views]" '"UninstallString"="64"' '' \
        "[$uninstall32\\koushin-test-views]" '"UninstallString"="32"' '' \
        "[$uninstall\\koushin-test-only64]" '"UninstallString"="64"' '' |
        iconv -f UTF-8 -t UTF-16LE
    } >"$file"
    if ! "$WINE64" regedit /S 'C:\koushin-test.reg' >/dev/null 2>&1; then
      echo "wine-env: regedit could not import the test keys" >&2
      exit 1
    fi
    touch "$marker"
  ) 9>"$WINEPREFIX.lock"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -e
  koushin_wine_prefix >&2
  koushin_wine_test_registry >&2
  exec "$WINE64" "$@"
fi
