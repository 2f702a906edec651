// CMaps: the /ToUnicode programs that tell which Unicode text a font's codes
// stand for, and the codespace ranges that tell how long each code of a
// string is. Read by the font code; looked up for every glyph shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// At most this many mappings are kept from one CMap, whatever it says: a
// bfchar entry, an element of a bfrange array, or a whole incrementing bfrange.
constexpr size_t PDF_CMAP_MAX_MAPPINGS = 1000000;
// At most this many begincodespacerange entries are kept.
constexpr size_t PDF_CMAP_MAX_CODESPACES = 256;
// Code points of one destination, as a ligature "f" "f" "i" needs three.
constexpr int PDF_CMAP_MAX_UNICODE = 8;

// One begincodespacerange entry: codes of `bytes` bytes (1 to 4) whose every
// byte lies between the same byte of low and of high.
struct PdfCodespace {
  uint8_t bytes;
  uint32_t low, high;
};

// Codes low..high; code c maps to the code points text[text .. text + length)
// of its map, the last one plus c - start. A single code has low = high =
// start; an incrementing bfrange keeps its start when a later definition
// splits it.
struct PdfCMapMapping {
  uint32_t low = 0;
  uint32_t high = 0;
  uint32_t start = 0;
  uint32_t text = 0;
  uint8_t length = 0;  // 1..PDF_CMAP_MAX_UNICODE
};

struct PdfCMap {
  // Empty: codes are 2 bytes when the map serves a composite font, 1 byte
  // otherwise (see PdfCMapNextCode). Sorted by bytes once finished.
  std::vector<PdfCodespace> codespaces;
  // While parsing: in the order of the file. Once finished: sorted by low,
  // no two overlapping, where a code defined twice keeps its later definition.
  std::vector<PdfCMapMapping> mappings;
  std::vector<uint32_t> text;  // the destinations' code points
};

// Parses a ToUnicode CMap program data[0..size) into *map, replacing what it
// held: begincodespacerange, beginbfchar and beginbfrange in both forms, with
// destinations as UTF-16BE strings (surrogate pairs joined, at most
// PDF_CMAP_MAX_UNICODE code points kept) or glyph names. Codes longer than 4
// bytes, empty destinations and unknown glyph names are skipped; usecmap and
// the CID sections are ignored. Never reads past size. Returns false only
// when it found neither a codespace nor a mapping. Finishes the map.
bool PdfParseCMap(const uint8_t* data, size_t size, PdfCMap* map);

// Sorts the codespaces and turns the mappings, in the order they were
// defined, into the sorted, non-overlapping list that lookups search. For
// maps built by hand; PdfParseCMap calls it. Doing it twice changes nothing.
void PdfFinishCMap(PdfCMap* map);

// The length in bytes (1-4) of the code at s[0..n), n >= 1, and in *code its
// value: the shortest codespace whose bytes all match; when none does, the
// length of the shortest codespace whose first byte matches, else 1; with no
// codespaces, defaultBytes (kept within 1..4). A code cut by the string's end
// takes the bytes that are there and returns their count. Never reads s[n].
int PdfCMapNextCode(const PdfCMap& map, const uint8_t* s, size_t n, int defaultBytes, uint32_t* code);

// The Unicode text of code in a finished map: writes up to max code points to
// out and returns their count; 0 when the code is unmapped. Binary search,
// no allocation.
int PdfCMapLookup(const PdfCMap& map, uint32_t code, uint32_t* out, int max);
