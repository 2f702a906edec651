// The menu: a bar of five entries with a drop-down list under the selected one,
// holding every command of the reader (files, moving in the document, the font,
// colours and options, help). The main loop opens it with START (RunMenu).
// Everything is drawn into the front buffer over the page on screen and shown
// with ShowFront; the page is restored with refresh_text.
#pragma once

#include <cstdint>

constexpr int MENU_LIST_MAX_ITEMS = 9;  // the colour list is the longest
constexpr int MENU_BAR_ENTRIES = 5;
constexpr int MENU_ROW_HEIGHT = 16;
constexpr int MENU_BAR_X = 20;
constexpr int MENU_BAR_Y = 20;
constexpr int MENU_BAR_HEIGHT = 18;

// What RunMenuList returns besides a row's command.
constexpr int32_t MENU_CANCEL = -1;
constexpr int32_t MENU_LEFT = -1000;
constexpr int32_t MENU_RIGHT = -1001;

// Command numbers of the menu tree.
enum : int32_t {
  CMD_OPEN = 1,
  CMD_INFO = 2,
  CMD_EXIT = 3,
  CMD_BACKGROUND = 4,
  CMD_TITLE_BAR = 5,
  CMD_ABOUT = 6,
  CMD_HELP = 7,
  CMD_HOME = 8,
  CMD_END = 9,
  CMD_HEAVIER = 10,
  CMD_LIGHTER = 11,
  CMD_ZOOM_IN = 12,
  CMD_ZOOM_OUT = 13,
  CMD_TEXT_COLOUR = 14,
  CMD_FIND = 30,
  CMD_NEXT_PAGE_BREAK = 35,
  CMD_PREV_PAGE_BREAK = 36,
  CMD_RECENT = 40,
  CMD_COLOUR_FIRST = 100,  // colour list rows 100..108
  CMD_SWAP_KEYS = 200,
  CMD_LANGUAGE_FIRST = 200,  // language list rows 200 (English), 201 (Spanish)
  CMD_INTERFACE_FIRST = 300,  // interface list rows 300..307
  CMD_PROGRESS_STYLE = 1005,
  CMD_LANGUAGE = 1006,
  CMD_INTERFACE = 1007,
  CMD_REJOIN_LINES = 1008,
};

// One row: a bilingual text ("English|Spanish", at most 31 characters, a
// constant of the program) and its command number.
struct MenuItem {
  const char* text;
  int32_t command;
};

struct MenuList {
  MenuItem items[MENU_LIST_MAX_ITEMS];
  int32_t count;
  int32_t selected;
  int32_t x, y;  // top-left corner on the screen
  int32_t width;
  uint16_t rowColour;       // the interface colour
  uint16_t selectedColour;  // 0xFFD0
};

struct MenuBarEntry {
  const char* text;
  int32_t width;
  MenuList list;
};

struct MenuBar {
  MenuBarEntry entries[MENU_BAR_ENTRIES];
  int32_t count;
  int32_t selected;
  int32_t x, y, height;
  uint16_t barColour;
  uint16_t textColour;          // 0xC610
  uint16_t selectedColour;      // the interface colour
  uint16_t selectedTextColour;  // 0xFFC0
};

// Opens the menu over the page on screen and runs it until a command closes it
// or the user cancels. Returns the command that closed it, or -1 when it was
// cancelled or closed after an interface colour change. The selected bar entry
// is remembered for the next opening; every list starts on its first row.
int RunMenu();

// Draws the list with its shadow into the front buffer and runs it: the
// command of the row accepted, MENU_CANCEL, MENU_LEFT or MENU_RIGHT. UP and
// DOWN wrap around; the list's selected row is kept in it.
int32_t RunMenuList(MenuList* list);

// Places the selected entry's list under it (ending at the entry's right edge
// where it would pass x 310), draws the bar and runs the list; LEFT and RIGHT
// move to the neighbouring entry (wrapping) over a renewed page. Returns the
// list's result otherwise, with bar->selected the entry it came from.
int32_t RunMenuBar(MenuBar* bar);
// Places and draws the bar and the selected entry's list once, reading no keys
// (what stays behind the colour lists). Returns -1.
int32_t DrawMenuBarOnce(MenuBar* bar);

// The bar (with its end caps and shadow) and a list, into the front buffer.
// Texts are cut at the right edge of their entry or row.
void DrawMenuBar(const MenuBar& bar);
void DrawMenuList(const MenuList& list, bool shadow);

// The menu tree in the interface colour, with entry `selected` selected and
// every list on its first row.
void BuildMenuBar(MenuBar* bar, int selected);

// Colours derived from the interface colour: the bar (each component x 0.75)
// and the light and dark edges of a row.
uint16_t MenuBarColour(uint16_t interfaceColour);
uint16_t MenuLightShade(uint16_t colour);
uint16_t MenuDarkShade(uint16_t colour);

// The bar entry the next opening starts on (0 at start, kept for the run).
int MenuRememberedEntry();
void SetMenuRememberedEntry(int entry);

// What "Exit|Salir" runs: the application's exit sequence, which does not
// return. Without one (or if it returns) the command closes the menu and
// RunMenu returns CMD_EXIT.
void SetMenuExitHandler(void (*handler)());
