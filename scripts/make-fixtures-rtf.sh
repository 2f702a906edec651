#!/bin/sh
# Builds the RTF test documents under tests/data/rtf/ from the texts in
# tests/data/rtf/src/ with real writers: pandoc (a standalone RTF document,
# letters beyond ASCII as \uN? escapes) and LibreOffice Writer (a flat ODT
# document saved as RTF: \uN\'hh escapes, colours, sizes, alignment). Then it
# writes the golden formatted texts (*.golden, also those of the corpus files)
# by running rtf_test with QUILLO_UPDATE_GOLDEN=1; review their diff.
#   needs: pandoc, libreoffice-writer-nogui (apt-get install pandoc libreoffice-writer-nogui)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/rtf"
BUILD=${BUILD:-$ROOT/build/fixtures}
export LC_ALL=C TZ=UTC

pandoc -s "$DATA/src/pandoc-source.md" -t rtf -o "$DATA/pandoc.rtf"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
soffice --headless "-env:UserInstallation=file://$WORK/profile" \
  --convert-to rtf --outdir "$WORK" "$DATA/src/libreoffice-source.fodt" >/dev/null 2>&1
# LibreOffice names its build in the generator group; keep the bytes the same
# from one installation to the next.
sed -e 's/{\\\*\\generator [^}]*}/{\\*\\generator LibreOffice;}/' \
  "$WORK/libreoffice-source.rtf" > "$DATA/libreoffice.rtf"

cmake -S "$ROOT" -B "$BUILD" -DQUILLO_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target rtf_test -j2 >/dev/null
QUILLO_UPDATE_GOLDEN=1 "$BUILD/tests/rtf_test" --gtest_filter='RtfGolden.*' >/dev/null
ls -l "$DATA"
