#!/usr/bin/env bash
# Wine settings for the Windows GUI, shared by scripts/test-gui.sh and scripts/demo-gui.sh.
# Source it after scripts/wine-env.sh:
#   koushin_gui_registry FILE [DRIVE_TYPE...]   # the settings as a .reg file (UTF-16), imported
# The settings: the dialog fonts ("ＭＳ Ｐゴシック", the shell dialog fonts and Tahoma, the font of
# message boxes and captions) mapped to the IPA Gothic fonts, without which every Japanese text is
# a row of boxes; a 1024x768 virtual desktop named koushin for koushin.exe and the GUI test
# driver, so windows get title bars although Xvfb has no window manager; and drive types given as
# '"d:"="floppy"' (read when the Wine server starts). It also puts Wine's Marlett font (package
# fonts-wine) into the prefix's Fonts folder: Debian's Wine does not load the fonts of its own
# data folder, and without Marlett the caption buttons draw as letters ("r" for the close box).

koushin_gui_registry() {
  local file=$1
  shift
  local marlett=/usr/share/wine/fonts/marlett.ttf
  if [ ! -f "$marlett" ]; then
    echo "gui-wine: $marlett is missing (package fonts-wine)" >&2
    return 1
  fi
  ln -sfn "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"
  {
    printf '\xff\xfe'
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
      '"MS Shell Dlg"="IPAPGothic"' '"MS Shell Dlg 2"="IPAPGothic"' \
      '"MS UI Gothic"="IPAPGothic"' '"MS PGothic"="IPAPGothic"' '"ＭＳ Ｐゴシック"="IPAPGothic"' \
      '"MS Gothic"="IPAGothic"' '"ＭＳ ゴシック"="IPAGothic"' '"Tahoma"="IPAPGothic"' '' \
      '[HKEY_LOCAL_MACHINE\Software\Wine\Drives]' "$@" '' \
      '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"koushin"="1024x768"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\koushin.exe\Explorer]' \
      '"Desktop"="koushin"' '' \
      '[HKEY_CURRENT_USER\Software\Wine\AppDefaults\koushin_gui_driver.exe\Explorer]' \
      '"Desktop"="koushin"' '' |
      iconv -f UTF-8 -t UTF-16LE
  } >"$file"
  "$WINE64" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1
}
