#!/bin/sh
# Decoding a PalmDoc book of about 5 MB compressed, side by side with
# `txt2pdbdoc -d` in one run. The book is made by txt2pdbdoc from the text of
# the corpus's Don Quixote book, repeated. Prints the best wall time of several
# runs, the in-process throughput, the instruction counts under callgrind, the
# ratios (above 1: the importer is faster / uses fewer instructions), and the
# importer's peak heap under massif against the decoded size.
#   needs: txt2pdbdoc, valgrind, python3; builds pdb_bench in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_PDB_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-pdb-bench}
export QUILLO_PDB_BENCH_DIR="$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target pdb_bench -j2 >/dev/null
BENCH="$BUILD/bench/pdb_bench"

mkdir -p "$DIR"
if [ ! -f "$DIR/book.pdb" ]; then
  txt2pdbdoc -d "$ROOT/tests/data/corpus/palmdoc/textread_prc.mobi" "$DIR/quixote.txt"
  : > "$DIR/book.txt"
  for n in 1 2 3 4 5 6 7 8; do cat "$DIR/quixote.txt" >> "$DIR/book.txt"; done
  txt2pdbdoc "Bench book" "$DIR/book.txt" "$DIR/book.pdb"
fi
ls -l "$DIR/book.pdb"

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BENCH" "$DIR" "$ROOT" <<'PY'
import json, os, re, subprocess, sys, time
bench, d, root = sys.argv[1], sys.argv[2], sys.argv[3]
book = os.path.join(d, "book.pdb")
devnull = open(os.devnull, "wb")

sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import best, instructions

r = subprocess.run([bench, "--once", book], stdout=devnull, stderr=subprocess.PIPE, text=True, check=True)
decoded = int(re.search(r"(\d+) bytes of text", r.stderr).group(1))
out = os.path.join(d, "bench.json")
subprocess.run([bench, "--benchmark_min_time=1", "--benchmark_out_format=json", "--benchmark_out=" + out],
               stdout=devnull, stderr=devnull, check=True)
steady = json.load(open(out))["benchmarks"][0]["bytes_per_second"] / 1e6

ours, peer = [bench, "--once", book], ["txt2pdbdoc", "-d", book, os.path.join(d, "peer.txt")]
ta, tb = [], []
for _ in range(3):  # alternate, so that both see the same machine load
    ta.append(best(ours, 3))
    tb.append(best(peer, 3))
a, b = min(ta), min(tb)
ia, ib = instructions(ours), instructions(peer)
ii = instructions(ours, ["--toggle-collect=ImportPdb*"])

massif = os.path.join(d, "massif.out")
subprocess.run(["valgrind", "--tool=massif", "--massif-out-file=" + massif] + ours,
               stdout=devnull, stderr=devnull, check=True)
peak = max(int(m) for m in re.findall(r"mem_heap_B=(\d+)", open(massif).read()))

size, mb = os.path.getsize(book), decoded / 1e6
print(f"book: {size} bytes compressed, {decoded} bytes of text (CR LF expanded)")
print(f"wall, whole process (best of 9): importer {mb / a:8.1f} MB/s   txt2pdbdoc -d {mb / b:8.1f} MB/s   ratio {b / a:5.2f}")
# The benchmark program's own start (dynamic libraries) measured on a tiny book.
t0 = min(best([bench, "--once", root + "/tests/data/pdb/story.pdb"], 9) for _ in range(1))
p0 = min(best(["txt2pdbdoc", "-d", root + "/tests/data/pdb/story.pdb", os.path.join(d, "tiny.txt")], 9) for _ in range(1))
print(f"wall, start-up taken off:        importer {mb / (a - t0):8.1f} MB/s   txt2pdbdoc -d {mb / (b - p0):8.1f} MB/s   ratio {(b - p0) / (a - t0):5.2f}"
      f"   (start-up {t0 * 1000:.1f} ms / {p0 * 1000:.1f} ms)")
print(f"in-process (Google Benchmark):   importer {steady:8.1f} MB/s                              ratio {steady / (mb / b):5.2f}")
print(f"callgrind Ir, whole process:     importer {ia:13,d}   txt2pdbdoc -d {ib:13,d}   ratio {ib / ia:5.2f}")
print(f"callgrind Ir, ImportPdb alone:   {ii:13,d}  ({ii / decoded:.1f} per byte of text)     ratio {ib / ii:5.2f}")
print(f"peak heap (massif, file buffer included): {peak:,d} bytes = {peak / decoded:.2f} x the text")
PY
