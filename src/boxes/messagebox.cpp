// Message boxes of every notice and error, and the bilingual text choice used
// by all menus and dialogs. Draws through the Video object's window frame.
#include "boxes/messagebox.h"

#include <cstring>

#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "platform/trace.h"

namespace {

char g_langText[LANG_TEXT_SIZE];

constexpr int BOX_X = 60;
constexpr int BOX_WIDTH = 200;
constexpr int BODY_X = 65;
constexpr int BODY_WIDTH = 190;
constexpr int EMPTY_BOX_HEIGHT = 100;
// Title bar, margins and bevels around the body's lines.
constexpr int BOX_FRAME_HEIGHT = 24;
// The body is measured only as deep as a box with its 3-pixel shadow can stand
// on the screen; lines past that are left out rather than drawn off it.
constexpr int BODY_HEIGHT_LIMIT = SCREEN_HEIGHT - BOX_FRAME_HEIGHT - 3;

}  // namespace

const char* LangText(const char* text) {
  g_langText[0] = '\0';
  if (!text) return g_langText;
  const char* p = text;
  for (int n = g_settings.language; n > 0; --n) {
    if (*p != '|' && *p != '\0') {
      while (*p != '|' && *p != '\0') ++p;
    }
    if (*p == '|') ++p;
  }
  if (*p == '|' || *p == '\0') p = text;
  size_t len = 0;
  while (p[len] != '|' && p[len] != '\0' && len < LANG_TEXT_SIZE - 1) ++len;
  std::memcpy(g_langText, p, len);
  g_langText[len] = '\0';
  return g_langText;
}

void MessageBox(const char* title, const char* body) {
  if (!g_video) return;
  const int height = body ? MeasureTextBlock(&FontSmall, BODY_X, BODY_WIDTH, BODY_HEIGHT_LIMIT, 0,
                                             body, FACE_REGULAR) +
                                BOX_FRAME_HEIGHT
                          : EMPTY_BOX_HEIGHT;
  const int y = (SCREEN_HEIGHT - height) / 2;
  uint16_t* back = g_video->BackBuffer();
  const int content = g_video->DrawWindow(BOX_X, y, BOX_WIDTH, height, g_interfaceColour, title, 0,
                                          back);
  if (body) {
    DrawTextBlock(&FontSmall, BODY_X, int16_t(content + 5), BODY_WIDTH, int16_t(height - 13),
                  ALIGN_LEFT, body, AttrColour(0xFFFF) | FACE_REGULAR, back);
  }
  g_video->Flip();
  g_video->CopyBuffer(1);
}

int MessageBoxWait(const char* title, const char* body) {
  MessageBox(title, body);
  // The trace says what the box said, for a run with no one at the screen.
  GpTrace("%s: %s\n", title ? title : "", body ? body : "");
  return WaitKey();
}
