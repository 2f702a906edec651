// The content-stream interpreter of the PDF text extractor: runs each page's
// content, and the forms it draws, through the graphics and text state, turns
// every shown code into a positioned glyph and hands each page's glyphs to the
// text assembly. Called by the importer's entry (ImportPdf).
#pragma once

#include <cstddef>

#include "pdf/document.h"
#include "pdf/internal.h"

// Glyphs kept for one page; a page that shows more (a form drawn many
// thousands of times) loses the rest. About 7 MB of glyph records.
constexpr size_t PDF_CONTENT_MAX_GLYPHS = 200000;

// Appends the text of every page of document, in page order, through
// PdfAssemblePage: one call per page, a page without glyphs included (it keeps
// its page break). *anyText is set to whether any glyph had a known Unicode
// (false for a book of scanned pictures). Stops after the page on which text
// became full or failed or document->memoryFailed was set; a stream that
// cannot be decoded contributes nothing. False, with nothing appended, when
// the document has no page tree or no page.
bool PdfExtractPages(PdfDocument* document, PdfTextBuffer* text, bool* anyText);
