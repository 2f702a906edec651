#!/bin/sh
# Converting a 1 MB HTML page, side by side with html2text in one run. The page
# is the three test pages' bodies repeated inside one page with a style sheet
# and scripts. Prints the best wall time of several runs, the in-process
# throughput, the instruction counts under callgrind, and the ratios (above 1:
# the importer is faster / uses fewer instructions).
#   needs: html2text, valgrind, python3; builds html_bench in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_HTML_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-html-bench}
export QUILLO_HTML_BENCH_DIR="$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target html_bench -j2 >/dev/null
BENCH="$BUILD/bench/html_bench"

mkdir -p "$DIR"
python3 - "$ROOT/tests/data/html" "$DIR/page.html" <<'PY'
import re, sys
src, out = sys.argv[1], sys.argv[2]
bodies = []
for name in ("pandoc", "libreoffice", "handmade"):
    page = open(f"{src}/{name}.html", "rb").read()
    bodies.append(re.search(rb"<body[^>]*>(.*)</body>", page, re.S | re.I).group(1))
head = open(f"{src}/pandoc.html", "rb").read().split(b"<body>")[0]
parts, size, n = [head, b"<body>\n"], 0, 0
while size < 1 << 20:
    chunk = b"<h2>Section %d</h2>\n" % n + bodies[n % 3] + b"\n"
    parts.append(chunk)
    size += len(chunk)
    n += 1
parts.append(b"</body>\n</html>\n")
open(out, "wb").write(b"".join(parts))
PY
ls -l "$DIR/page.html"

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BENCH" "$DIR/page.html" "$ROOT" <<'PY'
import json, os, re, subprocess, sys, time
bench, page, root = sys.argv[1], sys.argv[2], sys.argv[3]
size = os.path.getsize(page)
devnull = open(os.devnull, "wb")

sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import best, instructions

out = os.path.join(os.path.dirname(page), "bench.json")
subprocess.run([bench, "--benchmark_min_time=1", "--benchmark_out_format=json", "--benchmark_out=" + out],
               stdout=devnull, stderr=devnull, check=True)
steady = json.load(open(out))["benchmarks"][0]["bytes_per_second"] / 1e6

ours, peer = [bench, "--once", page], ["html2text", page]
ta, tb = [], []
for _ in range(3):  # alternate, so that both see the same machine load
    ta.append(best(ours, 3))
    tb.append(best(peer, 3))
a, b = min(ta), min(tb)
ia, ib = instructions(ours), instructions(peer)
ii = instructions(ours, ["--toggle-collect=ImportHtml*"])
mb = size / 1e6
print(f"page: {size} bytes")
print(f"wall, whole process (best of 9): importer {mb / a:8.1f} MB/s   html2text {mb / b:8.2f} MB/s   ratio {b / a:6.1f}")
# Both programs' own start measured on a small page.
small = root + "/tests/data/html/libreoffice.html"
t0, p0 = best([bench, "--once", small], 9), best(["html2text", small], 9)
print(f"wall, start-up taken off:        importer {mb / (a - t0):8.1f} MB/s   html2text {mb / (b - p0):8.2f} MB/s   ratio {(b - p0) / (a - t0):6.1f}"
      f"   (start-up {t0 * 1000:.1f} ms / {p0 * 1000:.1f} ms)")
print(f"in-process (Google Benchmark):   importer {steady:8.1f} MB/s                          ratio {steady / (mb / b):6.1f}")
print(f"callgrind Ir, whole process:     importer {ia:13,d}   html2text {ib:14,d}   ratio {ib / ia:6.1f}")
print(f"callgrind Ir, ImportHtml alone:  {ii:13,d}  ({ii / size:.1f} per byte)                ratio {ib / ii:6.1f}")
PY

# Named references: 20 MB of "&a" (an ampersand and a letter that start no
# entity) against 20 MB of words, ImportHtml's instructions under callgrind.
# Each reference is compared with the few entities of its first two letters,
# so the first costs at most twice the second.
python3 - "$DIR" <<'PY'
import sys
d = sys.argv[1]
body = 20 << 20
open(d + "/amps.html", "wb").write(b"<html><body>" + b"&a" * (body // 2) + b"</body></html>")
words = b"lorem ipsum dolor sit amet, consectetur adipiscing elit "
open(d + "/words.html", "wb").write(b"<html><body>" + words * (body // len(words)) + b"</body></html>")
PY
python3 - "$BENCH" "$DIR" <<'PY'
import os, sys
sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import instructions
bench, d = sys.argv[1], sys.argv[2]
counts = {}
for name in ("amps", "words"):
    page = f"{d}/{name}.html"
    counts[name] = instructions([bench, "--once", page], ["--toggle-collect=ImportHtml*"]) / os.path.getsize(page)
print(f"callgrind Ir per byte, 20 MB of \"&a\": {counts['amps']:.2f}   20 MB of words: {counts['words']:.2f}"
      f"   ratio {counts['amps'] / counts['words']:.2f}")
PY
