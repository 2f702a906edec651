#!/bin/sh
# Makes two long PDF books (about 300 pages each) for the PDF benchmarks, from
# tests/data/pdf/src/voyage.md repeated as numbered chapters:
#   long-libreoffice.pdf  pandoc -> ODT -> LibreOffice Writer
#   long-pdflatex.pdf     pandoc -> pdfTeX (Latin Modern)
# into the folder given as $1 (default ${TMPDIR:-/tmp}/quillo-bench-pdf).
# The books are not committed; a book already there is kept unless
# QUILLO_BENCH_REBUILD=1. QUILLO_BENCH_CHAPTERS sets the number of chapters
# (default 59, about 300 pages in each writer).
#   needs: pandoc libreoffice-writer (or libreoffice-writer-nogui)
#          fonts-liberation2 texlive-latex-recommended texlive-fonts-recommended
#          lmodern poppler-utils (pdfinfo, for the page count) python3
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-${TMPDIR:-/tmp}/quillo-bench-pdf}
CHAPTERS=${QUILLO_BENCH_CHAPTERS:-59}
export LC_ALL=C.UTF-8 TZ=UTC SOURCE_DATE_EPOCH=1773483630 FORCE_SOURCE_DATE=1
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

if [ "${QUILLO_BENCH_REBUILD:-0}" != 1 ] &&
   [ -s "$OUT/long-libreoffice.pdf" ] && [ -s "$OUT/long-pdflatex.pdf" ]; then
  echo "books already in $OUT"
  exit 0
fi

# The long text: the story's sections, renumbered, once per chapter.
/usr/bin/python3 - "$ROOT/tests/data/pdf/src/voyage.md" "$TMP/long.md" "$CHAPTERS" <<'EOF'
import re, sys
src, dst, chapters = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(src, encoding='utf-8').read()
body = text.split('\n---\n', 1)[1] if text.startswith('---\n') else text
out = ['---\ntitle: "The Slow Voyage: the long edition"\nlang: en\n---\n']
for c in range(1, chapters + 1):
    out.append('\n# Chapter %d\n' % c)
    lines = []
    for line in body.splitlines():
        if line.startswith('## '):
            line = re.sub(r'^## (\d+)\. ', lambda m: '### %d.%s. ' % (c, m.group(1)), line)
        elif line.startswith('# '):
            line = '## ' + line[2:]
        lines.append(line)
    out.append('\n'.join(lines))
open(dst, 'w', encoding='utf-8').write('\n'.join(out) + '\n')
EOF

now() { date +%s.%N; }
cd "$TMP"

t0=$(now)
pandoc long.md -o long.odt
soffice --headless "-env:UserInstallation=file://$TMP/lo-profile" \
  --convert-to pdf --outdir "$TMP/lo" long.odt >/dev/null 2>&1
cp lo/long.pdf "$OUT/long-libreoffice.pdf"
t1=$(now)
pandoc long.md --pdf-engine=pdflatex -V papersize=a4 -V fontfamily=lmodern \
  -o "$OUT/long-pdflatex.pdf"
t2=$(now)

for name in long-libreoffice long-pdflatex; do
  pages=$(pdfinfo "$OUT/$name.pdf" | awk '/^Pages:/ { print $2 }')
  size=$(wc -c < "$OUT/$name.pdf")
  case $name in
    long-libreoffice) from=$t0 to=$t1 ;;
    *) from=$t1 to=$t2 ;;
  esac
  awk -v n="$name" -v p="$pages" -v s="$size" -v a="$from" -v b="$to" \
    'BEGIN { printf "%s.pdf: %s pages, %s bytes, built in %.1f s\n", n, p, s, b - a }'
done
