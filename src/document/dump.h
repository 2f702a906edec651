// Readable forms of the formatted text and the line table, for the page
// renderer tool, golden-text tests and people looking at a document.
#pragma once

#include <string>

struct Text;

// The formatted text with every code as a marker: <B> <b> <I> <i> <U> <u>
// <l> <c> <r> <j> <P>, <F4> and <C1> with their argument, <1> for a byte 1
// that starts no code; CR as <CR>, tab as <TAB>, other control bytes as <xNN>.
// LF stays a line end. Bytes 128 to 255 are kept as they are, or converted
// from code page 1252 to UTF-8 when utf8 is set. A null text gives "".
std::string DescribeFormatted(const char* formatted, bool utf8);

// One line per record: index, byte offset, length, x offset, y, height, start
// style, space extra, first-space extra, start colour, then the line's bytes
// as DescribeFormatted shows them.
std::string DescribeLines(const Text* text, bool utf8);
