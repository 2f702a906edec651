// The RTF keyword table: the control words the importer acts on, and a look-up
// that goes straight to the rows sharing the word's first byte. Used by rtf.cpp.
#include "importers/rtf_keywords.h"

#include <cstring>

namespace {

using K = RtfKeywordKind;
using P = RtfProperty;
using S = RtfSpecial;

constexpr uint8_t Prop(P p) { return uint8_t(p); }
constexpr uint8_t Spec(S s) { return uint8_t(s); }

}  // namespace

// Property rows, char rows, special rows, destination rows, then the three
// control symbols that stand for literal braces and the backslash.
const RtfKeyword kRtfKeywords[] = {
    {"b", 1, false, K::Property, Prop(P::Bold)},
    {"u", 1, false, K::Property, Prop(P::Underline)},
    {"ul", 1, false, K::Property, Prop(P::Underline)},
    {"ulnone", 0, false, K::Property, Prop(P::Underline)},
    {"i", 1, false, K::Property, Prop(P::Italic)},
    {"fs", 0, false, K::Property, Prop(P::Size)},
    {"cf", 0, false, K::Property, Prop(P::Colour)},
    {"f", 0, false, K::Property, Prop(P::Font)},
    {"li", 0, false, K::Property, Prop(P::LeftIndent)},
    {"ri", 0, false, K::Property, Prop(P::RightIndent)},
    {"fi", 0, false, K::Property, Prop(P::FirstIndent)},
    {"cols", 1, false, K::Property, Prop(P::Columns)},
    {"sbknone", 0, true, K::Property, Prop(P::SectionBreak)},
    {"sbkcol", 1, true, K::Property, Prop(P::SectionBreak)},
    {"sbkeven", 2, true, K::Property, Prop(P::SectionBreak)},
    {"sbkodd", 3, true, K::Property, Prop(P::SectionBreak)},
    {"sbkpage", 4, true, K::Property, Prop(P::SectionBreak)},
    {"pgnx", 0, false, K::Property, Prop(P::PageNumberX)},
    {"pgny", 0, false, K::Property, Prop(P::PageNumberY)},
    {"pgndec", 0, true, K::Property, Prop(P::PageNumberFormat)},
    {"pgnucrm", 1, true, K::Property, Prop(P::PageNumberFormat)},
    {"pgnlcrm", 2, true, K::Property, Prop(P::PageNumberFormat)},
    {"pgnucltr", 3, true, K::Property, Prop(P::PageNumberFormat)},
    {"pgnlcltr", 4, true, K::Property, Prop(P::PageNumberFormat)},
    {"pard", 0, true, K::Property, Prop(P::ParagraphReset)},
    {"qc", 2, true, K::Property, Prop(P::Alignment)},
    {"ql", 0, true, K::Property, Prop(P::Alignment)},
    {"qr", 1, true, K::Property, Prop(P::Alignment)},
    {"qj", 3, true, K::Property, Prop(P::Alignment)},
    {"paperw", 12240, false, K::Property, Prop(P::PageWidth)},
    {"paperh", 15480, false, K::Property, Prop(P::PageHeight)},
    {"margl", 1800, false, K::Property, Prop(P::MarginLeft)},
    {"margr", 1800, false, K::Property, Prop(P::MarginRight)},
    {"margt", 1440, false, K::Property, Prop(P::MarginTop)},
    {"margb", 1440, false, K::Property, Prop(P::MarginBottom)},
    {"pgnstart", 1, true, K::Property, Prop(P::FirstPageNumber)},
    {"facingp", 1, true, K::Property, Prop(P::FacingPages)},
    {"landscape", 1, true, K::Property, Prop(P::Landscape)},
    {"uc", 1, false, K::Property, Prop(P::FallbackCount)},
    {"par", 0, false, K::Char, 10},
    {"page", 0, false, K::Char, 2},
    {"line", 0, false, K::Char, 10},
    {"\n", 0, false, K::Char, 10},
    {"\r", 0, false, K::Char, 10},
    {"tab", 0, false, K::Char, 9},
    {"ldblquote", 0, false, K::Char, 34},
    {"rdblquote", 0, false, K::Char, 34},
    {"rquote", 0, false, K::Char, 39},
    {"lquote", 0, false, K::Char, 39},
    // Dropping these would run the words on either side together, or leave a
    // list item with a bare tab where its bullet was.
    {"endash", 0, false, K::Char, 0x96},
    {"emdash", 0, false, K::Char, 0x97},
    {"bullet", 0, false, K::Char, 0x95},
    {"bin", 0, false, K::Special, Spec(S::Binary)},
    {"*", 0, false, K::Special, Spec(S::OptionalDestination)},
    {"'", 0, false, K::Special, Spec(S::Hex)},
    {"author", 0, false, K::Destination, 0},
    {"buptim", 0, false, K::Destination, 0},
    {"colortbl", 0, false, K::Destination, 0},
    {"comment", 0, false, K::Destination, 0},
    {"creatim", 0, false, K::Destination, 0},
    {"doccomm", 0, false, K::Destination, 0},
    {"fonttbl", 0, false, K::Destination, 0},
    {"footer", 0, false, K::Destination, 0},
    {"footerf", 0, false, K::Destination, 0},
    {"footerl", 0, false, K::Destination, 0},
    {"footerr", 0, false, K::Destination, 0},
    {"footnote", 0, false, K::Destination, 0},
    {"ftncn", 0, false, K::Destination, 0},
    {"ftnsep", 0, false, K::Destination, 0},
    {"ftnsepc", 0, false, K::Destination, 0},
    {"header", 0, false, K::Destination, 0},
    {"headerf", 0, false, K::Destination, 0},
    {"headerl", 0, false, K::Destination, 0},
    {"headerr", 0, false, K::Destination, 0},
    {"info", 0, false, K::Destination, 0},
    {"keywords", 0, false, K::Destination, 0},
    {"operator", 0, false, K::Destination, 0},
    {"pict", 0, false, K::Destination, 0},
    {"printim", 0, false, K::Destination, 0},
    {"private1", 0, false, K::Destination, 0},
    {"revtim", 0, false, K::Destination, 0},
    {"rxe", 0, false, K::Destination, 0},
    {"stylesheet", 0, false, K::Destination, 0},
    {"subject", 0, false, K::Destination, 0},
    {"tc", 0, false, K::Destination, 0},
    {"title", 0, false, K::Destination, 0},
    {"txe", 0, false, K::Destination, 0},
    {"xe", 0, false, K::Destination, 0},
    {"{", 0, false, K::Char, '{'},
    {"}", 0, false, K::Char, '}'},
    {"\\", 0, false, K::Char, '\\'},
    {"~", 0, false, K::Char, 0xA0},  // no-break space: layout never breaks there
    {"_", 0, false, K::Char, '-'},   // non-breaking hyphen
};

const int32_t kRtfKeywordCount = int32_t(sizeof kRtfKeywords / sizeof kRtfKeywords[0]);

namespace {

constexpr int32_t kRows = int32_t(sizeof kRtfKeywords / sizeof kRtfKeywords[0]);

// Rows grouped by first byte, each group in table order, so that a look-up
// compares only the few rows that can match and still finds the first match.
struct KeywordIndex {
  uint8_t start[257];   // rows of first byte c: order[start[c]] .. order[start[c + 1] - 1]
  uint8_t order[kRows];
  uint8_t length[kRows];
};

KeywordIndex BuildIndex() {
  KeywordIndex index = {};
  int32_t count[256] = {};
  for (int32_t r = 0; r < kRows; ++r) {
    index.length[r] = uint8_t(std::strlen(kRtfKeywords[r].word));
    ++count[uint8_t(kRtfKeywords[r].word[0])];
  }
  int32_t at = 0;
  for (int c = 0; c < 256; ++c) {
    index.start[c] = uint8_t(at);
    at += count[c];
  }
  index.start[256] = uint8_t(at);
  int32_t fill[256];
  for (int c = 0; c < 256; ++c) fill[c] = index.start[c];
  for (int32_t r = 0; r < kRows; ++r) index.order[fill[uint8_t(kRtfKeywords[r].word[0])]++] = uint8_t(r);
  return index;
}

const KeywordIndex kIndex = BuildIndex();

}  // namespace

const RtfKeyword* FindRtfKeyword(const char* word, int32_t length) {
  if (length <= 0) return nullptr;
  const uint8_t first = uint8_t(word[0]);
  for (int32_t i = kIndex.start[first]; i < kIndex.start[first + 1]; ++i) {
    const int32_t r = kIndex.order[i];
    if (kIndex.length[r] == length && std::memcmp(kRtfKeywords[r].word, word, size_t(length)) == 0)
      return &kRtfKeywords[r];
  }
  return nullptr;
}
