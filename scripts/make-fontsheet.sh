#!/bin/sh
# Writes the font sheet (every glyph of the three fonts in four faces at text
# weights 0, 16 and 128, a message box and a page per font) to docs/fontsheet.png.
# Needs ImageMagick's convert for the BMP -> PNG step.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_BUILD:-$root/build}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target fontsheet -j2
"$build/tools/fontsheet/fontsheet" "${TMPDIR:-/tmp}/quillo-fontsheet.bmp" >/dev/null
mkdir -p "$root/docs"
convert "${TMPDIR:-/tmp}/quillo-fontsheet.bmp" -strip "$root/docs/fontsheet.png"
rm -f "${TMPDIR:-/tmp}/quillo-fontsheet.bmp"
echo "wrote $root/docs/fontsheet.png"
