// The Find dialog: a small window with a sunken edit field above the on-screen
// keyboard, then the search from the reading position and the move of the
// view to the line found. Run by the menu's Find command.
#include "ui/find.h"

#include <cstdint>

#include "document/layout.h"
#include "document/search.h"
#include "document/text.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "ui/boxes/messagebox.h"
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

}  // namespace

int RunFindDialog(int offset) {
  if (!g_video) return 0;
  uint16_t* front = g_video->FrontBuffer();
  const int top = g_video->DrawWindow(DIALOG_X, DIALOG_Y, DIALOG_WIDTH, DIALOG_HEIGHT,
                                      g_interfaceColour, LangText("Find...|Buscar..."), 0, front);
  DrawSunkenField(front, top);
  // The edit field is 132 x 14 at (94, top + 3), inside the sunken frame.
  if (!KeyboardInput(DIALOG_X, top - 1, DIALOG_WIDTH)) return 0;

  const Text* text = g_text;
  int64_t first = int64_t(LineAtPosition(text, g_currentEntry.position)) + offset;
  if (first > INT32_MAX) first = INT32_MAX;
  if (first < INT32_MIN) first = INT32_MIN;
  const int32_t found = FindText(text, int32_t(first), g_settings.findText);
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
