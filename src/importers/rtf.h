// RTF import: converts an RTF document into the formatted text and fills the
// Text object's colour table. Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

// Result of ImportRtf. Whatever the result, the buffer holds a terminated
// formatted text: on a failure, the text converted up to the fault.
enum RtfResult {
  RtfOk = 0,
  RtfStackUnderflow = 1,  // a "}" with no open group
  RtfNoMemory = 2,        // no memory for a group record or for the output
  RtfUnmatchedBrace = 3,  // end of input with groups still open
  RtfInvalidHex = 4,      // a byte other than a hexadecimal digit in a \' escape
  RtfBadTable = 5,        // a keyword row of unknown kind (never with the built-in table)
  RtfBadState = 6,        // an unknown input state (never in practice)
  RtfEndOfInput = 7,      // end of input inside a control word
};

// buffer: in/out, a malloc'd NUL-terminated RTF document of length bytes; on
// return it holds the formatted text (malloc'd, owned by the caller), in a
// new buffer: the input is freed. When even the output buffer cannot be had,
// the input is freed and *buffer becomes null. text may be null (no colour
// table is written). Returns an RtfResult, which the loader does not examine.
int ImportRtf(Text* text, char** buffer, int32_t length);
