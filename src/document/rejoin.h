// Rejoining hard-wrapped plain text: decides whether a plain text's lines were
// broken at one fixed width (as most plain-text books are) and joins the lines
// of each paragraph so that they flow on the screen. Called by the document
// loader for plain text and PalmDoc books, and by the menu's "Rejoin lines".
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Text;

// The zero-width byte that pads a joined paragraph to its length as loaded:
// draws nothing, measures 0, and is no break point.
constexpr char REJOIN_FILLER = 0x1F;

// What the measure of a text found.
struct WrapMeasure {
  bool hardWrapped = false;
  int32_t width = 0;         // the wrap width in bytes (95th percentile of line lengths)
  int32_t lines = 0;         // non-blank lines
  int32_t spaceEnded = 0;    // of them, lines ending in a space or tab
  int32_t band = 0;          // lines within the band just under the width
  int32_t continued = 0;     // band lines followed by a line that starts in lower case
  int32_t followed = 0;      // band lines followed by a non-blank line
  int32_t wordEnded = 0;     // band lines ending in a letter or a comma
};

// Measures the length bytes at text (nothing at or past length is read; a NUL
// ends the text) and decides whether it is hard-wrapped; see rejoin.cpp for
// the measure.
WrapMeasure MeasureWrap(const char* text, size_t length);

// What JoinHardWrapped changed, so that UnjoinHardWrapped can put it back.
// joins: for each joined line end, in text order, its offset in the text as
// loaded shifted left by 7, the count of leading spaces the joined line lost
// (at most 31) shifted left by 2, 2 when a space was written for it, and 1 for
// a CR LF. paragraphEnds: for each paragraph that was joined, the offset of
// the line end (or the text's end) that closes it.
struct RejoinRecord {
  std::vector<uint32_t> joins;
  std::vector<uint32_t> paragraphEnds;
};

// Joins the lines of each paragraph of a text hard-wrapped at width, in place,
// keeping the text's length and the offset of every paragraph: within a
// paragraph, each line end becomes one space (none after a hyphenated word or
// a line that already ends in a space) and the leading spaces of the joined
// lines go; the bytes saved become filler bytes just before the paragraph's
// own line end. A LF text of paragraphs without indentation keeps every byte
// offset. The text must be shorter than 2^25 bytes. record (may be null)
// receives what was joined, growing as needed; when memory runs out, the
// paragraph under way is closed and the rest of the text stays as it was.
// Returns the number of joins.
int32_t JoinHardWrapped(char* text, size_t length, int32_t width, RejoinRecord* record);

// Puts back the line ends and leading spaces that JoinHardWrapped removed from
// text (length bytes as loaded). Returns false, changing nothing, when the
// text no longer holds what the join wrote.
bool UnjoinHardWrapped(char* text, size_t length, const RejoinRecord& record);

// The loader's step after the soft breaks are joined: records whether the
// Text object's formatted text may be rejoined (plain text and PalmDoc only)
// and, when the "Rejoin lines" setting is on and the text is hard-wrapped,
// joins it. Never changes the text's length. Memory shortage leaves it as it is.
void RejoinLoadedText(Text* text, bool plainText);

// The same for a text whose length (the bytes before its NUL) the loader knows.
void RejoinLoadedText(Text* text, bool plainText, size_t length);

// Brings the document on screen in line with the "Rejoin lines" setting after
// it changed: joins a plain text loaded unjoined, or puts back the line ends
// joined at load. Returns true when the text changed (the caller lays it out
// again; every paragraph starts at the offset it had), false when nothing
// changed.
bool ApplyRejoinSetting(Text* text);
