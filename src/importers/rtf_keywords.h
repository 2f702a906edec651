// The RTF keyword table and its look-up, shared by the parser (rtf.cpp) and
// nothing else. Internal to the RTF importer.
#pragma once

#include <cstdint>

enum class RtfKeywordKind : uint8_t { Char, Destination, Property, Special };

// What a Property row sets.
enum class RtfProperty : uint8_t {
  Bold,
  Underline,
  Italic,
  Size,
  Colour,
  Font,
  LeftIndent,
  RightIndent,
  FirstIndent,
  Columns,
  SectionBreak,
  PageNumberX,
  PageNumberY,
  PageNumberFormat,
  ParagraphReset,
  Alignment,
  PageWidth,
  PageHeight,
  MarginLeft,
  MarginRight,
  MarginTop,
  MarginBottom,
  FirstPageNumber,
  FacingPages,
  Landscape,
  FallbackCount,  // \ucN: characters that stand in for each \uN
};

enum class RtfSpecial : uint8_t { Binary, OptionalDestination, Hex };

struct RtfKeyword {
  const char* word;  // matched exactly, case-sensitive
  int32_t defaultValue;
  bool useDefault;
  RtfKeywordKind kind;
  uint8_t index;  // the byte (Char), RtfProperty (Property) or RtfSpecial (Special)
};

// The table, searched in order; the first exact match wins.
extern const RtfKeyword kRtfKeywords[];
extern const int32_t kRtfKeywordCount;

// The row whose keyword is the length bytes at word, or null.
const RtfKeyword* FindRtfKeyword(const char* word, int32_t length);
