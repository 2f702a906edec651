// Text assembly of the PDF reader: turns the glyphs a page shows, with their
// positions, into words, lines and paragraphs of the formatted text that the
// reader reflows. Called by the content interpreter once per page, in page order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pdf/internal.h"

// One glyph shown on a page, in the page's space after every transformation, with y growing upwards (the page's /Rotate already applied, so text runs left to right).
struct PdfGlyph {
  float x = 0, y = 0;   // origin of the glyph on its baseline
  float advance = 0;    // its own width along the baseline, without character and word spacing (which set words apart), page units; may be 0 or negative for odd fonts
  float size = 0;       // the font's size on the page (the em, after the text matrix and CTM scale); > 0
  uint8_t count = 0;    // Unicode code points of the glyph (0: unknown, nothing shown)
  uint32_t unicode[4] = {0, 0, 0, 0};
};

// Appends the text of one page's glyphs to text. Pages after the first start with a page-break code. Pages with no glyph give nothing but the page-break code.
//
// The glyphs come in content-stream order and are kept in that order: a
// change of baseline starts a line, a gap between glyphs a word; the lines of
// one paragraph are joined by a space, a paragraph ends with CR LF and the
// next is set apart by an empty line; the page's text ends with CR LF. The
// text is code page 1252 without control bytes, spaces never doubled nor
// before a line end. A glyph drawn again over itself (fake bold) is shown
// once. A glyph without text (count 0, control characters) shows nothing but
// keeps its place in its word; a glyph whose numbers are not finite, or whose
// size is not above 0, is dropped. The page's tables are allocated per page
// and freed before returning. When they cannot be had, text->failed is set
// and the page gives nothing; when the buffer cannot grow (failed) or reaches
// TEXT_MAX_BYTES (full), the rest is dropped, never half a code or line end.
void PdfAssemblePage(PdfTextBuffer* text, const PdfGlyph* glyphs, size_t count, bool firstPage);
