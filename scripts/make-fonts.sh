#!/bin/sh
# Regenerates the glyph tables src/platform/generated/font_{small,medium,large}_data.cpp
# from DejaVu Sans (Debian: fonts-dejavu-core, fonts-dejavu-extra) with the
# font generator, which needs FreeType (libfreetype-dev).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLO_FONTGEN_BUILD:-$root/build/fontgen}
fonts=${DEJAVU_DIR:-/usr/share/fonts/truetype/dejavu}
cmake -S "$root" -B "$build" -DQUILLO_FONTGEN=ON -DQUILLO_TESTS=OFF -DQUILLO_BENCH=OFF >/dev/null
cmake --build "$build" --target fontgen -j2
"$build/tools/fontgen/fontgen" "$fonts" "$root/src/platform/generated"
