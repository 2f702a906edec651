// The on-screen keyboard (four rows of fourteen keys driven by the direction
// buttons) and the one-line edit field it types into: the find text of the
// settings. The Find dialog runs it; on a computer the keyboard's own keys
// type into the field as well.
#pragma once

#include <cstdint>

constexpr int KEYBOARD_ROWS = 4;
constexpr int KEYBOARD_COLUMNS = 14;
// Column 12 holds the labelled keys and is drawn double width; column 13 is a
// space that the selection never reaches.
constexpr int KEYBOARD_LAST_COLUMN = 12;
constexpr int KEY_CELL_WIDTH = 12;
constexpr int KEY_CELL_HEIGHT = 14;
constexpr int KEYBOARD_WIDTH = KEYBOARD_COLUMNS * KEY_CELL_WIDTH;   // 168
constexpr int KEYBOARD_HEIGHT = KEYBOARD_ROWS * KEY_CELL_HEIGHT;    // 56
// Centred at the bottom of the screen.
constexpr int KEYBOARD_X = 160 - 6 * KEY_CELL_HEIGHT;  // 76
constexpr int KEYBOARD_Y = 240 - KEYBOARD_HEIGHT;      // 184

// Keys with a label instead of a character.
constexpr uint8_t KEY_BYTE_DEL = 9;   // "del": removes the last character
constexpr uint8_t KEY_BYTE_OK = 10;   // "Ok": ends the input
constexpr uint8_t KEY_BYTE_SHIFT = 13;  // "shf": next shift state

// Shift states.
constexpr int32_t SHIFT_NONE = 0;
constexpr int32_t SHIFT_ONCE = 1;  // the next character only
constexpr int32_t SHIFT_LOCK = 2;

// The selection and the shift state, kept for the whole run of the program
// (the shift state is not reset when the keyboard opens again).
struct KeyboardState {
  int32_t column = 0;  // 0 to 12
  int32_t row = 1;     // 0 to 3
  int32_t shift = SHIFT_NONE;
};
extern KeyboardState g_keyboard;

// The code page 1252 byte of key (row, column) in the normal set (shift 0) or
// the shifted set (any other shift); 0 for a key outside the keyboard.
uint8_t KeyboardKey(int32_t shift, int row, int column);

// Draws the keyboard at (x, y) into the front buffer in the set of the shift
// state, the key (column, row) selected: a yellow block with its label in the
// interface colour; every other label is yellow.
void DrawKeyboard(int x, int y, int column, int row);

// Draws the edit field of a frame at (x, y), width wide, into the front
// buffer: the find text in black on near-white from (x + 6, y + 5) with a grey
// cursor after it. A text wider than the field shows its end, so the cursor
// and the last characters typed stay inside the field.
void DrawEditField(int x, int y, int width);

// Runs the keyboard under the edit field of the frame at (x, y), width wide,
// until "Ok" (returns 1) or cancel (returns 0); the find text keeps its edits
// either way, and never grows past 63 characters. Typed text from a computer
// keyboard goes into the field too and selects "Ok".
int KeyboardInput(int x, int y, int width);
