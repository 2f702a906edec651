#!/bin/sh
# Writes the fixtures of tests/rejoin_test.cpp into tests/data/rejoin/: a short
# book (self-written prose, public domain) as one line per paragraph, the same
# book hard-wrapped at 72 columns by fmt(1) with LF and with CR LF line ends, a
# poem alone and a small program source. Prose paragraphs are wrapped; the
# title, the table of contents, the headings and the poem stay as written.
#   scripts/make-fixtures-rejoin.sh
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/tests/data/rejoin
mkdir -p "$OUT"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The book, one line per paragraph. A line starting "=" is kept as it stands
# (the "=" removed); a line starting with four spaces is an indented
# paragraph (first line indented, the rest at the margin) in chapter II and an
# indented quotation (every line indented) in chapter I, told by "Q".
cat > "$TMP/book.src" <<'BOOK'
=                      THE KEEPER OF GREY POINT
=
=CONTENTS
=
=   I. The Lighthouse ......................................... 1
=  II. A Letter from the Mainland ............................. 9
= III. The Winter Storm ...................................... 17
=
=CHAPTER I
=The Lighthouse
=
The lighthouse at Grey Point stood on a spur of black rock that the sea had been trying to carry away for as long as anyone could remember. Its keeper, a tall and quiet man named Tobias Wren, had lived there for eleven winters, and in all that time he had never once let the lamp go out, not even on the night his brother drowned within sight of the tower.
=
Every morning he climbed the hundred and twelve steps to the lantern room, wiped the soot from the great lens, trimmed the wick and wound the clockwork that turned the light. Every evening he climbed them again to light it. Between those two climbs the day belonged to the gulls, the weather and the long columns of figures in the logbook, where he wrote down the wind, the sea and every ship that passed.
=
He did not think of himself as lonely. The supply boat came once a fortnight when the sea allowed it, bringing flour, oil, tobacco and a bundle of newspapers already a month old, which he read slowly, in order, one each evening, so that the world reached him at a steady and reasonable pace.
=
Above his bed hung a card in his mother's hand, which he had read so often that he no longer saw the words, only the shape of them:
=
Q    Keep the light and the light will keep you; a lamp that burns for strangers is never wasted, though no stranger ever comes to thank it, and the dark is only the part of the night that nobody has yet walked through.
=
On clear nights he sat on the gallery with his back against the warm glass and watched the beam go round, sweeping the water, the rocks, the distant line of the mainland and the water again, and on those nights he sometimes said aloud the lines his father had taught him:
=
=    The lamp is lit, the tide is high,
=    The gulls go home across the sky;
=    And I who keep the tower alone
=    Can hear the sea against the stone.
=
=    No ship tonight, no sail, no oar,
=    But wind along the empty shore;
=    Yet still the light goes round and round,
=    For what is lost may yet be found.
=
It was a well-known rhyme on that coast, and nobody could say who had written it. Tobias liked it because it asked nothing of him but what he was already doing, and because it rhymed in the plain honest way that the hymns at the chapel rhymed, without any tricks.
=
=CHAPTER II
=A Letter from the Mainland
=
    The letter came in October, folded inside a newspaper, as if whoever had sent it had been ashamed of it or afraid that it would be lost. It was addressed to him in a small careful hand that he did not know, and it had been opened and sealed again at least once on its way.
    He did not open it at once. He set it on the table beside the logbook and went about his work, and all day he felt it there behind him, the way one feels a person standing in a doorway without turning round to look.
    When at last he read it, by the light of the small lamp in the kitchen, he found that it was from a woman called Marta Ilse, who wrote that she was the widow of his brother, that she had a son of nine years, and that the boy wished more than anything to see the light that his father had died in sight of.
    Tobias read the letter three times. Then he took down the logbook and, under the date, where he usually wrote the wind and the weather, he wrote only: letter received; answer to follow. It was the first time in eleven years that he had written anything there that was not about the sea.
    He answered it the next morning. His reply was short, because he did not know how to write a long one, and because every sentence he tried to add seemed to say either too much or nothing at all. He told her that the boy would be welcome, that the tower was cold but dry, and that the supply boat would bring them in the spring.
    All through that winter he found himself doing small things he had not done before: mending the second chair, clearing the spare room of nets and empty casks, and once, to his own surprise, carving a little wooden boat from a piece of driftwood, with a mast, a sail made of sailcloth and a name cut into its side.
BOOK

# One line per paragraph, as written.
sed -e 's/^=//' -e 's/^Q//' "$TMP/book.src" > "$OUT/book-unwrapped.txt"

# Hard-wrapped at 72 columns: kept lines as they stand, paragraphs through fmt.
: > "$TMP/wrapped"
while IFS= read -r line; do
  case "$line" in
    =*) printf '%s\n' "${line#=}" >> "$TMP/wrapped" ;;
    Q*) printf '%s\n' "${line#Q}" | fmt -w 72 >> "$TMP/wrapped" ;;
    "    "*) printf '%s\n' "$line" | fmt -t -w 72 >> "$TMP/wrapped" ;;
    *) printf '%s\n' "$line" | fmt -w 72 >> "$TMP/wrapped" ;;
  esac
done < "$TMP/book.src"
cp "$TMP/wrapped" "$OUT/book-wrapped-lf.txt"
sed 's/$/\r/' "$TMP/wrapped" > "$OUT/book-wrapped-crlf.txt"

cat > "$OUT/poem.txt" <<'POEM'
Song of the Breakwater

Along the breakwater the evening lamps are burning,
And every window of the harbour town is gold;
The fishing boats come home, their patient engines turning,
Their decks all silver-heavy with the catch they hold.

Along the breakwater the old men stand and wonder
Which boat will be the last to round the point tonight;
They count the masts, they listen for the distant thunder,
They watch the sky go slowly from the grey to white.

Along the breakwater a child is softly singing
A song her mother taught her on another shore;
The bells along the quay are ringing, ringing, ringing,
And no one on the breakwater is lonely any more.
POEM

cat > "$OUT/program.c" <<'PROGRAM'
/* Counts the lines, words and bytes of standard input, as wc does. */
#include <ctype.h>
#include <stdio.h>

struct counts {
  long lines;
  long words;
  long bytes;
};

static void count_stream(FILE *in, struct counts *c) {
  int ch;
  int in_word = 0;
  while ((ch = getc(in)) != EOF) {
    c->bytes++;
    if (ch == '\n') c->lines++;
    if (isspace(ch)) {
      in_word = 0;
    } else if (!in_word) {
      in_word = 1;
      c->words++;
    }
  }
}

int main(void) {
  struct counts c = {0, 0, 0};
  count_stream(stdin, &c);
  printf("%7ld %7ld %7ld\n", c.lines, c.words, c.bytes);
  return 0;
}
PROGRAM

# A PalmDoc book (uncompressed) of UTF-8 text, to check that its accents are
# converted: header, one record list entry per record, record 0, the text.
python3 - "$OUT/utf8-palmdoc.pdb" <<'PYTHON'
import struct, sys
text = ("El guardián del faro leyó la carta de su cuñada.\n"
        "His father\u2019s lamp \u2014 still lit.\n").encode("utf-8")
name = b"utf8-palmdoc".ljust(32, b"\0")
header = name + struct.pack(">HHIIIIII", 0, 0, 0, 0, 0, 0, 0, 0) + b"TEXtREAd" + struct.pack(">IIH", 0, 0, 2)
offset0 = len(header) + 2 * 8 + 2
record0 = struct.pack(">HHIHHI", 1, 0, len(text), 1, 4096, 0)
entries = struct.pack(">II", offset0, 0) + struct.pack(">II", offset0 + len(record0), 1)
with open(sys.argv[1], "wb") as f:
    f.write(header + entries + b"\0\0" + record0 + text)
PYTHON

echo "fixtures written to $OUT"
