#!/bin/sh
# Opening a 2 MB EPUB from pandoc: the test book's four chapters repeated to
# some 2 MB of text in 1100 chapters. Prints the instructions per uncompressed
# byte under callgrind (quillo-render on the book, less quillo-render showing
# the introduction: inflating, parsing, importing and layout), the peak
# resident size of both, and the wall time beside pandoc -t plain on the same
# book (above 1: the reader is faster).
#   needs: pandoc, valgrind, python3; builds quillo-render in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${TMPDIR:-/tmp}/quillo-epub-bench
mkdir -p "$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=OFF -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quillo-render -j2 >/dev/null
RENDER="$BUILD/tools/render/quillo-render"

python3 - "$ROOT/tests/data/epub/src/book.md" "$DIR/book.md" <<'PY'
import sys
md = open(sys.argv[1], encoding="utf-8").read()
head, body = md.split("\n---\n", 1)
chapters = body.split("\n# ")[1:]
out = [head, "\n---\n"]
for n in range(1100):
    out.append("\n# Part %d: %s" % (n + 1, chapters[n % len(chapters)].replace("![A small drawing of the lighthouse](lighthouse.png)", "")))
open(sys.argv[2], "w", encoding="utf-8").write("".join(out))
PY
(cd "$DIR" && pandoc book.md -t epub3 --epub-chapter-level=1 -o book.epub)
BYTES=$(unzip -Z -t "$DIR/book.epub" | sed 's/.* \([0-9]*\) bytes uncompressed.*/\1/')
TEXT=$(unzip -p "$DIR/book.epub" '*.xhtml' | wc -c)

count() {  # instructions of quillo-render with the given arguments
  valgrind --tool=callgrind --callgrind-out-file="$DIR/cg.out" "$RENDER" "$@" >/dev/null 2>"$DIR/cg.err"
  grep -o 'Collected : [0-9]*' "$DIR/cg.err" | grep -o '[0-9]*$'
}
rss() {  # peak resident KB
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
}
BOOK=$(count "$DIR/book.epub" -o "$DIR/page.bmp")
BASE=$(count --intro -o "$DIR/page.bmp")
echo "book: $(stat -c %s "$DIR/book.epub") bytes, $BYTES uncompressed, chapters $TEXT bytes"
echo "instructions: book $BOOK, introduction $BASE, per uncompressed chapter byte $(( (BOOK - BASE) / TEXT ))"
echo "peak RSS KB: book $(rss "$RENDER" "$DIR/book.epub" -o "$DIR/page.bmp"), introduction $(rss "$RENDER" --intro -o "$DIR/page.bmp")"
python3 - "$RENDER" "$DIR/book.epub" <<'PY'
import subprocess, sys, time
def best(cmd):
    t = []
    for _ in range(5):
        s = time.perf_counter(); subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True); t.append(time.perf_counter() - s)
    return min(t)
q = best([sys.argv[1], sys.argv[2], "-o", "/dev/null"])
p = best(["pandoc", "-f", "epub", "-t", "plain", sys.argv[2]])
print("wall: reader %.3f s, pandoc -t plain %.3f s, ratio %.1f" % (q, p, p / q))
PY
