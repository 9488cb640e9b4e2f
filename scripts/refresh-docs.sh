#!/usr/bin/env bash
# Refreshes the screenshots of the guide (docs/ja/images/) and of the README (docs/screenshots/)
# from the last run of the GUI stage (scripts/test-gui.sh), which leaves the whole Xvfb screen of
# every step in build/screenshots/. Each picture is cut to the window it shows; nothing is drawn
# by hand. A screenshot the stage did not make is an error: run the stage first.
#   scripts/test-gui.sh && scripts/refresh-docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
SHOTS=build/screenshots
command -v convert >/dev/null || { echo "refresh-docs: ImageMagick's convert is missing" >&2; exit 1; }
mkdir -p docs/ja/images docs/screenshots

# One picture a line: the stage's name, the cut (WIDTHxHEIGHT+X+Y on the 1024x768 screen; the
# dialogs are centred, the messages and the progress lie where the main window puts them), and
# "readme" when the README shows it too.
failed=0
while read -r name cut readme; do
  [ -n "$name" ] || continue
  source=$SHOTS/$name.png
  if [ ! -f "$source" ]; then
    echo "refresh-docs: $source is missing (run scripts/test-gui.sh)" >&2
    failed=1
    continue
  fi
  # No time chunks: the same screen gives the same bytes.
  convert "$source" -crop "$cut" +repage -strip -define png:exclude-chunks=date,time \
    "docs/ja/images/$name.png"
  [ "$readme" = readme ] && cp "docs/ja/images/$name.png" "docs/screenshots/$name.png"
  echo "refresh-docs: $name"
done <<'LIST'
main-window          1024x768+0+0
notice               560x400+232+184  readme
destination          560x400+232+184
destination-browse   560x400+232+184  readme
confirm              560x400+232+184  readme
update-error         440x160+292+304
files-in-use         640x390+192+320
update-progress      640x390+192+320  readme
disk-prompt          640x390+192+320
update-done          640x390+192+320
update-restored      640x390+192+320
invalid              440x160+292+304
LIST
exit "$failed"
