// The document on screen: the formatted text (code page 1252 bytes with format
// codes), its line table, its name, font and colour table. Written by the loader
// and the importers, read by layout, drawing, search and the menus.
#pragma once

#include <cstddef>
#include <cstdint>

struct BitmapFont;

// Byte 1 starts a format code; the byte after it names the code.
constexpr char FORMAT_CODE = 1;
constexpr char FMT_BOLD_ON = 'B';
constexpr char FMT_BOLD_OFF = 'b';
constexpr char FMT_ITALIC_ON = 'I';
constexpr char FMT_ITALIC_OFF = 'i';
constexpr char FMT_UNDERLINE_ON = 'U';
constexpr char FMT_UNDERLINE_OFF = 'u';
constexpr char FMT_ALIGN_LEFT = 'l';
constexpr char FMT_ALIGN_CENTRE = 'c';
constexpr char FMT_ALIGN_RIGHT = 'r';
constexpr char FMT_ALIGN_JUSTIFY = 'j';
constexpr char FMT_SIZE = 'F';    // one argument byte: '0' + size level
constexpr char FMT_COLOUR = 'C';  // one argument byte: '0' + colour table index
constexpr char FMT_PAGE_BREAK = 'P';

// The style byte kept while walking the text and stored per line.
constexpr uint8_t STYLE_BOLD = 0x01;
constexpr uint8_t STYLE_ITALIC = 0x02;
constexpr uint8_t STYLE_FACE_MASK = 0x03;  // face index of the fonts
constexpr uint8_t STYLE_UNDERLINE = 0x04;
constexpr uint8_t STYLE_SIZE_LEVEL4 = 0x08;
constexpr uint8_t STYLE_SIZE_LEVEL5 = 0x10;
constexpr uint8_t STYLE_SIZE_MASK = 0x18;  // any bit set: double height
constexpr int STYLE_ALIGN_SHIFT = 6;
constexpr uint8_t STYLE_ALIGN_MASK = 0xC0;
constexpr int STYLE_ALIGN_LEFT = 0;
constexpr int STYLE_ALIGN_CENTRE = 1;
constexpr int STYLE_ALIGN_RIGHT = 2;
constexpr int STYLE_ALIGN_JUSTIFIED = 3;
// Every document is laid out from style 0, justified.
constexpr uint8_t START_STYLE = STYLE_ALIGN_JUSTIFIED << STYLE_ALIGN_SHIFT;  // 192

constexpr int TEXT_COLOURS = 16;
constexpr int TEXT_NAME_SIZE = 256;
constexpr int32_t TEXT_LAYOUT_WIDTH = 310;  // screen width minus 10
constexpr int32_t FIRST_LINE_Y = 5;

// One laid-out line, in text order.
struct LineRecord {
  const char* start;         // first byte of the line inside the formatted text
  uint16_t length;           // bytes of the line: codes included, breaking space and line end not
  uint16_t xOffset;          // added to the left margin for centre and right alignment
  int32_t y;                 // top of the line in document pixels (first line 5)
  uint8_t height;            // line height in pixels
  uint8_t startStyle;        // style byte in force at the start of the line
  uint8_t spaceExtra;        // justified lines: pixels added after every space
  uint8_t firstSpaceExtra;   // justified lines: added once more after the first space
  uint8_t startColour;       // colour table index in force at the start of the line, so that
                             // a coloured paragraph keeps its colour after a wrap
};

// Limits for a whole document, whatever its importer: the console leaves a
// program about 48 MB of its 64. The formatted text stops before
// TEXT_MAX_BYTES, the line table at TEXT_MAX_LINES, and the document height
// below 2^31 pixels, where the signed reading position would wrap. Text and
// table together stay inside that memory with the reader's own: 16 MB and
// 600,000 records of 20 bytes on the console (24 on a 64-bit computer). A real
// book is far smaller: a 10 MB novel lays out in 290,000 lines at the largest
// zoom. No file is read beyond DOCUMENT_MAX_INPUT_BYTES: a larger one is read
// up to there and the reader is told.
constexpr int32_t TEXT_MAX_BYTES = 16 * 1024 * 1024;
constexpr int32_t TEXT_MAX_LINES = 600000;
constexpr int32_t DOCUMENT_MAX_INPUT_BYTES = 24 * 1024 * 1024;
constexpr int32_t TEXT_MAX_HEIGHT = 0x7FFFFFFF - 0x10000;

struct Text {
  int32_t lineCount = 0;           // records in lines; 0 without a document
  LineRecord* lines = nullptr;     // malloc'd, owned; may be null
  char* text = nullptr;            // malloc'd, NUL-terminated, owned; may be null
  char name[TEXT_NAME_SIZE] = {};  // file path or archive entry name; empty for the introduction
  const BitmapFont* font = nullptr;
  uint16_t colours[TEXT_COLOURS] = {};  // RGB565; 0 means the user's text colour
  int32_t colourCount = 0;         // entries filled by the last RTF import
  int32_t width = TEXT_LAYOUT_WIDTH;  // pixels available to a line
  // Set by an importer or layout that stopped early (a damaged file, a
  // limit above); the loader tells the reader and clears it.
  bool incomplete = false;
};

// The one Text object of the program, created by Init; null before.
extern Text* g_text;

// Counts the changes of any Text object's line table (layout, clearing,
// loading): a picture kept of the page is stale once it has moved on.
extern uint32_t g_textRevision;

// Creates an empty Text object (no text, no lines, empty name) with the given
// layout width. Returns null when memory is short.
Text* CreateText(int32_t width);
// Frees the formatted text and the line table, then the object; null is harmless.
void ReleaseText(Text* text);
// Frees the formatted text and the line table and leaves the object empty
// (name, font and colour table are kept).
void ClearTextContents(Text* text);
// Stores name (a path, an entry name or a title) as the Text object's name. A
// path longer than the field keeps its end from a "/", so that its last part,
// which the title bar shows, stays whole; other long names keep their start.
void SetTextName(Text* text, const char* name);

// Writes the "Info about current text" lines (name, lines, pixels, characters)
// in the interface language into out (size bytes, always terminated).
void TextInfo(const Text* text, char* out, size_t size);

// Document height in pixels: the last line's y plus its height, 0 without lines.
int32_t DocumentHeight(const Text* text);
