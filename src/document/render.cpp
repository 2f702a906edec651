// Page rendering: clears the frame, draws the lines that meet the text area
// and the title bar with its progress and shadow, then shows the frame. The
// title bar is kept as last drawn and copied while nothing it shows changes,
// and a small scroll shifts the kept text area and draws only the rows it
// uncovers.
#include "document/render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "document/load.h"
#include "document/text.h"
#include "platform/cp1252.h"
#include "platform/font.h"
#include "platform/settings.h"
#include "platform/video.h"

namespace {

constexpr uint16_t TITLE_PROGRAM_COLOUR = 0xFFC0;
constexpr uint16_t TITLE_NAME_COLOUR = 0xFFD8;
constexpr int TITLE_NAME_MAX = 20;
constexpr int TITLE_NAME_CUT = 17;

using TintFn = uint16_t (*)(uint16_t);

uint16_t ThreeQuarters(uint16_t c) {
  const uint32_t r = (uint32_t(c >> 11) * 3 / 4) & 31;
  const uint32_t g = (uint32_t((c >> 6) & 31) * 3 / 4) & 31;
  const uint32_t b = (uint32_t(c & 31) * 3 / 4) & 31;
  return uint16_t(r << 11 | g << 6 | b);
}

uint16_t Half(uint16_t c) {
  return uint16_t((c >> 11) / 2 << 11 | ((c >> 6) & 31) / 2 << 6 | (c & 31) / 2);
}

inline bool OnScreen(int x, int y) {
  return x >= 0 && x < SCREEN_WIDTH && y >= 0 && y < SCREEN_HEIGHT;
}

// Columns x0 to x1 (inclusive) of row y; pixels off the screen are skipped.
void FillRow(uint16_t* buf, int y, int x0, int x1, uint16_t colour) {
  if (y < 0 || y >= SCREEN_HEIGHT) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, SCREEN_WIDTH - 1);
  for (int x = x0; x <= x1; ++x) buf[PixelIndex(x, y)] = colour;
}

void TintRow(uint16_t* buf, int y, int x0, int x1, TintFn fn) {
  if (y < 0 || y >= SCREEN_HEIGHT) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, SCREEN_WIDTH - 1);
  for (int x = x0; x <= x1; ++x) {
    uint16_t& p = buf[PixelIndex(x, y)];
    p = fn(p);
  }
}

void TintColumn(uint16_t* buf, int x, int y0, int y1, TintFn fn) {
  for (int y = y0; y <= y1; ++y) {
    if (!OnScreen(x, y)) continue;
    uint16_t& p = buf[PixelIndex(x, y)];
    p = fn(p);
  }
}

// A rectangle, columns x0..x1 and rows y0..y1, clipped to the screen. Columns
// are contiguous in the frame buffer, so each column is one short run.
void FillRect(uint16_t* buf, int x0, int x1, int y0, int y1, uint16_t colour) {
  x0 = std::max(x0, 0);
  x1 = std::min(x1, SCREEN_WIDTH - 1);
  y0 = std::max(y0, 0);
  y1 = std::min(y1, SCREEN_HEIGHT - 1);
  if (x0 > x1 || y0 > y1) return;
  for (int x = x0; x <= x1; ++x) {
    uint16_t* col = buf + PixelIndex(x, y1);
    std::fill(col, col + (y1 - y0 + 1), colour);
  }
}

// The page-break rule: three dashes in the text colour setting.
void DrawPageRule(const Text* text, uint16_t* buf, int x0, int row) {
  if (row < 0 || row >= SCREEN_HEIGHT) return;
  const int s = (text->width - 10) / 3;
  const uint16_t colour = g_settings.textColour;
  const int starts[3] = {x0 + 5, x0 + 5 + s + 10, x0 + 5 + 2 * s};
  const int lengths[3] = {s, s - 20, s};
  for (int i = 0; i < 3; ++i) {
    if (starts[i] >= SCREEN_WIDTH || lengths[i] <= 0) continue;
    FillRow(buf, row, starts[i], starts[i] + lengths[i] - 1, colour);
  }
}

inline uint8_t SizeBits(uint8_t style, uint8_t d) {
  const int level = d < '0' ? 0 : d - '0';
  if (level <= 3) return uint8_t(style & ~STYLE_SIZE_MASK);
  if (level == 4) return uint8_t(style | STYLE_SIZE_LEVEL4);
  if (level == 5) return uint8_t(style | STYLE_SIZE_LEVEL5);
  return uint8_t(style | STYLE_SIZE_MASK);
}

// An index past the table draws in the text colour, as entry 0 does.
inline uint16_t TableColour(const Text* text, uint8_t index) {
  return index < TEXT_COLOURS ? text->colours[index] : 0;
}

void DrawLine(const Text* text, const BitmapFont* font, const LineRecord& line, int x0,
              int row, uint16_t* buf) {
  int pen = x0 + line.xOffset;
  uint8_t style = line.startStyle & 0x3F;
  uint16_t colour = TableColour(text, line.startColour);
  int firstExtra = line.firstSpaceExtra;
  const int spaceExtra = line.spaceExtra;
  const int underlineRow = row + line.height - 5;
  const uint8_t* s = reinterpret_cast<const uint8_t*>(line.start);
  const int n = line.length;
  for (int i = 0; i < n;) {
    const uint8_t c = s[i];
    if (c == uint8_t(FORMAT_CODE)) {
      // Codes never reach past their line (layout keeps them whole); the
      // bounds only guard a code cut off by the end of the text.
      const uint8_t code = i + 1 < n ? s[i + 1] : 0;
      const bool hasArg = i + 2 < n;
      switch (code) {
        case FMT_BOLD_ON: style |= STYLE_BOLD; break;
        case FMT_BOLD_OFF: style &= uint8_t(~STYLE_BOLD); break;
        case FMT_ITALIC_ON: style |= STYLE_ITALIC; break;
        case FMT_ITALIC_OFF: style &= uint8_t(~STYLE_ITALIC); break;
        case FMT_UNDERLINE_ON: style |= STYLE_UNDERLINE; break;
        case FMT_UNDERLINE_OFF: style &= uint8_t(~STYLE_UNDERLINE); break;
        case FMT_SIZE:
          if (hasArg) style = SizeBits(style, s[i + 2]);
          i += 1;
          break;
        case FMT_COLOUR:
          if (hasArg) colour = TableColour(text, uint8_t(s[i + 2] - '0'));
          i += 1;
          break;
        case FMT_PAGE_BREAK:
          DrawPageRule(text, buf, x0, underlineRow);
          break;
        default:
          break;
      }
      i += 2;
      continue;
    }
    const int advance = DrawTextChar(font, int16_t(pen), int16_t(row), c,
                                     uint32_t(style) | uint32_t(colour) << 16, buf, nullptr,
                                     nullptr);
    const int old = pen;
    if (c == ' ') {
      pen += advance + spaceExtra + firstExtra;
      firstExtra = 0;
    } else {
      pen += advance;
    }
    if ((style & STYLE_UNDERLINE) && old < SCREEN_WIDTH && underlineRow >= 0 &&
        underlineRow < SCREEN_HEIGHT) {
      FillRow(buf, underlineRow, old, pen - 1, colour);
    }
    ++i;
  }
}

bool TitleBarShown() { return g_settings.titleBarShown != 0; }

int32_t Clamp(const Text* text, int32_t position, int32_t delta, bool titleBar) {
  int64_t next = int64_t(position) + delta;
  if (next < 0) next = 0;
  const int32_t limit = ScrollLimit(text, titleBar);
  if (limit <= 0) return 0;
  if (next >= limit) next = limit;
  return int32_t(next);
}

// The platform's darken tints (TintDarken127, 191, 223) done in line: the
// shadow is drawn on every frame, 960 pixels.
inline uint16_t Darken(uint16_t c, uint32_t mul) {
  const uint32_t r = (uint32_t(c >> 11) * mul) >> 8;
  const uint32_t g = (uint32_t((c >> 6) & 31) * mul) >> 8;
  const uint32_t b = (uint32_t(c & 31) * mul) >> 8;
  return uint16_t(r << 11 | g << 6 | b);
}

void DrawShadow(uint16_t* buf) {
  static const uint32_t shades[3] = {127, 191, 223};
  for (int i = 0; i < 3; ++i) {
    const uint32_t mul = shades[i];
    uint16_t* p = buf + PixelIndex(0, TITLE_BAR_HEIGHT + i);
    for (int x = 0; x < SCREEN_WIDTH; ++x, p += SCREEN_HEIGHT) *p = Darken(*p, mul);
  }
}

int Separator(uint16_t* buf, int e) {
  TintColumn(buf, e + 5, 0, TITLE_BAR_HEIGHT - 1, TintDarken127);
  TintColumn(buf, e + 6, 0, TITLE_BAR_HEIGHT - 1, TintSoftLighten);
  return e;
}

int TitleString(uint16_t* buf, int x, const char* s, uint16_t colour) {
  if (!g_video) return x;
  return g_video->DrawStringOutlined(x, 3, s, 0, nullptr, uint32_t(colour) << 16, 0x0000, buf);
}

// Where the progress bar's knob goes for a bar from column x: false when a
// long name leaves no room for a bar.
bool PlaceKnob(int x, int32_t position, int32_t height, int32_t r, int* knobOut, int* offsetOut) {
  const int w = 316 - x;
  if (w < 4) return false;
  int knob = int(int64_t(w - 2) * 224 / height);
  if (knob < 1) knob = 1;
  int64_t offset = int64_t(w - knob - 2) * std::clamp<int32_t>(position, 0, r) / r;
  if (offset < 0) offset = 0;
  *knobOut = knob;
  *offsetOut = int(offset);
  return true;
}

void DrawProgressBar(uint16_t* buf, int x, int32_t position, int32_t height, int32_t r) {
  int knob = 0, offset = 0;
  if (!PlaceKnob(x, position, height, r, &knob, &offset)) return;
  const int w = 316 - x;
  const int k0 = x + offset + 1;  // first knob column
  const int k1 = x + offset + knob;
  FillRect(buf, x, x + w - 1, 2, 11, g_interfaceColour);
  FillRect(buf, k0, k1, 3, 10, TITLE_NAME_COLOUR);
  if (knob > 2) {
    TintRow(buf, 3, k0, k0 + knob - 2, TintSoftLighten);
    TintColumn(buf, k0, 4, 9, TintSoftLighten);
    TintRow(buf, 10, k0, k1, TintDarken127);
    TintColumn(buf, k1, 3, 9, TintDarken127);
  }
  TintRow(buf, 2, x, x + w - 2, TintDarken127);
  TintColumn(buf, x, 3, 10, TintDarken127);
  TintRow(buf, 11, x, x + w - 1, TintSoftLighten);
  TintColumn(buf, x + w - 1, 2, 10, TintSoftLighten);
}

// The document name as the title bar shows it: the part after the last "/"
// (a UTF-8 name converted to the fonts' code page), cut to 17 characters and
// "..." when longer than 20.
void TitleName(char (&name)[TITLE_NAME_MAX + 1]) {
  name[0] = 0;
  if (!g_text) return;
  char base[sizeof g_text->name];
  NameToCp1252(BaseName(g_text->name), false, base, sizeof base);
  if (std::strlen(base) > size_t(TITLE_NAME_MAX)) {
    std::snprintf(name, sizeof name, "%.*s...", TITLE_NAME_CUT, base);
  } else {
    std::snprintf(name, sizeof name, "%s", base);
  }
}

int32_t PageNumber(int32_t position) { return std::max<int32_t>(position, 0) / 224 + 1; }

void PageLabel(char (&label)[48], int32_t position, int32_t r) {
  const int32_t pages = r / 224 + 1;
  const int32_t page = PageNumber(position);
  const int32_t percent = int32_t(int64_t(page) * 100 / pages);
  std::snprintf(label, sizeof label, "vpag %d on %d (%d%%)", int(page), int(pages), int(percent));
}

// Draws the title bar and returns the pen x after the name (e2).
int DrawTitleBarParts(int32_t position, uint16_t* buffer) {
  const uint16_t fill = g_interfaceColour;
  FillRect(buffer, 0, SCREEN_WIDTH - 1, 0, 13, fill);
  FillRow(buffer, 14, 0, SCREEN_WIDTH - 1, ThreeQuarters(fill));
  FillRow(buffer, 15, 0, SCREEN_WIDTH - 1, Half(fill));

  const int e1 = Separator(buffer, TitleString(buffer, 5, "!Quillo", TITLE_PROGRAM_COLOUR));
  char name[TITLE_NAME_MAX + 1];
  TitleName(name);
  const int e2 = Separator(buffer, TitleString(buffer, e1 + 12, name, TITLE_NAME_COLOUR));

  const int32_t height = DocumentHeight(g_text);
  const int32_t r = height - 224;
  if (r <= 0) return e2;
  if (g_settings.progressStyle == 0) {
    char label[48];
    PageLabel(label, position, r);
    TitleString(buffer, e2 + 9, label, TITLE_NAME_COLOUR);
  } else {
    DrawProgressBar(buffer, e2 + 9, position, height, r);
  }
  return e2;
}

// The title bar as last drawn by a page frame, rows 0 to 15 of every column
// (16 words a column, top row last as in the frame buffer), with everything
// it was drawn from. The bar covers its rows whole before anything is drawn
// on it, so a frame whose bar would come out the same copies it instead.
struct TitleBarKey {
  const Video* video;
  const BitmapFont* font;
  uint16_t fill;
  bool bar;          // a progress bar rather than page numbers
  int32_t height;    // document height
  char name[TITLE_NAME_MAX + 1];
  int32_t progress;  // page number, or knob offset and size, or -1 without progress
};

struct KeptTitleBar {
  bool valid = false;
  TitleBarKey key{};
  int nameEnd = 0;  // e2 of the bar kept
  uint16_t pixels[SCREEN_WIDTH * TITLE_BAR_HEIGHT];
};

KeptTitleBar g_keptTitle;

bool SameTitle(const TitleBarKey& a, const TitleBarKey& b) {
  return a.video == b.video && a.font == b.font && a.fill == b.fill && a.bar == b.bar &&
         a.height == b.height && a.progress == b.progress && std::strcmp(a.name, b.name) == 0;
}

// The key of the bar at position, its position part computed with e2.
TitleBarKey TitleKey(int32_t position, int e2) {
  TitleBarKey key{};
  key.video = g_video;
  key.font = g_video ? g_video->font : nullptr;
  key.fill = g_interfaceColour;
  key.bar = g_settings.progressStyle != 0;
  key.height = DocumentHeight(g_text);
  TitleName(key.name);
  key.progress = -1;
  const int32_t r = key.height - 224;
  if (r > 0) {
    if (!key.bar) {
      key.progress = PageNumber(position);
    } else {
      int knob = 0, offset = 0;
      if (PlaceKnob(e2 + 9, position, key.height, r, &knob, &offset)) {
        key.progress = offset << 12 | knob;  // both below 316
      }
    }
  }
  return key;
}

// True when every glyph of s, drawn outlined in the interface font with its
// top line at row 3, stays within the title bar's rows 0 to 15.
bool StaysInBar(const BitmapFont* font, const char* s) {
  if (!font || !font->advance) return true;  // nothing is drawn
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(s); *p; ++p) {
    if (*p < FONT_FIRST_CHAR) continue;
    const int g = GlyphIndex(FACE_REGULAR, *p);
    const int rows = font->rows[g];
    if (rows <= 0) continue;
    const int first = 3 + font->ascent[FACE_REGULAR] - font->top[g];
    if (first - 1 < 0 || first + rows - 1 + 1 > TITLE_BAR_HEIGHT - 1) return false;
  }
  return true;
}

// The title bar of a page frame: copied from the kept bar when nothing it
// shows has changed, else drawn and kept.
void PutTitleBar(int32_t position, uint16_t* buffer) {
  if (g_keptTitle.valid &&
      SameTitle(TitleKey(position, g_keptTitle.nameEnd), g_keptTitle.key)) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      std::memcpy(buffer + PixelIndex(x, TITLE_BAR_HEIGHT - 1),
                  g_keptTitle.pixels + x * TITLE_BAR_HEIGHT, TITLE_BAR_HEIGHT * sizeof(uint16_t));
    }
    return;
  }
  const int e2 = DrawTitleBarParts(position, buffer);
  const TitleBarKey key = TitleKey(position, e2);
  char label[48] = "";
  if (!key.bar && key.height - 224 > 0) PageLabel(label, position, key.height - 224);
  // A font reaching past the bar's rows would leave pixels the copy misses.
  g_keptTitle.valid = StaysInBar(key.font, "!Quillo") && StaysInBar(key.font, key.name) &&
                      StaysInBar(key.font, label);
  if (!g_keptTitle.valid) return;
  g_keptTitle.key = key;
  g_keptTitle.nameEnd = e2;
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    std::memcpy(g_keptTitle.pixels + x * TITLE_BAR_HEIGHT,
                buffer + PixelIndex(x, TITLE_BAR_HEIGHT - 1), TITLE_BAR_HEIGHT * sizeof(uint16_t));
  }
}

// Rows a line's pixels may reach, relative to the line's top row: every glyph
// of every face of the font at one and at double height (drawn from row
// y + 2d, every row twice, the copy one row up); the underline and the page
// rule lie inside the line's own height.
struct GlyphReach {
  int above = 0;  // rows above the top
  int below = 0;  // rows below the top
};

GlyphReach FontReach(const BitmapFont* font) {
  GlyphReach reach;
  if (!font || !font->advance) return reach;
  int lo = 0, hi = 0;
  for (int face = 0; face < FONT_FACES; ++face) {
    for (int c = FONT_FIRST_CHAR; c <= 0xFF; ++c) {
      const int g = GlyphIndex(face, uint8_t(c));
      const int rows = font->rows[g];
      if (rows <= 0) continue;
      const int d = font->ascent[face] - font->top[g];
      lo = std::min({lo, d, 2 * d - 1});
      hi = std::max({hi, d + rows - 1, 2 * d + 2 * (rows - 1)});
    }
  }
  reach.above = -lo;
  reach.below = hi;
  return reach;
}

// The text area of the last page frame, drawn without the title bar and its
// shadow, and everything it was drawn from. A small move shifts it by the
// pixels moved and draws only the rows it uncovers; every other frame draws it
// whole. No other code draws into it, so menus and dialogs drawn over the
// screen leave it as it is.
struct KeptPage {
  bool valid = false;
  const Text* text = nullptr;
  uint32_t revision = 0;
  const LineRecord* lines = nullptr;
  int32_t lineCount = 0;
  const BitmapFont* font = nullptr;
  int32_t width = 0;
  uint16_t colours[TEXT_COLOURS] = {};
  uint16_t paper = 0;
  uint16_t ink = 0;
  uint16_t weight = 0;
  int top = 0;
  int32_t position = 0;
  // Each kept column is a ring of the text area's rows: word (i + base) mod
  // area holds the i-th row from the bottom, so a move only turns the rings.
  int base = 0;
  GlyphReach reach;
};

KeptPage g_kept;
uint16_t g_keptPixels[FRAME_PIXELS];

// Copies the text area (rows top to 239) of every column: column by column,
// since the rows above it are the title bar's, and short copies stay on the
// word-wide path of memcpy.
void CopyTextArea(uint16_t* to, const uint16_t* from, int top) {
  const size_t bytes = size_t(SCREEN_HEIGHT - top) * sizeof(uint16_t);
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    std::memcpy(to + x * SCREEN_HEIGHT, from + x * SCREEN_HEIGHT, bytes);
  }
}

bool SamePage(const KeptPage& a, const KeptPage& b) {
  return a.text == b.text && a.revision == b.revision && a.lines == b.lines &&
         a.lineCount == b.lineCount && a.font == b.font && a.width == b.width &&
         std::memcmp(a.colours, b.colours, sizeof a.colours) == 0 && a.paper == b.paper &&
         a.ink == b.ink && a.weight == b.weight && a.top == b.top;
}

KeptPage DescribePage(int top) {
  KeptPage page;
  page.text = g_text;
  page.revision = g_textRevision;
  if (g_text) {
    page.lines = g_text->lines;
    page.lineCount = g_text->lineCount;
    page.font = g_text->font;
    page.width = g_text->width;
    std::memcpy(page.colours, g_text->colours, sizeof page.colours);
  }
  page.paper = g_settings.paperColour;
  page.ink = g_settings.textColour;
  page.weight = g_settings.textWeight;
  page.top = top;
  return page;
}

// Draws, as DrawLines does for the text area from row top at position, only
// the lines whose pixels may reach rows b0 to b1. Pixels outside those rows
// are left in any state: buffer is only a scratch frame for them.
void DrawLinesMeeting(const Text* text, int top, int32_t position, const GlyphReach& reach,
                      int b0, int b1, uint16_t* buffer) {
  const BitmapFont* font = text->font;
  if (text->lineCount <= 0 || !text->lines || !font || !font->advance) return;
  const LineRecord* lines = text->lines;
  const int32_t count = text->lineCount;
  // A line reaches at most max(below, its height) rows under its top, and a
  // height is below 256: no earlier line comes near row b0.
  const int64_t from = std::max<int64_t>(
      position, int64_t(position) + (b0 - top) - std::max(reach.below, 255) - 1);
  const LineRecord* first = std::lower_bound(
      lines, lines + count, from,
      [](const LineRecord& r, int64_t p) { return int64_t(r.y) + r.height < p; });
  const int64_t bottom = int64_t(position) + (SCREEN_HEIGHT - top);
  for (int32_t i = int32_t(first - lines); i < count && lines[i].y < bottom; ++i) {
    const LineRecord& line = lines[i];
    const int64_t row = int64_t(top) + line.y - position;
    if (row - reach.above > b1) break;
    if (row + std::max(reach.below, int(line.height)) < b0) continue;
    DrawLine(text, font, line, TEXT_LEFT_MARGIN, int(row), buffer);
  }
}

// Rows b0 to b1 of the screen, empty while b0 > b1.
struct Band {
  int b0 = SCREEN_HEIGHT;
  int b1 = -1;
  void Add(int lo, int hi, int top) {
    lo = std::max(lo, top);
    hi = std::min(hi, SCREEN_HEIGHT - 1);
    if (lo > hi) return;
    b0 = std::min(b0, lo);
    b1 = std::max(b1, hi);
  }
  bool Empty() const { return b0 > b1; }
};

// Adds to band the rows that the lines from..to (document pixels, taken as
// line tops with byTop, else as line bottoms) may reach on the new frame.
// These are the lines that one frame draws and the other does not.
void AddChangedLines(const Text* text, int64_t from, int64_t to, bool byTop, int top,
                     int32_t next, const GlyphReach& reach, Band* band) {
  if (from >= to || !text->lines || text->lineCount <= 0) return;
  const LineRecord* lines = text->lines;
  const int32_t count = text->lineCount;
  const LineRecord* first =
      byTop ? std::lower_bound(lines, lines + count, from,
                               [](const LineRecord& r, int64_t p) { return r.y < p; })
            : std::lower_bound(lines, lines + count, from, [](const LineRecord& r, int64_t p) {
                return int64_t(r.y) + r.height < p;
              });
  for (int32_t i = int32_t(first - lines); i < count; ++i) {
    const LineRecord& line = lines[i];
    const int64_t edge = byTop ? line.y : int64_t(line.y) + line.height;
    if (edge >= to) break;
    const int64_t row = int64_t(top) + line.y - next;
    const int64_t lo = row - reach.above;
    const int64_t hi = row + std::max(reach.below, int(line.height));
    if (hi < top || lo >= SCREEN_HEIGHT) continue;
    band->Add(int(std::max<int64_t>(lo, top)), int(std::min<int64_t>(hi, SCREEN_HEIGHT - 1)), top);
  }
}

// Draws rows band of the new frame into buffer (a scratch frame here) and
// keeps them.
void RedrawBand(const Band& band, int top, int32_t next, uint16_t* buffer) {
  if (band.Empty()) return;
  FillRect(buffer, 0, SCREEN_WIDTH - 1, band.b0, band.b1, g_kept.paper);
  if (g_text) DrawLinesMeeting(g_text, top, next, g_kept.reach, band.b0, band.b1, buffer);
  const int area = SCREEN_HEIGHT - top;
  const int rows = band.b1 - band.b0 + 1;
  const int at = (SCREEN_HEIGHT - 1 - band.b1 + g_kept.base) % area;  // the band's first word
  const int first = std::min(rows, area - at);  // words before the ring wraps
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    const uint16_t* from = buffer + PixelIndex(x, band.b1);
    uint16_t* column = g_keptPixels + x * SCREEN_HEIGHT;
    std::memcpy(column + at, from, size_t(first) * sizeof(uint16_t));
    if (first < rows) std::memcpy(column, from + first, size_t(rows - first) * sizeof(uint16_t));
  }
}

// Copies the kept text area, unrolling each ring, into buffer.
void CopyKeptInto(uint16_t* buffer, int top) {
  const int area = SCREEN_HEIGHT - top;
  const int base = g_kept.base;
  if (base == 0) {
    CopyTextArea(buffer, g_keptPixels, top);
    return;
  }
  for (int x = 0; x < SCREEN_WIDTH; ++x) {
    uint16_t* to = buffer + x * SCREEN_HEIGHT;
    const uint16_t* column = g_keptPixels + x * SCREEN_HEIGHT;
    std::memcpy(to, column + base, size_t(area - base) * sizeof(uint16_t));
    std::memcpy(to + (area - base), column, size_t(base) * sizeof(uint16_t));
  }
}

// Shifts the kept text area by moved pixels (the position's change), draws
// again the rows whose picture a shift does not give, keeps them, and copies
// the kept text area into buffer: one pass over the area, the shift itself
// moves no pixel.
void MovePage(int32_t moved, int32_t next, uint16_t* buffer) {
  const int top = g_kept.top;
  const int area = SCREEN_HEIGHT - top;  // words of a column in the text area
  const int d = moved < 0 ? -moved : moved;
  if (d > 0) {
    // A column runs from the bottom row up: moving the text up by d turns
    // every ring back by d words; the rows it uncovers are drawn below.
    g_kept.base = int(((int64_t(g_kept.base) - moved) % area + area) % area);
    Band upper, lower;
    // The rows uncovered. A double-height glyph row just below the screen
    // does not draw its upper copy on the bottom row, so the bottom row is
    // drawn again whichever way the text moves, and so is the old bottom row
    // when it moves up.
    if (moved > 0) {
      lower.Add(SCREEN_HEIGHT - d - 1, SCREEN_HEIGHT - 1, top);
    } else {
      upper.Add(top, top + d - 1, top);
      lower.Add(SCREEN_HEIGHT - 1, SCREEN_HEIGHT - 1, top);
    }
    // Lines that one frame draws and the other does not (glyphs may reach
    // past their line's box): those whose bottom passes the top of the text
    // area and those whose top passes its bottom.
    if (g_text) {
      const int64_t low = std::min<int64_t>(next, g_kept.position);
      const int64_t high = std::max<int64_t>(next, g_kept.position);
      AddChangedLines(g_text, low, high, false, top, next, g_kept.reach, &upper);
      AddChangedLines(g_text, low + area, high + area, true, top, next, g_kept.reach, &lower);
    }
    if (!upper.Empty() && !lower.Empty() && upper.b1 + 1 >= lower.b0) {
      lower.Add(upper.b0, upper.b1, top);
      upper = Band();
    }
    RedrawBand(upper, top, next, buffer);
    RedrawBand(lower, top, next, buffer);
  }
  CopyKeptInto(buffer, top);
}

int32_t DrawPage(int32_t position, int32_t delta, uint16_t* buffer, bool present, bool mayMove) {
  const bool titleBar = TitleBarShown();
  const int top = titleBar ? TITLE_BAR_HEIGHT : 0;
  const int32_t next = Clamp(g_text, position, delta, titleBar);
  if (!buffer) return next;
  const KeptPage page = DescribePage(top);
  // A move of less than half the text area over the same page is drawn by
  // shifting; a page move uncovers nearly all of it and, like a delta of 0
  // and refresh_text, draws the page whole.
  const int64_t moved = int64_t(next) - g_kept.position;
  const int64_t limit = (SCREEN_HEIGHT - top) / 2;
  if (mayMove && delta != 0 && g_kept.valid && SamePage(page, g_kept) && moved < limit &&
      moved > -limit) {
    MovePage(int32_t(moved), next, buffer);
  } else {
    ClearBuffer(buffer, g_settings.paperColour);
    if (g_text) DrawLines(g_text, nullptr, TEXT_LEFT_MARGIN, top, SCREEN_HEIGHT - top, next, buffer);
    g_kept = page;
    g_kept.reach = FontReach(page.font);
    g_kept.valid = true;
    g_kept.base = 0;
    CopyTextArea(g_keptPixels, buffer, top);
  }
  g_kept.position = next;
  if (titleBar) {
    PutTitleBar(next, buffer);
    DrawShadow(buffer);
  }
  if (present && g_video) g_video->Flip();
  return next;
}

}  // namespace

int32_t ScrollLimit(const Text* text, bool titleBar) {
  const int32_t height = DocumentHeight(text);
  return height + (titleBar ? TITLE_BAR_HEIGHT : 0) - SCREEN_HEIGHT;
}

int32_t ScrollText(int32_t position, int32_t delta, uint16_t* buffer, bool present) {
  return DrawPage(position, delta, buffer, present, true);
}

int32_t refresh_text(bool present) {
  uint16_t* buffer = nullptr;
  if (g_video) buffer = present ? g_video->BackBuffer() : g_video->FrontBuffer();
  return DrawPage(g_currentEntry.position, 0, buffer, present, false);
}

int32_t DrawLines(const Text* text, const BitmapFont* font, int x, int y, int height,
                  int32_t position, uint16_t* buffer) {
  if (!text || text->lineCount <= 0 || !text->lines) return 0;
  if (!font) font = text->font;
  const LineRecord* lines = text->lines;
  const int32_t count = text->lineCount;
  // The first line whose bottom (y + height) reaches the position.
  const LineRecord* first = std::lower_bound(
      lines, lines + count, position,
      [](const LineRecord& r, int32_t p) { return r.y + r.height < p; });
  int32_t i = int32_t(first - lines);
  if (i >= count) return count;
  if (!font || !font->advance || !buffer) return i;
  const int64_t bottom = int64_t(position) + height;
  for (; i < count && lines[i].y < bottom; ++i) {
    const int row = y + lines[i].y - position;
    DrawLine(text, font, lines[i], x, row, buffer);
  }
  return i;
}

void DrawTitleBar(int32_t position, uint16_t* buffer) {
  if (!buffer) return;
  DrawTitleBarParts(position, buffer);
}
