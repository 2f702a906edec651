// The Find dialog: a small window with a sunken edit field above the on-screen
// keyboard, then the search from the reading position and the move of the
// view to the line found. Run by the menu's Find command.
#include "ui/find.h"

#include <cstdint>
#include <cstring>

#include "document/layout.h"
#include "document/render.h"
#include "document/search.h"
#include "document/text.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "ui/keyboard.h"

namespace {

constexpr int DIALOG_X = 90;
constexpr int DIALOG_Y = 130;
constexpr int DIALOG_WIDTH = 140;
constexpr int DIALOG_HEIGHT = 40;
// The sunken frame around the edit field, from the window's left edge + 3 to
// its right edge - 3.
constexpr int SUNKEN_LEFT = DIALOG_X + 3;                  // 93
constexpr int SUNKEN_RIGHT = DIALOG_X + DIALOG_WIDTH - 4;  // 226

void TintPixel(uint16_t* buf, int x, int y, uint16_t (*tint)(uint16_t)) {
  if (x < 0 || x >= SCREEN_WIDTH || y < 0 || y >= SCREEN_HEIGHT) return;
  uint16_t& p = buf[PixelIndex(x, y)];
  p = tint(p);
}

void DrawSunkenField(uint16_t* buf, int top) {
  for (int x = SUNKEN_LEFT; x <= SUNKEN_RIGHT - 1; ++x) TintPixel(buf, x, top + 2, TintDarken63);
  for (int y = top + 3; y <= top + 16; ++y) TintPixel(buf, SUNKEN_LEFT, y, TintDarken63);
  for (int x = SUNKEN_LEFT; x <= SUNKEN_RIGHT; ++x) TintPixel(buf, x, top + 17, TintStrongLighten);
  for (int y = top + 2; y <= top + 16; ++y) TintPixel(buf, SUNKEN_RIGHT, y, TintStrongLighten);
}

// The line the search starts from: the line at the top of the screen for a
// new search (the drawn position, which a hit near the end may lie beyond),
// else the line after the one at the reading position, which a previous hit
// put at the top. A position on or past the last line's top lies in the last
// line, as for the page-break jumps: "next" after a hit there finds nothing
// more instead of starting again from the document's first line.
int32_t FirstSearchLine(const Text* text, int32_t position, int offset) {
  if (!text || text->lineCount <= 0 || !text->lines) return 0;
  if (offset == 0) {
    const int32_t limit = ScrollLimit(text, g_settings.titleBarShown != 0);
    if (position > limit) position = limit;
    if (position < 0) position = 0;
  }
  int32_t line = LineAtPosition(text, position);
  if (line < 0) line = text->lineCount - 1;
  const int64_t first = int64_t(line) + offset;
  return int32_t(first > INT32_MAX ? INT32_MAX : first < INT32_MIN ? INT32_MIN : first);
}

}  // namespace

int RunFindDialog(int offset) {
  if (!g_video) return 0;
  uint16_t* front = g_video->FrontBuffer();
  const int top = g_video->DrawWindow(DIALOG_X, DIALOG_Y, DIALOG_WIDTH, DIALOG_HEIGHT,
                                      g_interfaceColour, LangText("Find...|Buscar..."), 0, front);
  DrawSunkenField(front, top);
  char asked[FIND_TEXT_SIZE];
  std::memcpy(asked, g_settings.findText, sizeof asked);
  // The edit field is 132 x 14 at (94, top + 3), inside the sunken frame.
  if (!KeyboardInput(DIALOG_X, top - 1, DIALOG_WIDTH)) return 0;
  // Another text is a new search, not the next hit of the old one: a word in
  // view above the previous hit must be found.
  if (std::strncmp(asked, g_settings.findText, sizeof asked) != 0) offset = 0;

  const Text* text = g_text;
  const int32_t found = FindText(text, FirstSearchLine(text, g_currentEntry.position, offset),
                                 g_settings.findText);
  if (found == -1) {
    if (g_settings.language == 0) {
      MessageBoxWait("Find result", "Not found!");
    } else {
      MessageBoxWait("Resultados", "No encontrado!");
    }
    return 0;
  }
  if (!text || found < 0 || found >= text->lineCount || text->lines[found].y == -1) return 1;
  g_currentEntry.position = text->lines[found].y - FIRST_LINE_Y;
  return 1;
}
