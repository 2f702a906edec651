#!/bin/sh
# Builds the HTML test pages under tests/data/html/ from the texts in
# tests/data/html/src/ with real writers: pandoc (a standalone page) and
# LibreOffice Writer (a flat ODT document saved as HTML). handmade.html is
# written by hand and committed as it is. The golden formatted texts (*.golden)
# are written by html_test with QUILLO_UPDATE_GOLDEN=1; review their diff.
#   needs: pandoc, libreoffice-writer-nogui (apt-get install pandoc libreoffice-writer-nogui)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/html"
export LC_ALL=C TZ=UTC

pandoc -s "$DATA/src/pandoc-source.md" -o "$DATA/pandoc.html"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
soffice --headless "-env:UserInstallation=file://$WORK/profile" \
  --convert-to html --outdir "$WORK" "$DATA/src/libreoffice-source.fodt" >/dev/null 2>&1
# LibreOffice stamps the save time into the page; fix it so every run writes the same bytes.
sed -e 's/<meta name="\(created\|changed\)" content="[^"]*"\/>/<meta name="\1" content="00:00:00"\/>/' \
  "$WORK/libreoffice-source.html" > "$DATA/libreoffice.html"
