#!/bin/sh
# Opening a Kindle book of about 2 MB of text: the test book's four chapters
# repeated into some 2,000 chapters, made by calibre's ebook-convert as an old
# MOBI and as an AZW3. For each book prints the instructions per byte of text
# (the decompressed text records) under callgrind for the whole open
# (quillo-render on the book less quillo-render showing the introduction:
# decompressing, assembling, importing and layout) and for ImportMobi alone,
# the peak heap (massif) and peak resident size beyond the introduction's
# against the text, and the wall time beside `ebook-convert BOOK out.txt` on
# the same book (above 1: the reader is faster). The books are made in
# ${TMPDIR:-/tmp}/quillo-mobi-bench, never committed.
#   needs: calibre, valgrind, python3; builds in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_MOBI_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-mobi-bench}
export QUILLO_MOBI_BENCH_DIR="$DIR"
mkdir -p "$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target quillo-render mobi_bench -j2 >/dev/null

if [ ! -f "$DIR/book.mobi" ] || [ ! -f "$DIR/book.azw3" ]; then
  # Pages of 40 chapters linked from an index page: calibre splits one page
  # of 2,000 chapters for hours.
  mkdir -p "$DIR/parts"
  python3 - "$ROOT/tests/data/mobi/src/book.html" "$DIR/parts" <<'PY'
import os, re, sys
html = open(sys.argv[1], encoding="utf-8").read()
head, body = html.split("<body>", 1)
body = body.split("</body>", 1)[0]
chapters = re.split(r"(?=<h1>)", body)[1:]
book, size, n = [], 0, 0
while size < 2_000_000:
    c = re.sub(r"<h1>Chapter \w+:", "<h1>Chapter %d:" % (n + 1), chapters[n % len(chapters)])
    book.append(c)
    size += len(c.encode("utf-8"))
    n += 1
links = []
for k in range(0, len(book), 40):
    name = "part%03d.html" % (k // 40)
    with open(os.path.join(sys.argv[2], name), "w", encoding="utf-8") as f:
        f.write(head + "<body>\n" + "".join(book[k:k + 40]) + "</body></html>\n")
    links.append('<p><a href="%s">%s</a></p>' % (name, name))
with open(os.path.join(sys.argv[2], "index.html"), "w", encoding="utf-8") as f:
    f.write(head + "<body>\n" + "\n".join(links) + "</body></html>\n")
PY
  ebook-convert "$DIR/parts/index.html" "$DIR/book.mobi" --mobi-file-type old --title "Bench book" >/dev/null 2>&1
  ebook-convert "$DIR/parts/index.html" "$DIR/book.azw3" --title "Bench book" >/dev/null 2>&1
fi

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BUILD" "$DIR" <<'PY'
import os, re, struct, subprocess, sys
build, d = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import best, instructions
render = os.path.join(build, "tools/render/quillo-render")
bench = os.path.join(build, "bench/mobi_bench")
devnull = open(os.devnull, "wb")
page = os.path.join(d, "page.bmp")

def text_length(path):
    """The text length of the book header that is shown (KF8 for an AZW3)."""
    data = open(path, "rb").read()
    record0 = struct.unpack_from(">I", data, 78)[0]
    return struct.unpack_from(">I", data, record0 + 4)[0]

def rss(cmd):
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=devnull, stderr=subprocess.PIPE, text=True, check=True)
    return int(r.stderr.strip().splitlines()[-1])

def heap(cmd):
    out = os.path.join(d, "massif.out")
    subprocess.run(["valgrind", "--tool=massif", "--massif-out-file=" + out] + cmd, stdout=devnull, stderr=devnull, check=True)
    return max(int(m) for m in re.findall(r"mem_heap_B=(\d+)", open(out).read()))

intro = [render, "--intro", "-o", page]
base_ir, base_rss, base_heap = instructions(intro), rss(intro), heap(intro)
for name in ("book.mobi", "book.azw3"):
    book = os.path.join(d, name)
    text = text_length(book)
    ours = [render, book, "-o", page]
    ir = instructions(ours) - base_ir
    imp = instructions([bench, "--once", book], ["--toggle-collect=ImportMobi*"])
    peak_heap = heap(ours) - base_heap
    peak_rss = (rss(ours) - base_rss) * 1024
    peer = ["ebook-convert", book, os.path.join(d, "peer.txt")]
    a = min(best(ours, 3) for _ in range(2))
    b = best(peer, 2)
    print(f"{name}: {os.path.getsize(book):,d} bytes, {text:,d} bytes of text")
    print(f"  callgrind Ir, open (read, import, layout, one page) less the introduction: {ir:,d} = {ir / text:.1f} per byte of text")
    print(f"  callgrind Ir, ImportMobi alone: {imp:,d} = {imp / text:.1f} per byte of text")
    print(f"  peak heap beyond the introduction (massif): {peak_heap:,d} bytes = {peak_heap / text:.2f} x the text")
    print(f"  peak RSS beyond the introduction: {peak_rss:,d} bytes = {peak_rss / text:.2f} x the text")
    print(f"  wall: reader {a:.3f} s, ebook-convert to text {b:.3f} s, ratio {b / a:.1f}")
PY
