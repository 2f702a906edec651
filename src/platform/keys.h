// Buttons and key input: one key code per poll from the joystick buttons (GP2X
// numbering) or the PC keyboard, the A/B swap, and the quit event. Called by
// every loop that waits for the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

enum : int {
  KEY_LEFT = 0x001,
  KEY_DOWN = 0x002,
  KEY_RIGHT = 0x004,
  KEY_UP = 0x008,
  KEY_R = 0x010,
  KEY_CANCEL = 0x020,
  KEY_ACCEPT = 0x040,
  KEY_L = 0x080,
  KEY_START = 0x100,
  KEY_SELECT = 0x200,
};

// One key code of a pressed button, or 0; never waits. A quit event (window
// closed, SIGTERM) runs the quit handler and ends the program with status 0.
int GetKey();
// Pauses 200 ms, then polls until a key is down and returns its code.
int WaitKey();
// The swap flag becomes 1 when the low 16 bits of value are 1, else 0.
void SetKeySwap(uint32_t value);
int GetKeySwap();

// Typed text from a computer keyboard: while typing is on, every key press
// that SDL translates to a character of code page 1252 (0x20 and above, not
// 0x7F) is queued as that byte; other characters and control keys are not.
// GetKey fills the queue as it takes events, so typed bytes come in the order
// of the presses, between the key codes. Turning typing on or off empties the
// queue, so presses made while it was off are never typed later.
void GpSetTyping(bool on);
// The next typed byte (0x20..0xFF), or 0 when none is waiting; never waits.
int GpTypedChar();

// Called on a quit event before the program exits (the application saves its
// settings and reading place there). Null: nothing is saved.
void GpSetQuitHandler(void (*handler)());

// Test seam: a scripted key source replaces the joystick and keyboard. Each step
// is (key code, polls): the code is reported for that many polls. KEY_SCRIPT_QUIT
// as a code stands for a quit event. When the script is used up every poll
// reports a quit event, so a loop under test always ends.
// KeyScriptTyped(c) as a code types the byte c on that poll (queued as a real
// key press would be, only while typing is on) and the poll reports no key.
constexpr int KEY_SCRIPT_QUIT = -1;
constexpr int KEY_SCRIPT_TYPED = 0x10000;
constexpr int KeyScriptTyped(uint8_t c) { return KEY_SCRIPT_TYPED | c; }
// KEY_SCRIPT_SHOT as a code takes no poll: when the script reaches it, the
// picture on the screen is kept (console layout, 76,800 pixels) for
// GpScriptShot, so a test can see what a loop showed while it waited for keys.
constexpr int KEY_SCRIPT_SHOT = -2;
void GpSetKeyScript(const std::vector<std::pair<int, int>>& steps);
// Pictures kept by KEY_SCRIPT_SHOT steps since the script was set, in order;
// an index past them gives an empty picture.
size_t GpScriptShotCount();
const std::vector<uint16_t>& GpScriptShot(size_t index);
// Queues a real SDL quit event, as closing the window would.
void GpPushQuitEvent();
// Queues a real SDL key press carrying the Unicode character unicode, as the
// keyboard would with SDL's translation on.
void GpPushKeyEvent(uint16_t unicode);
// Back to the joystick and keyboard.
void GpClearKeyScript();
// Polls taken from the script so far.
uint32_t GpKeyScriptPolls();

// Physical inputs seen by GetKey, for tests of the button and keyboard tables.
// Joystick buttons are by SDL number; keys by SDLKey value (see keys.cpp).
void GpSetFakeJoystick(const bool* buttons, int count);  // null: real joystick
void GpSetFakeKeyboard(const uint8_t* state, int count);  // null: real keyboard
// SDLKey values of the keys GetKey reads, so tests need not include SDL.
enum : int {
  GP_SDLK_BACKSPACE = 8,
  GP_SDLK_TAB = 9,
  GP_SDLK_RETURN = 13,
  GP_SDLK_ESCAPE = 27,
  GP_SDLK_KP_ENTER = 271,
  GP_SDLK_UP = 273,
  GP_SDLK_DOWN = 274,
  GP_SDLK_RIGHT = 275,
  GP_SDLK_LEFT = 276,
  GP_SDLK_PAGEUP = 280,
  GP_SDLK_PAGEDOWN = 281,
  GP_SDLK_LAST = 323,
};
