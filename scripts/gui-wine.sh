#!/usr/bin/env bash
# Wine settings for the Windows GUI, shared by scripts/test-gui.sh and scripts/demo-gui.sh.
# Source it after scripts/wine-env.sh:
#   koushin_gui_registry FILE   # writes the settings as a .reg file (UTF-16) and imports it
# The settings: the dialog fonts ("ＭＳ Ｐゴシック" and the shell dialog fonts) mapped to the IPA
# Gothic fonts, without which every Japanese text is a row of boxes, and a 1024x768 virtual
# desktop named koushin for koushin.exe and the GUI test driver, so windows get title bars
# although Xvfb has no window manager.

koushin_gui_registry() {
  local file=$1
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
      '"MS Shell Dlg"="IPAPGothic"' '"MS Shell Dlg 2"="IPAPGothic"' \
      '"MS UI Gothic"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' '"ＭＳ Ｐゴシック"="IPAPGothic"' \
      '"MS Gothic"="IPAGothic"' '"ＭＳ ゴシック"="IPAGothic"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"koushin"="1024x768"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\koushin.exe\Explorer]' \
      '"Desktop"="koushin"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\koushin_gui_driver.exe\Explorer]' \
      '"Desktop"="koushin"' '' |
      iconv -f UTF-8 -t UTF-16LE
  } >"$file"
  "$WINE64" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1
}
