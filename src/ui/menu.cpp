// The menu's widgets: the bar with its entries and the drop-down lists, their
// colours, drawing into the front buffer and the key loops that run them. The
// tree of commands and what they do is in menu_commands.cpp.
#include "ui/menu.h"

#include <algorithm>

#include "document/render.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/video.h"
#include "boxes/messagebox.h"

namespace {

constexpr uint32_t MENU_KEY_PAUSE_MS = 200;
// A list that would pass this column is placed to end at its entry's right edge.
constexpr int MENU_RIGHT_LIMIT = 310;
constexpr int BAR_CAP_WIDTH = 10;
constexpr int TEXT_INSET_X = 2;
constexpr int BAR_TEXT_INSET_Y = 3;
constexpr int ROW_TEXT_INSET_Y = 2;
constexpr uint16_t ROW_TEXT_COLOUR = 0xFFFF;
constexpr uint16_t SELECTED_ROW_TEXT_COLOUR = 0x0000;

// Columns x .. x + w - 1 and rows y .. y + h - 1, clipped to the screen.
void FillRect(uint16_t* buf, int x, int y, int w, int h, uint16_t colour) {
  const int x0 = std::max(x, 0);
  const int x1 = std::min(x + w, SCREEN_WIDTH);
  const int y0 = std::max(y, 0);
  const int y1 = std::min(y + h, SCREEN_HEIGHT);
  if (x0 >= x1 || y0 >= y1) return;
  for (int cx = x0; cx < x1; ++cx) {
    // Rows run bottom up inside a column: row y1 - 1 comes first.
    uint16_t* col = buf + PixelIndex(cx, y1 - 1);
    std::fill(col, col + (y1 - y0), colour);
  }
}

// Advance of byte c of interface text, as Video::DrawChar moves the pen.
int InterfaceAdvance(const BitmapFont* f, int x, uint8_t c) {
  if (c == ' ') return f->spaceWidth[FACE_REGULAR];
  if (c == '\t') return 32 - (x & 31);
  if (c < FONT_FIRST_CHAR) return 0;
  return f->advance[GlyphIndex(FACE_REGULAR, c)];
}

// Draws text in the standard font from (x, y), leaving out the characters that
// would pass column right: a Spanish word longer than its row or entry stays
// inside it instead of running over the page or off the screen.
void DrawClippedString(uint16_t* buf, int x, int y, const char* text, uint16_t colour, int right) {
  const BitmapFont* f = g_video->font;
  if (!f || !f->advance || !text) return;
  right = std::min(right, SCREEN_WIDTH);
  const uint32_t attribute = AttrColour(colour) | FACE_REGULAR;
  for (const uint8_t* s = reinterpret_cast<const uint8_t*>(text); *s; ++s) {
    const int advance = InterfaceAdvance(f, x, *s);
    if (x + advance > right) break;
    g_video->DrawChar(f, x, y, *s, attribute, buf);
    x += advance;
  }
}

// Per 5-bit component c: (mul x c + add) / 256; green by its top five bits,
// put back with its lowest bit 0.
uint16_t Shade(uint16_t c, int mul, int add) {
  const int r = ((c >> 11) * mul + add) >> 8;
  const int g = (((c >> 6) & 31) * mul + add) >> 8;
  const int b = ((c & 31) * mul + add) >> 8;
  return uint16_t((r & 31) << 11 | (g & 31) << 6 | (b & 31));
}

int g_rememberedEntry = 0;

// Puts the selected entry's list under it (see RunMenuBar).
void PlaceList(MenuBar* bar) {
  int x = bar->x;
  for (int i = 0; i < bar->selected; ++i) x += bar->entries[i].width;
  MenuBarEntry& entry = bar->entries[bar->selected];
  MenuList& list = entry.list;
  if (x + list.width > MENU_RIGHT_LIMIT) x = x - list.width + entry.width;
  list.x = x;
  list.y = bar->y + bar->height;
}

// A selected entry or row outside the bar or list is brought back inside it.
void KeepSelectionInside(int32_t* selected, int32_t count) {
  if (*selected < 0 || *selected >= count) *selected = 0;
}

}  // namespace

uint16_t MenuBarColour(uint16_t c) {
  // Each component as an 8-bit value (its five bits shifted up) times 0.75,
  // truncated, and shifted back down: the same as five-bit c x 3 / 4.
  const int r = (((c >> 11) & 31) << 3) * 3 / 4 >> 3;
  const int g = (((c >> 6) & 31) << 3) * 3 / 4 >> 3;
  const int b = ((c & 31) << 3) * 3 / 4 >> 3;
  return uint16_t(r << 11 | g << 6 | b);
}

uint16_t MenuLightShade(uint16_t colour) { return Shade(colour, 192, 1953); }
uint16_t MenuDarkShade(uint16_t colour) { return Shade(colour, 192, 0); }

int MenuRememberedEntry() { return g_rememberedEntry; }

void SetMenuRememberedEntry(int entry) {
  g_rememberedEntry = entry >= 0 && entry < MENU_BAR_ENTRIES ? entry : 0;
}

void DrawMenuBar(const MenuBar& bar) {
  if (!g_video) return;
  uint16_t* buf = g_video->FrontBuffer();
  int total = 0;
  for (int i = 0; i < bar.count; ++i) total += bar.entries[i].width;
  FillRect(buf, bar.x - BAR_CAP_WIDTH, bar.y, BAR_CAP_WIDTH, bar.height, bar.barColour);
  FillRect(buf, bar.x + total, bar.y, BAR_CAP_WIDTH, bar.height, bar.barColour);
  g_video->DrawShadow(bar.x - BAR_CAP_WIDTH, bar.y, total + 2 * BAR_CAP_WIDTH, bar.height, buf);
  int x = bar.x;
  for (int i = 0; i < bar.count; ++i) {
    const MenuBarEntry& entry = bar.entries[i];
    const bool selected = i == bar.selected;
    FillRect(buf, x, bar.y, entry.width, bar.height, selected ? bar.selectedColour : bar.barColour);
    DrawClippedString(buf, x + TEXT_INSET_X, bar.y + BAR_TEXT_INSET_Y, LangText(entry.text),
                      selected ? bar.selectedTextColour : bar.textColour, x + entry.width);
    x += entry.width;
  }
}

void DrawMenuList(const MenuList& list, bool shadow) {
  if (!g_video) return;
  uint16_t* buf = g_video->FrontBuffer();
  if (shadow) g_video->DrawShadow(list.x, list.y, list.width, MENU_ROW_HEIGHT * list.count, buf);
  for (int i = 0; i < list.count; ++i) {
    const int y = list.y + MENU_ROW_HEIGHT * i;
    const bool selected = i == list.selected;
    const uint16_t colour = selected ? list.selectedColour : list.rowColour;
    FillRect(buf, list.x, y, list.width, MENU_ROW_HEIGHT, colour);
    if (i > 0) FillRect(buf, list.x, y, list.width, 1, MenuLightShade(colour));
    FillRect(buf, list.x, y + MENU_ROW_HEIGHT - 1, list.width, 1, MenuDarkShade(colour));
    DrawClippedString(buf, list.x + TEXT_INSET_X, y + ROW_TEXT_INSET_Y, LangText(list.items[i].text),
                      selected ? SELECTED_ROW_TEXT_COLOUR : ROW_TEXT_COLOUR, list.x + list.width);
  }
}

int32_t RunMenuList(MenuList* list) {
  if (!g_video || list->count <= 0) return MENU_CANCEL;
  KeepSelectionInside(&list->selected, list->count);
  DrawMenuList(*list, true);
  Delay(MENU_KEY_PAUSE_MS);
  for (;;) {
    g_video->ShowFront();
    switch (GetKey()) {
      case KEY_LEFT:
        return MENU_LEFT;
      case KEY_RIGHT:
        return MENU_RIGHT;
      case KEY_DOWN:
        list->selected = (list->selected + 1) % list->count;
        DrawMenuList(*list, false);
        Delay(MENU_KEY_PAUSE_MS);
        break;
      case KEY_UP:
        list->selected = (list->selected + list->count - 1) % list->count;
        DrawMenuList(*list, false);
        Delay(MENU_KEY_PAUSE_MS);
        break;
      case KEY_ACCEPT:
        return list->items[list->selected].command;
      case KEY_CANCEL:
        return MENU_CANCEL;
      default:
        break;
    }
  }
}

int32_t RunMenuBar(MenuBar* bar) {
  if (bar->count <= 0) return MENU_CANCEL;
  KeepSelectionInside(&bar->selected, bar->count);
  for (;;) {
    PlaceList(bar);
    DrawMenuBar(*bar);
    const int32_t result = RunMenuList(&bar->entries[bar->selected].list);
    if (result == MENU_LEFT) {
      bar->selected = (bar->selected + bar->count - 1) % bar->count;
    } else if (result == MENU_RIGHT) {
      bar->selected = (bar->selected + 1) % bar->count;
    } else {
      return result;
    }
    // The page renewed under the bar, not shown: the next list is drawn over it first.
    refresh_text(false);
  }
}

int32_t DrawMenuBarOnce(MenuBar* bar) {
  if (bar->count <= 0) return MENU_CANCEL;
  KeepSelectionInside(&bar->selected, bar->count);
  PlaceList(bar);
  DrawMenuBar(*bar);
  DrawMenuList(bar->entries[bar->selected].list, true);
  return MENU_CANCEL;
}
