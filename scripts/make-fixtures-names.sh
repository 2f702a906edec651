#!/bin/sh
# Builds the archives of the file-name tests under tests/data/names/: names in
# UTF-8 as Info-ZIP zip stores them (no UTF-8 flag), names flagged as UTF-8 as
# Python's zipfile stores them, a Latin-1 name, a flagged name that is no
# valid UTF-8, and two empty archives. Run once from anywhere; the outputs are
# committed.
#   needs: zip (apt-get install zip), python3
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DATA="$ROOT/tests/data/names"
export TZ=UTC
WORK=$(mktemp -d /tmp/quillo-fixtures-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$DATA"
rm -f "$DATA"/*.zip
stamp() { find . -exec touch -d '2026-03-14 10:20:30' {} +; }

# Info-ZIP keeps the bytes of the card's names and sets no flag: a folder
# "Espa<n tilde>ol/" with "Canci<o acute>n.txt" inside, and two ASCII names
# that sort around it.
mkdir -p "$WORK/infozip/$(printf 'Espa\303\261ol')"
printf 'Una canci\303\263n.\n' > "$WORK/infozip/$(printf 'Espa\303\261ol/Canci\303\263n.txt')"
printf 'Zeta.\n' > "$WORK/infozip/zeta.txt"
printf 'The end.\n' > "$WORK/infozip/The end.txt"
printf '\303\201rbol.\n' > "$WORK/infozip/$(printf '\303\201rbol.txt')"
(cd "$WORK/infozip" && stamp && LC_ALL=C.UTF-8 zip -q -X -r "$DATA/infozip.zip" .)

# Python flags every name that is not ASCII. Two names are then patched in
# place (same length): "Senor.txt" becomes the Latin-1 "Se<F1>or.txt" (no
# flag), and the flagged "bad-<C3 A9>.txt" becomes "bad-<E9 E9>.txt", which is
# no valid UTF-8.
python3 - "$DATA/flagged.zip" <<'PY'
import sys, zipfile
when = (2026, 3, 14, 10, 20, 30)
names = ["Espa\u00f1ol/",
         "Espa\u00f1ol/Caf\u00e9 \u201cnoir\u201d \u4e2d.txt",
         "Senor.txt",
         "bad-\u00e9.txt"]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for name in names:
        body = b"" if name.endswith("/") else b"A book with a strange name.\n"
        z.writestr(zipfile.ZipInfo(name, date_time=when), body)
data = bytearray(open(sys.argv[1], "rb").read())
for old, new in ((b"Senor.txt", b"Se\xf1or.txt"), (b"bad-\xc3\xa9.txt", b"bad-\xe9\xe9.txt")):
    assert data.count(old) == 2, old  # local header and central record
    data = data.replace(old, new)
open(sys.argv[1], "wb").write(bytes(data))
PY

# Archives without entries: an end record alone, and one with a comment.
python3 - "$DATA/empty.zip" "$DATA/empty-comment.zip" <<'PY'
import sys, zipfile
zipfile.ZipFile(sys.argv[1], "w").close()
with zipfile.ZipFile(sys.argv[2], "w") as z:
    z.comment = b"Nothing inside."
PY
echo "fixtures written to $DATA"
