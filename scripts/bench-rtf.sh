#!/bin/sh
# Converting ~1 MB RTF documents, side by side with `unrtf --text` in one run.
# The documents are the pandoc test text repeated to ~1 MB and written by
# pandoc, and the same document read and written again by LibreOffice Writer.
# Prints the best wall times, the in-process throughput, the instruction counts
# under callgrind, and the ratios (above 1: the importer is faster / uses fewer
# instructions).
#   needs: pandoc, libreoffice-writer-nogui, unrtf, valgrind, python3;
#   builds rtf_bench in build/release-bench
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/release-bench}
DIR=${QUILLO_RTF_BENCH_DIR:-${TMPDIR:-/tmp}/quillo-rtf-bench}
export QUILLO_RTF_BENCH_DIR="$DIR" LC_ALL=C TZ=UTC

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLO_BENCH=ON -DQUILLO_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target rtf_bench -j2 >/dev/null
BENCH="$BUILD/bench/rtf_bench"

mkdir -p "$DIR"
if [ ! -s "$DIR/pandoc.rtf" ] || [ ! -s "$DIR/libreoffice.rtf" ]; then
  python3 - "$ROOT/tests/data/rtf/src/pandoc-source.md" "$DIR/book.md" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read()
parts, size, n = [], 0, 0
while size < 560_000:  # about 1 MB once written as RTF
    chunk = text.replace("# La canción", f"# {n}. La canción")
    parts.append(chunk)
    size += len(chunk.encode("utf-8"))
    n += 1
open(sys.argv[2], "w", encoding="utf-8").write("\n".join(parts))
PY
  pandoc -s "$DIR/book.md" -t rtf -o "$DIR/pandoc.rtf"
  PROFILE=$(mktemp -d)
  mkdir -p "$DIR/lo"
  soffice --headless "-env:UserInstallation=file://$PROFILE" --convert-to 'rtf:Rich Text Format' \
    --outdir "$DIR/lo" "$DIR/pandoc.rtf" >/dev/null 2>&1
  rm -rf "$PROFILE"
  mv "$DIR/lo/pandoc.rtf" "$DIR/libreoffice.rtf"
fi
ls -l "$DIR/pandoc.rtf" "$DIR/libreoffice.rtf"

export QUILLO_SCRIPTS="$ROOT/scripts"
python3 - "$BENCH" "$DIR" <<'PY'
import json, os, re, subprocess, sys, time
bench, folder = sys.argv[1], sys.argv[2]
devnull = open(os.devnull, "wb")

sys.path.insert(0, os.environ["QUILLO_SCRIPTS"])
from benchlib import best, instructions

out = os.path.join(folder, "bench.json")
subprocess.run([bench, "--benchmark_min_time=1", "--benchmark_out_format=json", "--benchmark_out=" + out],
               stdout=devnull, stderr=devnull, check=True)
steady = {b["name"]: b["bytes_per_second"] / 1e6 for b in json.load(open(out))["benchmarks"]}

for name, key in (("pandoc", "BM_ImportRtfPandoc"), ("libreoffice", "BM_ImportRtfLibreOffice")):
    doc = os.path.join(folder, name + ".rtf")
    size = os.path.getsize(doc)
    ours, peer = [bench, "--once", doc], ["unrtf", "--text", doc]
    ta, tb = [], []
    for _ in range(3):  # alternate, so that both see the same machine load
        ta.append(best(ours, 3))
        tb.append(best(peer, 3))
    a, b = min(ta), min(tb)
    # Both programs start in a few tens of milliseconds; time a tiny document
    # too so that the conversion itself can be compared.
    tiny = os.path.join(folder, "tiny.rtf")
    open(tiny, "w").write("{\\rtf1 x}")
    sa, sb = best([bench, "--once", tiny], 9), best(["unrtf", "--text", tiny], 9)
    ia, ib = instructions(ours), instructions(peer)
    ii = instructions(ours, ["--toggle-collect=ImportRtf*"])
    mb = size / 1e6
    print(f"{name}: {size} bytes")
    print(f"  wall, whole process (best of 9): importer {mb / a:8.1f} MB/s   unrtf {mb / b:8.2f} MB/s   ratio {b / a:6.1f}")
    print(f"  wall, less start-up:             importer {mb / max(a - sa, 1e-4):8.1f} MB/s   unrtf {mb / max(b - sb, 1e-4):8.2f} MB/s   ratio {max(b - sb, 1e-4) / max(a - sa, 1e-4):6.1f}")
    print(f"  in-process (Google Benchmark):   importer {steady[key]:8.1f} MB/s                      ratio {steady[key] / (mb / b):6.1f}")
    print(f"  callgrind Ir, whole process:     importer {ia:13,d}   unrtf {ib:14,d}   ratio {ib / ia:6.1f}")
    print(f"  callgrind Ir, ImportRtf alone:   {ii:13,d}  ({ii / size:.1f} per byte)            ratio {ib / ii:6.1f}")
PY
