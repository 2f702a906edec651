#!/bin/sh
# Detection plus conversion of a 10 MB UTF-8 book that is mostly ASCII, in
# place as the loader does it. Two books are made from the encoding test text:
# the whole text in four languages repeated (about one character in fifteen
# outside ASCII) and its English paragraph alone repeated (curly quotes, dashes
# and an ellipsis). Prints the instructions per byte of ConvertDocumentEncoding
# under callgrind, the in-process throughput, and the peak memory of
# quillo-render on each book against the same book in code page 1252.
#   needs: valgrind, python3, iconv; builds encoding_bench and quillo-render in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_ENCODING_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-encoding-bench}
export QUILLO_ENCODING_BENCH_DIR="$DIR"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target encoding_bench quillo-render -j2 >/dev/null
BENCH="$BUILD/bench/encoding_bench"
RENDER=$(find "$BUILD/tools" -name quillo-render -type f | head -1)

mkdir -p "$DIR"
python3 - "$ROOT/tests/data/encoding/src/story.txt" "$DIR" <<'PY'
import sys
src, out = sys.argv[1], sys.argv[2]
text = open(src, encoding="utf-8").read()
english = text.split("\n\n")[1] + "\n\n"
for name, unit in (("book-utf8.txt", text + "\n"), ("book-english-utf8.txt", english)):
    body = (unit * (10_000_000 // len(unit.encode()) + 1)).encode()[:10_000_000]
    body = body[: body.rfind(b"\n") + 1]  # never cut a character
    open(f"{out}/{name}", "wb").write(body)
PY
for b in book book-english; do
  iconv -f UTF-8 -t WINDOWS-1252 "$DIR/$b-utf8.txt" > "$DIR/$b-cp1252.txt"
done

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BENCH" "$RENDER" "$DIR" <<'PY'
import json, os, re, subprocess, sys
bench, render, d = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import instructions
devnull = open(os.devnull, "wb")

def peak_kb(cmd):
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=devnull, stderr=subprocess.PIPE, text=True, check=True)
    return int(r.stderr.strip().splitlines()[-1])

out = os.path.join(d, "bench.json")
subprocess.run([bench, "--benchmark_min_time=1", "--benchmark_out_format=json", "--benchmark_out=" + out],
               stdout=devnull, stderr=devnull, check=True)
steady = json.load(open(out))["benchmarks"][0]["bytes_per_second"] / 1e6
print(f"in-process (Google Benchmark), mixed book: {steady:.0f} MB/s")
for b in ("book", "book-english"):
    utf8, cp = f"{d}/{b}-utf8.txt", f"{d}/{b}-cp1252.txt"
    size = os.path.getsize(utf8)
    raw = open(utf8, "rb").read()
    share = sum(1 for c in raw if c >= 0x80) / size
    ii = instructions([bench, "--once", utf8], ["--toggle-collect=ConvertDocumentEncoding*"])
    i1252 = instructions([bench, "--once", cp], ["--toggle-collect=ConvertDocumentEncoding*"])
    ru, rc = peak_kb([render, "--info", utf8]), peak_kb([render, "--info", cp])
    print(f"{b}: {size} bytes, {share * 100:.1f}% of bytes outside ASCII")
    print(f"  callgrind Ir, ConvertDocumentEncoding: UTF-8 {ii:,d} ({ii / size:.2f} per byte)"
          f"   code page 1252 {i1252:,d} ({i1252 / os.path.getsize(cp):.2f} per byte)")
    print(f"  quillo-render peak RSS: UTF-8 {ru} kB   code page 1252 {rc} kB   ratio {ru / rc:.3f}")
PY
