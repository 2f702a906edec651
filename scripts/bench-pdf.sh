#!/bin/sh
# Side-by-side run of the PDF importer and poppler's pdftotext on one 5 MB PDF
# of text pages (groff -ms typeset by ghostscript's ps2pdf, made here from
# generated prose on the first run): instructions (callgrind), wall time and
# peak resident memory of both, then the Google Benchmark figure.
#   usage: scripts/bench-pdf.sh [build-folder]   (default build/, the tests' build)
#   needs: groff ghostscript poppler-utils valgrind, and pdf_bench built in the
#   build folder (cmake --build <folder> --target pdf_bench)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH="$BUILD/bench/pdf_bench"
WORK="$BUILD/pdf-bench"
PDF="$WORK/book.pdf"
export LC_ALL=C
mkdir -p "$WORK"

if [ ! -s "$PDF" ]; then
  # Sentences drawn from the fixture texts' words by a fixed generator, so the
  # pages compress like prose rather than like one repeated paragraph.
  /usr/bin/python3 - "$ROOT/tests/data/pdf/src" > "$WORK/book.ms" <<'PY'
import random, re, sys
words = re.findall(r"[A-Za-z']+", open(sys.argv[1] + "/harbour.ms").read() +
                   open(sys.argv[1] + "/lighthouse.txt").read())
words = [w for w in words if len(w) > 1 or w in ("a", "I")]
rng = random.Random(1773)
print(".TL\nThe Long Ledger")
for chapter in range(1, 1200):
    print(".NH\nChapter %d" % chapter)
    for paragraph in range(12):
        print(".PP")
        for sentence in range(rng.randint(3, 7)):
            n = rng.randint(6, 18)
            s = " ".join(rng.choice(words) for _ in range(n))
            print(s[0].upper() + s[1:] + ".")
PY
  groff -ms -Tps "$WORK/book.ms" > "$WORK/book.ps"
  ps2pdf "$WORK/book.ps" "$PDF"
fi
size=$(stat -c %s "$PDF")
pages=$(pdfinfo "$PDF" 2>/dev/null | awk '/^Pages:/ {print $2}')
echo "file: $PDF, $size bytes, $pages pages"

echo "-- wall time and peak memory"
/usr/bin/time -f "pdftotext: %e s, peak RSS %M KB" pdftotext "$PDF" "$WORK/poppler.txt"
/usr/bin/time -f "ImportPdf: %e s, peak RSS %M KB" "$BENCH" --once "$PDF"

echo "-- instructions (callgrind)"
ir() {
  valgrind --tool=callgrind --callgrind-out-file="$WORK/callgrind.out" "$@" >/dev/null 2>"$WORK/callgrind.log"
  awk '/^summary:/ {print $2}' "$WORK/callgrind.out"
}
ours=$(ir "$BENCH" --once "$PDF")
theirs=$(ir pdftotext "$PDF" "$WORK/poppler.txt")
echo "ImportPdf: $ours instructions"
echo "pdftotext: $theirs instructions"
awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "throughput ratio (pdftotext / ImportPdf instructions): %.1f\n", a / b }'

echo "-- Google Benchmark on the same file"
"$BENCH" --file="$PDF" --benchmark_min_time=1
