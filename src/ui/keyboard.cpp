// The on-screen keyboard and its edit field, which types into the find text of
// the settings. Everything is drawn into the front buffer; the input loop shows
// it through its Flip and CopyBuffer cycle.
#include "ui/keyboard.h"

#include <cstring>

#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/video.h"

KeyboardState g_keyboard;

namespace {

// Each row is 14 bytes of code page 1252 and a terminator. TAB, LF and CR are
// the "del", "Ok" and "shf" keys.
const char NORMAL_SET[KEYBOARD_ROWS][KEYBOARD_COLUMNS + 1] = {
    "1234567890'\xEC\t ",
    "qwertyuiop\xE8+\n ",
    "asdfghjkl\xF2\xE0\xF9  ",
    "zxcvbnm,.-[]\r ",
};
const char SHIFTED_SET[KEYBOARD_ROWS][KEYBOARD_COLUMNS + 1] = {
    "!\"\xA3$%&/()=?^\t ",
    "QWERTYUIOP\xE9*\n ",
    "ASDFGHJKL\xE7\xB0\xA7  ",
    "ZXCVBNM;:_{}\r ",
};

constexpr uint16_t KEY_YELLOW = 0xFFC0;
constexpr uint16_t FIELD_PAPER = 0xFFDF;
constexpr uint16_t CURSOR_GREY = 0xC618;
constexpr int CURSOR_WIDTH = 3;
constexpr int CURSOR_HEIGHT = 10;
constexpr int FIELD_HEIGHT = 14;
constexpr uint32_t KEY_PAUSE_MS = 200;
constexpr int FIND_TEXT_MAX = FIND_TEXT_SIZE - 1;  // 63 characters and the NUL

// A rectangle in screen coordinates; pixels off the screen are skipped.
void FillRect(uint16_t* buf, int x, int y, int w, int h, uint16_t colour) {
  for (int cx = x < 0 ? 0 : x; cx < x + w && cx < SCREEN_WIDTH; ++cx) {
    for (int cy = y < 0 ? 0 : y; cy < y + h && cy < SCREEN_HEIGHT; ++cy) {
      buf[PixelIndex(cx, cy)] = colour;
    }
  }
}

// Advance of byte c of interface text at pen x, as Video::DrawChar gives it.
int InterfaceAdvance(const BitmapFont* f, int x, uint8_t c) {
  if (!f || !f->advance) return 0;
  if (c == ' ') return f->spaceWidth[FACE_REGULAR];
  if (c == '\t') return 32 - (x & 31);
  if (c < FONT_FIRST_CHAR) return 0;
  return f->advance[GlyphIndex(FACE_REGULAR, c)];
}

int TextWidth(const BitmapFont* f, int x, const char* text) {
  int pen = x;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(text); *s; ++s) {
    pen += InterfaceAdvance(f, pen, *s);
  }
  return pen - x;
}

// The find text is a 64-byte field: whatever put it there (a settings file
// without a terminator included), it ends inside the field.
char* FindTextField() {
  g_settings.findText[FIND_TEXT_SIZE - 1] = '\0';
  return g_settings.findText;
}

void AppendChar(uint8_t c) {
  char* text = FindTextField();
  const size_t n = std::strlen(text);
  if (n >= size_t(FIND_TEXT_MAX)) return;  // full: further characters are ignored
  text[n] = char(c);
  text[n + 1] = '\0';
}

void RemoveLastChar() {
  char* text = FindTextField();
  const size_t n = std::strlen(text);
  if (n > 0) text[n - 1] = '\0';
}

// 0 becomes 1, 1 becomes 2, 2 becomes 0.
int32_t NextShift(int32_t shift) {
  return shift == SHIFT_NONE ? SHIFT_ONCE : shift == SHIFT_ONCE ? SHIFT_LOCK : SHIFT_NONE;
}

void Redraw() { DrawKeyboard(KEYBOARD_X, KEYBOARD_Y, g_keyboard.column, g_keyboard.row); }

}  // namespace

uint8_t KeyboardKey(int32_t shift, int row, int column) {
  if (row < 0 || row >= KEYBOARD_ROWS || column < 0 || column >= KEYBOARD_COLUMNS) return 0;
  const auto& set = shift != SHIFT_NONE ? SHIFTED_SET : NORMAL_SET;
  return uint8_t(set[row][column]);
}

void DrawKeyboard(int x, int y, int column, int row) {
  if (!g_video) return;
  uint16_t* front = g_video->FrontBuffer();
  FillRect(front, x, y, KEYBOARD_WIDTH, KEYBOARD_HEIGHT, g_interfaceColour);
  for (int r = 0; r < KEYBOARD_ROWS; ++r) {
    for (int c = 0; c < KEYBOARD_COLUMNS; ++c) {
      const uint8_t key = KeyboardKey(g_keyboard.shift, r, c);
      const int kx = x + KEY_CELL_WIDTH * c;
      const int ky = y + KEY_CELL_HEIGHT * r;
      uint16_t ink = KEY_YELLOW;
      if (c == column && r == row) {
        const int w = c == KEYBOARD_LAST_COLUMN ? 2 * KEY_CELL_WIDTH : KEY_CELL_WIDTH;
        FillRect(front, kx, ky, w, KEY_CELL_HEIGHT, KEY_YELLOW);
        ink = g_interfaceColour;
      }
      char label[4] = {char(key), '\0'};
      uint32_t face = FACE_REGULAR;
      const char* named = key == KEY_BYTE_DEL     ? "del"
                          : key == KEY_BYTE_OK    ? "Ok"
                          : key == KEY_BYTE_SHIFT ? "shf"
                                                  : nullptr;
      if (named) {
        std::strcpy(label, named);
        face = FACE_ITALIC;
      }
      g_video->DrawString(kx + 1, ky + 1, label, 0, nullptr, AttrColour(ink) | face, front);
    }
  }
}

void DrawEditField(int x, int y, int width) {
  if (!g_video) return;
  uint16_t* front = g_video->FrontBuffer();
  FillRect(front, x + 4, y + 4, width - 8, FIELD_HEIGHT, FIELD_PAPER);
  const char* text = FindTextField();
  // The text starts 2 pixels inside the field and the cursor must end inside
  // it: a longer text shows its last characters.
  const BitmapFont* font = g_video->font;
  const int room = width - 8 - 2 - CURSOR_WIDTH;
  while (*text && TextWidth(font, x + 6, text) > room) ++text;
  const int pen =
      g_video->DrawString(x + 6, y + 5, text, 0, nullptr, AttrColour(0x0000) | FACE_REGULAR, front);
  FillRect(front, pen, y + 5, CURSOR_WIDTH, CURSOR_HEIGHT, CURSOR_GREY);
}

int KeyboardInput(int x, int y, int width) {
  if (!g_video) return 0;
  KeyboardState& k = g_keyboard;
  // The state lives for the whole run; keep it on the keyboard whatever set it.
  if (k.column < 0 || k.column > KEYBOARD_LAST_COLUMN) k.column = 0;
  if (k.row < 0 || k.row >= KEYBOARD_ROWS) k.row = 1;
  if (k.shift < SHIFT_NONE || k.shift > SHIFT_LOCK) k.shift = SHIFT_NONE;

  DrawEditField(x, y, width);
  // With a text to search for, the selection starts on "Ok" (in row 1).
  if (FindTextField()[0]) k.column = KEYBOARD_LAST_COLUMN;
  Redraw();
  Delay(KEY_PAUSE_MS);

  GpSetTyping(true);
  int result = -1;
  while (result < 0) {
    g_video->Flip();
    g_video->CopyBuffer(1);
    const int code = GetKey();
    // Text typed on a computer keyboard goes straight into the field; the
    // selection moves to "Ok" so that Return then searches.
    bool typed = false;
    while (const int c = GpTypedChar()) {
      AppendChar(uint8_t(c));
      typed = true;
    }
    if (typed) {
      k.column = KEYBOARD_LAST_COLUMN;
      k.row = 1;
      Redraw();
      DrawEditField(x, y, width);
    }
    switch (code) {
      case KEY_CANCEL:
        result = 0;
        break;
      case KEY_DOWN:
      case KEY_UP:
      case KEY_LEFT:
      case KEY_RIGHT:
      case KEY_START:
        if (code == KEY_DOWN) k.row = k.row == KEYBOARD_ROWS - 1 ? 0 : k.row + 1;
        if (code == KEY_UP) k.row = k.row == 0 ? KEYBOARD_ROWS - 1 : k.row - 1;
        if (code == KEY_LEFT) k.column = k.column == 0 ? KEYBOARD_LAST_COLUMN : k.column - 1;
        if (code == KEY_RIGHT) k.column = k.column == KEYBOARD_LAST_COLUMN ? 0 : k.column + 1;
        if (code == KEY_START) k.shift = NextShift(k.shift);
        Redraw();
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_SELECT:
        RemoveLastChar();
        DrawEditField(x, y, width);
        Delay(KEY_PAUSE_MS);
        break;
      case KEY_ACCEPT: {
        const uint8_t key = KeyboardKey(k.shift, k.row, k.column);
        if (key == KEY_BYTE_OK) {
          result = 1;
          break;
        }
        if (key == KEY_BYTE_SHIFT) {
          k.shift = NextShift(k.shift);
          Redraw();
        } else if (key == KEY_BYTE_DEL) {
          RemoveLastChar();
        } else if (key >= 0x20) {
          AppendChar(key);
          if (k.shift == SHIFT_ONCE) {
            k.shift = SHIFT_NONE;
            Redraw();
          }
        }
        DrawEditField(x, y, width);
        Delay(KEY_PAUSE_MS);
        break;
      }
      default:
        break;
    }
  }
  GpSetTyping(false);
  return result;
}
