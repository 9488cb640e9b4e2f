#!/usr/bin/env bash
# koushin-pack.exe under Wine makes the committed demo media byte for byte, from the same manifest
# and staged sources as the native program (examples/make-demo.sh DIR).
# usage: pack_wine_test.sh WINE_LAUNCHER KOUSHIN_PACK_EXE EXAMPLES_DIR
set -u
WORK=$(mktemp -d "${TMPDIR:-/tmp}/koushin-pack-wine.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
printf '#!/usr/bin/env bash\nexec bash %q %q "$@"\n' "$(realpath "$1")" "$(realpath "$2")" >"$WORK/pack"
chmod +x "$WORK/pack"
KOUSHIN_PACK=$WORK/pack bash "$3/make-demo.sh" "$WORK/media" || { echo "FAIL: make-demo.sh"; exit 1; }
diff -r "$WORK/media" "$3/demo-media" || { echo "FAIL: the media differ from the committed ones"; exit 1; }
echo "pack wine tests: passed"
