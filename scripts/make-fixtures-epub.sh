#!/bin/sh
# Builds the EPUB test books under tests/data/epub/ with real writers: pandoc
# (EPUB 3 and EPUB 2) from tests/data/epub/src/book.md, and Info-ZIP zip for
# the small hand-made books of the odd cases, whose files are written here.
# The golden formatted texts (*.golden) are written by epub_test with
# QUILLO_UPDATE_GOLDEN=1; review their diff.
#   needs: pandoc, zip, imagemagick (apt-get install pandoc zip imagemagick)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/epub"
export LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH=1577836800

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The picture of the book (ignored by the reader, but it must be in the book).
convert -size 16x24 xc:white -fill black -draw 'rectangle 6,4 10,22' "$WORK/lighthouse.png"
cp "$DATA/src/book.md" "$WORK/book.md"
(cd "$WORK" && pandoc book.md -t epub3 --epub-chapter-level=1 -o pandoc3.epub)
(cd "$WORK" && pandoc book.md -t epub2 --epub-chapter-level=1 -o pandoc2.epub)

# A hand-made book: mimetype first and stored, then the rest; dates fixed.
# make_book NAME FILE... (paths relative to $WORK/NAME)
make_book() {
  name=$1
  shift
  rm -f "$DATA/$name.epub"
  find "$WORK/$name" -exec touch -d 2020-01-01T00:00:00 {} +
  (cd "$WORK/$name" && zip -X -q -0 "$DATA/$name.epub" mimetype && zip -X -q -D "$DATA/$name.epub" "$@")
}

# pandoc's archives carry the time of the run: the same entries in the same
# order again, with fixed dates, so that every run writes the same bytes.
for v in 2 3; do
  mkdir "$WORK/pandoc$v"
  (cd "$WORK/pandoc$v" && unzip -q "$WORK/pandoc$v.epub")
  make_book "pandoc$v" $(unzip -Z1 "$WORK/pandoc$v.epub" | grep -v '^mimetype$')
done

container() {  # container FOLDER PACKAGE-PATH
  mkdir -p "$1/META-INF"
  printf 'application/epub+zip' > "$1/mimetype"
  cat > "$1/META-INF/container.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="$2" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>
XML
}

chapter() {  # chapter FILE TITLE TEXT
  mkdir -p "$(dirname "$1")"
  cat > "$1" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE html>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>$2</title></head>
<body><h1>$2</h1><p>$3</p></body></html>
XML
}

# The package in a subfolder, a chapter path with an escaped space, the spine
# in another order than the manifest and the archive, a linear="no" item and
# a picture in the spine (skipped).
B="$WORK/subfolder"
container "$B" "OPS/content.opf"
chapter "$B/OPS/text/chapter one.xhtml" "One" "Caf&#233; first &#8220;quoted&#8221; chapter."
chapter "$B/OPS/text/two.xhtml" "Two" "Second chapter, <b>bold</b> and <i>italic</i>."
chapter "$B/OPS/notes.xhtml" "Notes" "Notes read last, in spine order."
convert -size 4x4 xc:white "$B/OPS/pic.png"
cat > "$B/OPS/content.opf" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="3.0" unique-identifier="id">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
    <dc:identifier id="id">urn:uuid:00000000-0000-0000-0000-000000000001</dc:identifier>
    <dc:title>  Ni&#241;o   &amp; “Faro”  </dc:title>
    <dc:language>es</dc:language>
  </metadata>
  <manifest>
    <item id="notes" href="notes.xhtml" media-type="application/xhtml+xml"/>
    <item id="pic" href="pic.png" media-type="image/png"/>
    <item id="two" href="text/two.xhtml#start" media-type="application/xhtml+xml"/>
    <item id="one" href="text/chapter%20one.xhtml" media-type="application/xhtml+xml"/>
  </manifest>
  <spine>
    <itemref idref="one"/>
    <itemref idref="pic"/>
    <itemref idref="two"/>
    <itemref idref="notes" linear="no"/>
  </spine>
</package>
XML
make_book subfolder META-INF/container.xml OPS/notes.xhtml OPS/text/two.xhtml OPS/pic.png "OPS/text/chapter one.xhtml" OPS/content.opf

# A package whose spine names a chapter that is not in the archive.
package() {  # package FILE ITEMS... (ids = file names without .xhtml)
  file=$1
  shift
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo '<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="id">'
    echo '<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Small</dc:title></metadata><manifest>'
    for i in "$@"; do echo "<item id=\"$i\" href=\"$i.xhtml\" media-type=\"application/xhtml+xml\"/>"; done
    echo '</manifest><spine>'
    for i in "$@"; do echo "<itemref idref=\"$i\"/>"; done
    echo '</spine></package>'
  } > "$file"
}

B="$WORK/missing"
container "$B" "content.opf"
chapter "$B/a.xhtml" "A" "First."
chapter "$B/c.xhtml" "C" "Third."
package "$B/content.opf" a b c
make_book missing META-INF/container.xml content.opf a.xhtml c.xhtml

# A chapter listed in META-INF/encryption.xml.
B="$WORK/encrypted"
container "$B" "content.opf"
chapter "$B/a.xhtml" "A" "Readable."
chapter "$B/b.xhtml" "B" "Scrambled."
package "$B/content.opf" a b
cat > "$B/META-INF/encryption.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<encryption xmlns="urn:oasis:names:tc:opendocument:xmlns:container"
  xmlns:enc="http://www.w3.org/2001/04/xmlenc#">
  <enc:EncryptedData>
    <enc:EncryptionMethod Algorithm="http://www.w3.org/2001/04/xmlenc#aes128-cbc"/>
    <enc:CipherData><enc:CipherReference URI="b.xhtml"/></enc:CipherData>
  </enc:EncryptedData>
</encryption>
XML
make_book encrypted META-INF/container.xml META-INF/encryption.xml content.opf a.xhtml b.xhtml

# An encryption list naming only a font (as font obfuscation does): the
# chapters are readable.
B="$WORK/fontonly"
container "$B" "content.opf"
chapter "$B/a.xhtml" "A" "Readable despite the font."
package "$B/content.opf" a
sed -e 's|URI="b.xhtml"|URI="fonts/f.otf"|' "$WORK/encrypted/META-INF/encryption.xml" > "$B/META-INF/encryption.xml"
make_book fontonly META-INF/container.xml META-INF/encryption.xml content.opf a.xhtml

# A container whose rootfile is not in the archive.
B="$WORK/nowhere"
container "$B" "OEBPS/missing.opf"
chapter "$B/a.xhtml" "A" "Never read."
package "$B/content.opf" a
make_book nowhere META-INF/container.xml content.opf a.xhtml

# A spine of nothing readable: a picture only.
B="$WORK/notext"
container "$B" "content.opf"
convert -size 4x4 xc:white "$B/pic.png"
cat > "$B/content.opf" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0" unique-identifier="id">
<metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>Pictures</dc:title></metadata>
<manifest><item id="pic" href="pic.png" media-type="image/png"/></manifest>
<spine><itemref idref="pic"/></spine></package>
XML
make_book notext META-INF/container.xml content.opf pic.png

# Not an archive at all.
printf 'This is plain text with an .epub name.\n' > "$DATA/notzip.epub"

# A book inside an archive, which is not opened.
rm -f "$DATA/inside.zip"
cp "$DATA/missing.epub" "$WORK/missing.epub"
touch -d 2020-01-01T00:00:00 "$WORK/missing.epub"
(cd "$WORK" && zip -X -q -0 "$DATA/inside.zip" missing.epub)
