// The menu tree and its commands: opening the menu (RunMenu), moving in the
// document, zoom and weight, the colour, interface and language lists, the
// title bar and key options, help and about. Every change of a setting is
// written at once with SaveConfig; a failed write leaves the new value in use.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "document/layout.h"
#include "document/load.h"
#include "document/rejoin.h"
#include "document/render.h"
#include "document/text.h"
#include "document/zoom.h"
#include "platform/keys.h"
#include "platform/recent.h"
#include "platform/settings.h"
#include "platform/video.h"
#include "boxes/messagebox.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "ui/find.h"
#include "ui/menu.h"
#include "ui/recent_menu.h"

namespace {

// A command that leaves the menu open returns this; any other value closes
// the menu and is what RunMenu returns.
constexpr int32_t STAY = -2000;
constexpr int MAX_ZOOM_LEVEL = 2;
constexpr uint16_t MAX_TEXT_WEIGHT = 128;
constexpr uint16_t TEXT_WEIGHT_STEP = 4;
constexpr uint16_t SELECTED_ROW_COLOUR = 0xFFD0;
constexpr int SUBLIST_X = 110;
constexpr int PAPER_LIST_Y = 50;
constexpr int TEXT_LIST_Y = 65;
constexpr int INTERFACE_LIST_Y = 50;
constexpr int LANGUAGE_LIST_Y = 145;
constexpr int COLOUR_LIST_WIDTH = 80;
constexpr int INTERFACE_LIST_WIDTH = 90;
constexpr int LANGUAGE_LIST_WIDTH = 90;
constexpr size_t INFO_TEXT_SIZE = 512;

struct ColourRow {
  const char* name;
  uint16_t rgb;
};

// Rows of the paper and text colour list; row i carries command 100 + i.
constexpr ColourRow COLOURS[] = {
    {"Black|Negro", 0x0000},           {"Dark Gray|Gris osc", 0x4208},
    {"Gray|Gris", 0x8410},             {"Light Gray|Gris claro", 0xC618},
    {"White|Blanco", 0xFFDF},          {"Blue|Azul", 0x001F},
    {"Dark Blue|Azul osc", 0x0010},    {"Yellow|Amarillo", 0xFFC0},
    {"Light Yellow|Amarillo cl", 0xFFD8},
};
constexpr int COLOUR_COUNT = int(sizeof COLOURS / sizeof COLOURS[0]);

// Names of the interface palette, in palette order; row i carries 300 + i.
constexpr const char* INTERFACE_NAMES[INTERFACE_PALETTE_SIZE] = {
    "Blue|Azul",          "Steel|Acero",   "Carmine|Carm\xEDn", "Green|Verde",
    "Turquoise|Turquesa", "Purple|Morado", "Brown|Marr\xF3n",   "Gray|Gris",
};

constexpr const char* HELP_TITLE = "Quick Help|Ayuda r\xE1pida";
constexpr const char* HELP_ENGLISH =
    "up/down - line scrolling\nleft/right - page scrolling\nL/R - page scrolling\n"
    "start/home - open menu\nB starts/stops autoscrolling (up/down modify speed)";
constexpr const char* HELP_SPANISH =
    "arr/abj - scroll l\xEDneas\nizq/dcha - mover p\xE1gina\nL/R - mover p\xE1gina\n"
    "start/home - abre menu\nB inicia/para autoscroll (arr/abj cambia velocidad)";

constexpr const char* ABOUT_TITLE = "About|Acerca de";
constexpr const char* ABOUT_ENGLISH =
    "!Quillo reads TXT, RTF, HTM, PDF and PDB (PalmDoc) texts on the GP2X.\n\n"
    "GP32 program by the !Quillo developers.\n"
    "GP2X port by the !Quillo developers.";
constexpr const char* ABOUT_SPANISH =
    "!Quillo lee textos TXT, RTF, HTM, PDF y PDB (PalmDoc) en la GP2X.\n\n"
    "Programa para GP32: los desarrolladores de !Quillo.\n"
    "Versi\xF3n para GP2X: los desarrolladores de !Quillo.";

void (*g_exitHandler)() = nullptr;

// The bar and the lists reached from its rows, built afresh at each opening so
// that each starts on its first row; within one opening each keeps its row.
struct Menu {
  MenuBar bar;
  MenuList colours;  // one list for the paper and the text colour
  MenuList interface;
  MenuList languages;
};

void InitList(MenuList* list, int x, int y, int width) {
  list->count = 0;
  list->selected = 0;
  list->x = x;
  list->y = y;
  list->width = width;
  list->rowColour = g_interfaceColour;
  list->selectedColour = SELECTED_ROW_COLOUR;
}

void AddItem(MenuList* list, const char* text, int32_t command) {
  if (list->count >= MENU_LIST_MAX_ITEMS) return;
  list->items[list->count].text = text;
  list->items[list->count].command = command;
  ++list->count;
}

void BuildMenu(Menu* menu, int selected) {
  BuildMenuBar(&menu->bar, selected);
  InitList(&menu->colours, SUBLIST_X, PAPER_LIST_Y, COLOUR_LIST_WIDTH);
  for (int i = 0; i < COLOUR_COUNT; ++i) AddItem(&menu->colours, COLOURS[i].name, CMD_COLOUR_FIRST + i);
  InitList(&menu->interface, SUBLIST_X, INTERFACE_LIST_Y, INTERFACE_LIST_WIDTH);
  for (int i = 0; i < INTERFACE_PALETTE_SIZE; ++i) {
    AddItem(&menu->interface, INTERFACE_NAMES[i], CMD_INTERFACE_FIRST + i);
  }
  InitList(&menu->languages, SUBLIST_X, LANGUAGE_LIST_Y, LANGUAGE_LIST_WIDTH);
  AddItem(&menu->languages, "English|Ingl\xE9s", CMD_LANGUAGE_FIRST);
  AddItem(&menu->languages, "Spanish|Espa\xF1ol", CMD_LANGUAGE_FIRST + 1);
}

// The page drawn again at the reading position and shown.
void Redraw() { refresh_text(true); }

// The page drawn again before a message box: the box is drawn into the back
// buffer, which after the redraw still holds the picture with the menu, so the
// page goes into both buffers and the box stands over the page alone.
void RedrawUnderBox() {
  refresh_text(true);
  if (g_video) g_video->CopyBuffer(0);
}

uint16_t Switched(uint16_t value) { return value == 0 ? 1 : 0; }

int32_t& Position() { return g_currentEntry.position; }

// Open (1): the file dialog over the page; the menu closes whatever it did.
int32_t CommandOpen() {
  Redraw();
  FileDialog();
  SaveConfig();
  return CMD_OPEN;
}

// Recent (40): the chooser only when it has something to offer beside the
// document on screen, which it leaves out; otherwise the menu stays open.
int32_t CommandRecent() {
  Redraw();
  if (!g_recentList || g_recentList->count <= 1) return STAY;
  ShowRecentMenu(g_recentList, false);
  SaveConfig();
  return CMD_RECENT;
}

// Find (30): after each hit the dialog opens again, to go on from the line
// after it, until the user cancels or nothing more is found.
int32_t CommandFind() {
  int offset = 0;
  int found = 0;
  do {
    // The page in both buffers: the dialog's first frame shows it, not the
    // menu that the other buffer still holds.
    RedrawUnderBox();
    found = RunFindDialog(offset);
    offset = 1;
    Redraw();
  } while (found == 1);
  SaveConfig();
  return CMD_FIND;
}

// The Info box's body with the document's path as shown: converted from
// UTF-8, and by its end when wider than the box.
void ShownInfo(char (&info)[INFO_TEXT_SIZE]) {
  TextInfo(g_text, info, sizeof info);
  if (!g_text) return;
  const char* raw = TrimSdPath(g_text->name);
  char* at = raw[0] ? std::strstr(info, raw) : nullptr;
  if (!at) return;
  char shown[INFO_TEXT_SIZE];
  char fitted[INFO_TEXT_SIZE];
  ShownPath(raw, shown, sizeof shown);
  FitPathByEnd(shown, MESSAGE_PATH_WIDTH, fitted, sizeof fitted);
  // The rest after the path, put back after the path as shown (cut to the buffer).
  char rest[INFO_TEXT_SIZE];
  std::memcpy(rest, at + std::strlen(raw), std::strlen(at + std::strlen(raw)) + 1);
  const size_t head = size_t(at - info);
  const size_t length = std::min(std::strlen(fitted), sizeof info - 1 - head);
  std::memcpy(at, fitted, length);
  const size_t tail = std::min(std::strlen(rest), sizeof info - 1 - head - length);
  std::memcpy(at + length, rest, tail);
  at[length + tail] = 0;
}

int32_t CommandInfo() {
  RedrawUnderBox();
  char info[INFO_TEXT_SIZE];
  ShownInfo(info);
  MessageBoxWait(g_settings.language == 1 ? "Info del texto actual" : "Info about current text", info);
  return CMD_INFO;
}

int32_t CommandExit() {
  if (g_exitHandler) g_exitHandler();
  return CMD_EXIT;
}

int32_t CommandHome() {
  Position() = 0;
  Redraw();
  return STAY;
}

// The last line's bottom at the bottom of the screen, or 0 for a document that
// fits on it.
int32_t CommandEnd() {
  int32_t end = 0;
  if (g_text && g_text->lineCount > 0 && g_text->lines) {
    end = std::max<int32_t>(0, ScrollLimit(g_text, g_settings.titleBarShown != 0));
  }
  Position() = end;
  Redraw();
  return STAY;
}

int32_t CommandPageBreak(bool next) {
  if (g_text && g_text->lineCount > 0 && g_text->lines) {
    int32_t line = LineAtPosition(g_text, Position());
    // A position on or past the last line's top (kept from another zoom level
    // or a recorded place) lies in the last line: nothing follows it, and the
    // previous break is looked for from there, not from the document's start.
    if (line < 0) line = g_text->lineCount - 1;
    const int32_t found = next ? NextPageBreak(g_text, line) : PrevPageBreak(g_text, line);
    if (found >= 0 && found < g_text->lineCount) Position() = g_text->lines[found].y;
  }
  Redraw();
  return STAY;
}

int32_t CommandZoom(int step) {
  const int level = g_settings.zoomLevel;
  if (step > 0 ? level >= MAX_ZOOM_LEVEL : level <= 0) return STAY;
  // The line at the top stays there, shown whole, whatever the new heights.
  ChangeZoomLevel(level + step);
  SaveConfig();
  Redraw();
  return STAY;
}

// The weight stays within 0..128 even when the stored value is no multiple of 4.
int32_t CommandWeight(bool heavier) {
  uint16_t& weight = g_settings.textWeight;
  if (heavier && weight < MAX_TEXT_WEIGHT) {
    weight = uint16_t(std::min<int>(weight + TEXT_WEIGHT_STEP, MAX_TEXT_WEIGHT));
    SaveConfig();
  } else if (!heavier && weight != 0) {
    weight = uint16_t(weight > TEXT_WEIGHT_STEP ? weight - TEXT_WEIGHT_STEP : 0);
    SaveConfig();
  }
  Redraw();
  return STAY;
}

// The colour list over the Options list: each colour chosen is applied and
// shown at once and the list opens again, so colours can be tried one after
// another; anything else goes back to the Options list.
int32_t CommandColour(Menu* menu, uint16_t* setting, int y) {
  menu->colours.y = y;
  for (;;) {
    const int32_t result = RunMenuList(&menu->colours);
    const bool colour = result >= CMD_COLOUR_FIRST && result < CMD_COLOUR_FIRST + COLOUR_COUNT;
    if (colour) *setting = COLOURS[result - CMD_COLOUR_FIRST].rgb;
    SaveConfig();
    Redraw();
    if (!colour) return STAY;
    DrawMenuBarOnce(&menu->bar);
  }
}

// The menu closes whatever the choice: the next opening is built in the new colour.
int32_t CommandInterface(Menu* menu) {
  const int32_t result = RunMenuList(&menu->interface);
  if (result >= CMD_INTERFACE_FIRST && result < CMD_INTERFACE_FIRST + INTERFACE_PALETTE_SIZE) {
    g_settings.interfaceColourIndex = int16_t(result - CMD_INTERFACE_FIRST);
  }
  RecomputeInterfaceColour();
  SaveConfig();
  Redraw();
  return MENU_CANCEL;
}

int32_t CommandLanguage(Menu* menu) {
  const int32_t result = RunMenuList(&menu->languages);
  if (result == CMD_LANGUAGE_FIRST || result == CMD_LANGUAGE_FIRST + 1) {
    g_settings.language = int16_t(result - CMD_LANGUAGE_FIRST);
  }
  SaveConfig();
  Redraw();
  return STAY;
}

int32_t CommandSwitch(uint16_t* setting) {
  *setting = Switched(*setting);
  SaveConfig();
  Redraw();
  return STAY;
}

// Hard-wrapped plain text joined or put back in place: byte offsets stay, so
// the line at the top of the screen stays there, as after a zoom change.
int32_t CommandRejoin() {
  g_settings.rejoinLines = Switched(g_settings.rejoinLines);
  SaveConfig();
  if (ApplyRejoinSetting(g_text)) Position() = Relayout(g_text, Position());
  Redraw();
  return STAY;
}

int32_t CommandSwapKeys() {
  g_settings.keySwap = int16_t(g_settings.keySwap == 0 ? 1 : 0);
  SetKeySwap(uint32_t(g_settings.keySwap));
  SaveConfig();
  RedrawUnderBox();
  const bool spanish = g_settings.language == 1;
  if (g_settings.keySwap == 1) {
    MessageBoxWait(spanish ? "Usando teclas GP2X" : "Using GP2X keys",
                   spanish ? "B= Aceptar, autoscroll\nA= Cancelar" : "B= Accept, autoscroll\nA= Cancel");
  } else {
    MessageBoxWait(spanish ? "Usando teclas GP32" : "Using GP32 keys",
                   spanish ? "A= Aceptar, autoscroll\nB= Cancelar" : "A= Accept, autoscroll\nB= Cancel");
  }
  return STAY;
}

int32_t CommandMessage(const char* title, const char* english, const char* spanish, int32_t command) {
  RedrawUnderBox();
  MessageBoxWait(LangText(title), g_settings.language == 1 ? spanish : english);
  return command;
}

int32_t RunCommand(Menu* menu, int32_t command) {
  switch (command) {
    case CMD_OPEN: return CommandOpen();
    case CMD_RECENT: return CommandRecent();
    case CMD_INFO: return CommandInfo();
    case CMD_EXIT: return CommandExit();
    case CMD_HOME: return CommandHome();
    case CMD_END: return CommandEnd();
    case CMD_FIND: return CommandFind();
    case CMD_NEXT_PAGE_BREAK: return CommandPageBreak(true);
    case CMD_PREV_PAGE_BREAK: return CommandPageBreak(false);
    case CMD_ZOOM_IN: return CommandZoom(+1);
    case CMD_ZOOM_OUT: return CommandZoom(-1);
    case CMD_HEAVIER: return CommandWeight(true);
    case CMD_LIGHTER: return CommandWeight(false);
    case CMD_BACKGROUND: return CommandColour(menu, &g_settings.paperColour, PAPER_LIST_Y);
    case CMD_TEXT_COLOUR: return CommandColour(menu, &g_settings.textColour, TEXT_LIST_Y);
    case CMD_INTERFACE: return CommandInterface(menu);
    case CMD_TITLE_BAR: return CommandSwitch(&g_settings.titleBarShown);
    case CMD_PROGRESS_STYLE: return CommandSwitch(&g_settings.progressStyle);
    case CMD_REJOIN_LINES: return CommandRejoin();
    case CMD_SWAP_KEYS: return CommandSwapKeys();
    case CMD_LANGUAGE: return CommandLanguage(menu);
    case CMD_HELP: return CommandMessage(HELP_TITLE, HELP_ENGLISH, HELP_SPANISH, CMD_HELP);
    case CMD_ABOUT: return CommandMessage(ABOUT_TITLE, ABOUT_ENGLISH, ABOUT_SPANISH, CMD_ABOUT);
    default: return STAY;
  }
}

}  // namespace

void BuildMenuBar(MenuBar* bar, int selected) {
  struct Row {
    const char* text;
    int32_t command;
  };
  struct Entry {
    const char* text;
    int32_t width;
    int32_t listWidth;
    Row rows[8];
  };
  static const Entry TREE[MENU_BAR_ENTRIES] = {
      {"File|Fichero", 50, 80,
       {{"Open..|Abrir..", CMD_OPEN}, {"Recent...|Recientes..", CMD_RECENT}, {"Info", CMD_INFO},
        {"Exit|Salir", CMD_EXIT}}},
      {"Browse|Navegar", 60, 85,
       {{"Home|Inicio", CMD_HOME}, {"End|Fin", CMD_END}, {"Find|Buscar", CMD_FIND},
        {"Next PageBrk|P\xE1gina Sig", CMD_NEXT_PAGE_BREAK},
        {"Prev PageBrk|P\xE1gina Ant", CMD_PREV_PAGE_BREAK}}},
      {"Font|Fuente", 45, 80,
       {{"Zoom +", CMD_ZOOM_IN}, {"Zoom -", CMD_ZOOM_OUT}, {"Heavier|M\xE1s fuerte", CMD_HEAVIER},
        {"Lighter|M\xE1s suave", CMD_LIGHTER}}},
      {"Options|Opciones", 65, 100,
       {{"Background|Fondo", CMD_BACKGROUND}, {"Text|Texto", CMD_TEXT_COLOUR},
        {"Interface|Interfaz", CMD_INTERFACE}, {"TitleBar|Barra T\xEDtulo", CMD_TITLE_BAR},
        {"Progress/Pags|Progreso/Pags", CMD_PROGRESS_STYLE},
        {"Swap keys|Cambiar teclas", CMD_SWAP_KEYS}, {"Language|Idioma", CMD_LANGUAGE},
        {"Rejoin lines|Unir l\xEDneas", CMD_REJOIN_LINES}}},
      {"?", 15, 80, {{"Quick Help|Ayuda", CMD_HELP}, {"About|Acerca de", CMD_ABOUT}}},
  };
  bar->count = MENU_BAR_ENTRIES;
  bar->selected = selected >= 0 && selected < MENU_BAR_ENTRIES ? selected : 0;
  bar->x = MENU_BAR_X;
  bar->y = MENU_BAR_Y;
  bar->height = MENU_BAR_HEIGHT;
  bar->barColour = MenuBarColour(g_interfaceColour);
  bar->textColour = 0xC610;
  bar->selectedColour = g_interfaceColour;
  bar->selectedTextColour = 0xFFC0;
  int x = MENU_BAR_X;
  for (int i = 0; i < MENU_BAR_ENTRIES; ++i) {
    const Entry& e = TREE[i];
    MenuBarEntry& entry = bar->entries[i];
    entry.text = e.text;
    entry.width = e.width;
    InitList(&entry.list, x, MENU_BAR_Y + MENU_BAR_HEIGHT, e.listWidth);
    for (const Row& row : e.rows) {
      if (row.text) AddItem(&entry.list, row.text, row.command);
    }
    x += e.width;
  }
}

void SetMenuExitHandler(void (*handler)()) { g_exitHandler = handler; }

int RunMenu() {
  if (!g_video) return MENU_CANCEL;
  Menu menu;
  BuildMenu(&menu, MenuRememberedEntry());
  for (;;) {
    const int32_t command = RunMenuBar(&menu.bar);
    SetMenuRememberedEntry(menu.bar.selected);
    if (command == MENU_CANCEL) return MENU_CANCEL;
    const int32_t result = RunCommand(&menu, command);
    if (result != STAY) return int(result);
  }
}
