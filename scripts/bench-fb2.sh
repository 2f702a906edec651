#!/bin/sh
# Opening a FictionBook of some 2 MB of text: the sections of calibre's test
# book (tests/data/fb2/calibre.fb2) repeated in one body, its cover kept.
# Prints the instructions per byte of formatted text under callgrind (only
# LoadFromBuffer: parsing, importing and layout), the same for the page
# renderer as a whole less the renderer showing the introduction, the peak
# resident size of both beyond that base in bytes of text, and the wall time
# beside calibre's ebook-convert to plain text on the same book (above 1: the
# reader is faster).
#   needs: calibre, valgrind, python3; builds fb2_bench and quillo-render in
#   build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_FB2_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-fb2-bench}
export QUILLO_FB2_BENCH_DIR="$DIR"
mkdir -p "$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target fb2_bench quillo-render -j2 >/dev/null

python3 - "$ROOT/tests/data/fb2/calibre.fb2" "$DIR/book.fb2" <<'PY'
import re, sys
book = open(sys.argv[1], encoding="utf-8").read()
head, rest = book.split("<body>", 1)
body, tail = rest.split("</body>", 1)
sections = re.findall(r"<section>.*?</section>", body, re.S)
out, text, n = [head, "<body>\n"], 0, 0
while text < 2 << 20:
    s = sections[n % len(sections)].replace("<strong>", "<strong>%d. " % (n + 1), 1)
    out.append(s + "\n")
    text += len(re.sub(r"<[^>]*>", "", s).encode("utf-8"))
    n += 1
out += ["</body>", tail]
open(sys.argv[2], "w", encoding="utf-8").write("".join(out))
PY

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BUILD" "$DIR" <<'PY'
import os, re, subprocess, sys
build, d = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import best, instructions

bench, render = build + "/bench/fb2_bench", build + "/tools/render/quillo-render"
book = d + "/book.fb2"
r = subprocess.run([bench, "--once", book], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
text = int(re.search(r"(\d+) bytes of formatted text", r.stderr).group(1))
print("book: %d bytes, %s" % (os.path.getsize(book), r.stderr.strip()))

load = instructions([bench, "--once", book], ["--toggle-collect=LoadFromBuffer*"])
whole = instructions([render, book, "-o", d + "/page.bmp"])
base = instructions([render, "--intro", "-o", d + "/page.bmp"])
print("instructions: LoadFromBuffer %d, %.1f per byte of text; renderer %d less introduction %d, %.1f per byte"
      % (load, load / text, whole, base, (whole - base) / text))

def peak(cmd):  # peak resident size in KB
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       text=True, check=True)
    return int(r.stderr.strip().splitlines()[-1])
pb, pi = peak([render, book, "-o", "/dev/null"]), peak([render, "--intro", "-o", "/dev/null"])
print("peak RSS KB: book %d, introduction %d; beyond it %.2f times the text" % (pb, pi, (pb - pi) * 1024 / text))

ours = best([render, book, "-o", "/dev/null"], 5)
peer = best(["ebook-convert", book, d + "/out.txt"], 3)
print("wall: reader %.3f s, ebook-convert to text %.3f s, ratio %.1f" % (ours, peer, peer / ours))
PY
