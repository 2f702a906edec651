#!/bin/sh
# Side-by-side run of the PDF importer and poppler's pdftotext on three long
# books: a 5 MB groff -ms book typeset by ghostscript's ps2pdf (made here from
# generated prose on the first run), and books of about 300 pages from
# LibreOffice and from pdfTeX (scripts/make-bench-pdf-books.sh). For each:
# instructions (callgrind) of both in the same run and their ratio, the cost
# per page, wall time, and the peak resident memory the import adds to the
# process against 3 x (file + text). Then the LibreOffice book encrypted with
# AES-128 (empty user password, made by qpdf beside it) against the plain one:
# what decryption adds to opening a book.
#   usage: scripts/bench-pdf.sh [build-folder]   (default build/, the tests' build)
#   needs: groff ghostscript poppler-utils valgrind qpdf, what
#   make-bench-pdf-books.sh needs, and pdf_bench built in the build folder
#   (cmake --build <folder> --target pdf_bench)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
BENCH="$BUILD/bench/pdf_bench"
WORK="$BUILD/pdf-bench"
BOOKS=${TMPDIR:-/tmp}/quillo-bench-pdf
export LC_ALL=C
mkdir -p "$WORK"

PDF="$WORK/book.pdf"
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
"$ROOT/scripts/make-bench-pdf-books.sh" "$BOOKS"
AES="$BOOKS/long-libreoffice-aes.pdf"
if [ ! -s "$AES" ] || [ "$BOOKS/long-libreoffice.pdf" -nt "$AES" ]; then
  qpdf --allow-weak-crypto --encrypt "" owner 128 --use-aes=y -- "$BOOKS/long-libreoffice.pdf" "$AES"
fi

ir() {
  valgrind --tool=callgrind --callgrind-out-file="$WORK/callgrind.out" "$@" >/dev/null 2>"$WORK/callgrind.log"
  awk '/^summary:/ {print $2}' "$WORK/callgrind.out"
}

for book in "$PDF" "$BOOKS/long-libreoffice.pdf" "$BOOKS/long-pdflatex.pdf"; do
  size=$(stat -c %s "$book")
  pages=$(pdfinfo "$book" 2>/dev/null | awk '/^Pages:/ {print $2}')
  echo "== $(basename "$book"): $size bytes, $pages pages"
  /usr/bin/time -f "pdftotext: %e s, peak RSS %M KB" pdftotext "$book" "$WORK/poppler.txt"
  /usr/bin/time -f "ImportPdf: %e s" "$BENCH" --once "$book" 2>"$WORK/once.txt"
  cat "$WORK/once.txt"
  # "file F bytes, text T bytes, peak RSS P KB (B KB before reading)"
  awk '/^file/ { file = $2; text = $5; peak = $9; base = $11; sub(/\(/, "", base);
         added = peak - base; budget = 3 * (file + text) / 1024;
         printf "memory added by the import: %d KB, budget 3 x (file + text) = %d KB: %s\n",
                added, budget, added <= budget ? "within" : "OVER" }' "$WORK/once.txt"
  ours=$(ir "$BENCH" --once "$book")
  [ "$book" = "$BOOKS/long-libreoffice.pdf" ] && plain=$ours
  theirs=$(ir pdftotext "$book" "$WORK/poppler.txt")
  echo "ImportPdf: $ours instructions ($(awk -v a="$ours" -v p="$pages" 'BEGIN { printf "%.0f", a / p }') a page)"
  echo "pdftotext: $theirs instructions ($(awk -v a="$theirs" -v p="$pages" 'BEGIN { printf "%.0f", a / p }') a page)"
  awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "pdftotext / ImportPdf instructions: %.1f (target at least 5)\n", a / b }'
  # At about one instruction a cycle, the console's 200 MHz ARM9 opens the
  # book in roughly this time (its cache and memory make it slower still).
  awk -v a="$ours" 'BEGIN { printf "estimated opening time on a 200 MHz ARM9: %.1f s\n", a / 200e6 }'
done

echo "== $(basename "$AES"): $(stat -c %s "$AES") bytes, AES-128"
"$BENCH" --once "$AES" 2>&1
aes=$(ir "$BENCH" --once "$AES")
echo "ImportPdf: $aes instructions encrypted, $plain plain"
awk -v a="$aes" -v p="$plain" 'BEGIN { printf "encrypted / plain instructions: %.2f (target at most 1.3)\n", a / p }'
