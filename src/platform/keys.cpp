// Buttons and keys: one key code per poll from the GP2X joystick buttons or
// the PC keyboard, in a fixed order of priority, plus the quit event. Every
// loop that waits for the user polls GetKey.
#include "platform/keys.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "platform/cp1252.h"
#include "platform/files.h"
#include "platform/video.h"
#include "platform/video_internal.h"
#include "platform/trace.h"

namespace {

// GP2X joystick button numbers.
enum : int {
  BTN_UP = 0,
  BTN_LEFT = 2,
  BTN_DOWN = 4,
  BTN_RIGHT = 6,
  BTN_START = 8,
  BTN_SELECT = 9,
  BTN_L = 10,
  BTN_R = 11,
  BTN_A = 12,
  BTN_B = 13,
};

SDL_Joystick* g_joystick = nullptr;
int g_swap = 0;
void (*g_quitHandler)() = nullptr;

std::vector<std::pair<int, int>> g_script;
bool g_scriptActive = false;
size_t g_scriptStep = 0;
int g_scriptUsed = 0;
uint32_t g_scriptPolls = 0;
std::vector<std::vector<uint16_t>> g_scriptShots;

// Typed bytes waiting for the dialog that reads them; presses beyond its size
// while nobody reads are dropped.
constexpr int TYPED_QUEUE_SIZE = 64;
bool g_typing = false;
uint8_t g_typed[TYPED_QUEUE_SIZE];
int g_typedHead = 0;
int g_typedCount = 0;

const bool* g_fakeButtons = nullptr;
int g_fakeButtonCount = 0;
const uint8_t* g_fakeKeys = nullptr;
int g_fakeKeyCount = 0;

[[noreturn]] void Quit() {
  if (g_quitHandler) g_quitHandler();
  std::fflush(stdout);
  std::exit(0);
}

void QueueTyped(uint8_t c) {
  if (!g_typing || g_typedCount >= TYPED_QUEUE_SIZE) return;
  g_typed[(g_typedHead + g_typedCount) % TYPED_QUEUE_SIZE] = c;
  ++g_typedCount;
}

// A key press with SDL's Unicode translation: the code page 1252 byte of its
// character when the code page has one and it is printable.
void TypeKeyEvent(const SDL_KeyboardEvent& key) {
  const int c = UnicodeToCp1252(key.keysym.unicode);
  if (c >= 0x20 && c != 0x7F) QueueTyped(uint8_t(c));
}

bool ButtonDown(int number) {
  if (g_fakeButtons) return number < g_fakeButtonCount && g_fakeButtons[number];
  return SDL_JoystickGetButton(g_joystick, number) != 0;
}

int JoystickCode() {
  if (!g_joystick && !g_fakeButtons) return 0;
  if (!g_fakeButtons) SDL_JoystickUpdate();
  if (ButtonDown(BTN_LEFT)) return KEY_LEFT;
  if (ButtonDown(BTN_RIGHT)) return KEY_RIGHT;
  if (ButtonDown(BTN_UP)) return KEY_UP;
  if (ButtonDown(BTN_DOWN)) return KEY_DOWN;
  if (ButtonDown(BTN_R)) return KEY_R;
  if (ButtonDown(BTN_L)) return KEY_L;
  if (ButtonDown(BTN_A)) return g_swap == 1 ? KEY_CANCEL : KEY_ACCEPT;
  if (ButtonDown(BTN_B)) return g_swap == 1 ? KEY_ACCEPT : KEY_CANCEL;
  if (ButtonDown(BTN_START)) return KEY_START;
  if (ButtonDown(BTN_SELECT)) return KEY_SELECT;
  return 0;
}

// The keyboard names roles rather than the A and B buttons, so the swap flag
// does not apply. Tested in the order of the key codes, like the buttons.
int KeyboardCode() {
  int count = g_fakeKeyCount;
  const Uint8* state = g_fakeKeys ? g_fakeKeys : SDL_GetKeyState(&count);
  if (!state) return 0;
  auto down = [&](SDLKey k) { return int(k) < count && state[k]; };
  if (down(SDLK_LEFT)) return KEY_LEFT;
  if (down(SDLK_RIGHT)) return KEY_RIGHT;
  if (down(SDLK_UP)) return KEY_UP;
  if (down(SDLK_DOWN)) return KEY_DOWN;
  if (down(SDLK_PAGEUP)) return KEY_R;
  if (down(SDLK_PAGEDOWN)) return KEY_L;
  if (down(SDLK_RETURN) || down(SDLK_KP_ENTER)) return KEY_ACCEPT;
  if (down(SDLK_ESCAPE)) return KEY_CANCEL;
  if (down(SDLK_TAB)) return KEY_START;
  if (down(SDLK_BACKSPACE)) return KEY_SELECT;
  return 0;
}

// The screen as it is now, in the console layout (all black without a screen).
std::vector<uint16_t> ScreenShot() {
  std::vector<uint16_t> rows(FRAME_PIXELS), frame(FRAME_PIXELS);
  if (!GpReadScreen(rows.data())) return frame;
  for (int y = 0; y < SCREEN_HEIGHT; ++y) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) frame[size_t(PixelIndex(x, y))] = rows[size_t(y * SCREEN_WIDTH + x)];
  }
  return frame;
}

int ScriptCode() {
  ++g_scriptPolls;
  for (;;) {
    while (g_scriptStep < g_script.size() && g_scriptUsed >= g_script[g_scriptStep].second) {
      ++g_scriptStep;
      g_scriptUsed = 0;
    }
    if (g_scriptStep >= g_script.size() || g_script[g_scriptStep].first != KEY_SCRIPT_SHOT) break;
    g_scriptShots.push_back(ScreenShot());
    ++g_scriptStep;
    g_scriptUsed = 0;
  }
  if (g_scriptStep >= g_script.size()) return KEY_SCRIPT_QUIT;
  ++g_scriptUsed;
  return g_script[g_scriptStep].first;
}

}  // namespace

void GpOpenJoystick() {
  if (SDL_NumJoysticks() > 0) {
    g_joystick = SDL_JoystickOpen(0);
    if (!g_joystick) GpTrace("Error al abrir el joystick\n");
    SDL_JoystickEventState(SDL_ENABLE);
  }
}

void GpCloseJoystick() {
  if (g_joystick) {
    if (SDL_JoystickOpened(0)) SDL_JoystickClose(g_joystick);
    g_joystick = nullptr;
  }
}

int GetKey() {
  if (!GpVideoStarted()) return 0;
  if (g_scriptActive) {
    int code = ScriptCode();
    if (code == KEY_SCRIPT_QUIT) Quit();
    if (code & KEY_SCRIPT_TYPED) {
      QueueTyped(uint8_t(code));
      return 0;
    }
    return code;
  }
  SDL_Event event;
  if (SDL_PollEvent(&event)) {
    if (event.type == SDL_QUIT) Quit();
    if (event.type == SDL_KEYDOWN && g_typing) TypeKeyEvent(event.key);
  }
  int code = JoystickCode();
  if (!code) code = KeyboardCode();
  // Nothing pressed: give the processor back for a moment instead of spinning.
  if (!code && !GpVirtualClockActive()) SDL_Delay(1);
  return code;
}

int WaitKey() {
  Delay(200);
  for (;;) {
    int code = GetKey();
    if (code) return code;
  }
}

void SetKeySwap(uint32_t value) { g_swap = (value & 0xFFFF) == 1 ? 1 : 0; }
int GetKeySwap() { return g_swap; }

void GpSetQuitHandler(void (*handler)()) { g_quitHandler = handler; }

void GpSetTyping(bool on) {
  g_typing = on;
  g_typedHead = 0;
  g_typedCount = 0;
  // The translation costs a little per key event, so it is on only while a
  // dialog reads typed text.
  if (GpVideoStarted()) SDL_EnableUNICODE(on ? 1 : 0);
}

int GpTypedChar() {
  if (g_typedCount == 0) return 0;
  const uint8_t c = g_typed[g_typedHead];
  g_typedHead = (g_typedHead + 1) % TYPED_QUEUE_SIZE;
  --g_typedCount;
  return c;
}

void GpSetKeyScript(const std::vector<std::pair<int, int>>& steps) {
  g_script = steps;
  g_scriptActive = true;
  g_scriptStep = 0;
  g_scriptUsed = 0;
  g_scriptPolls = 0;
  g_scriptShots.clear();
}

size_t GpScriptShotCount() { return g_scriptShots.size(); }

const std::vector<uint16_t>& GpScriptShot(size_t index) {
  static const std::vector<uint16_t> none;
  return index < g_scriptShots.size() ? g_scriptShots[index] : none;
}

void GpPushQuitEvent() {
  SDL_Event event;
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
}

void GpPushKeyEvent(uint16_t unicode) {
  SDL_Event event = {};
  event.type = SDL_KEYDOWN;
  event.key.type = SDL_KEYDOWN;
  event.key.state = SDL_PRESSED;
  event.key.keysym.sym = SDLK_UNKNOWN;
  event.key.keysym.unicode = unicode;
  SDL_PushEvent(&event);
}

void GpClearKeyScript() {
  g_script.clear();
  g_scriptActive = false;
}

uint32_t GpKeyScriptPolls() { return g_scriptPolls; }

void GpSetFakeJoystick(const bool* buttons, int count) {
  g_fakeButtons = buttons;
  g_fakeButtonCount = count;
}

void GpSetFakeKeyboard(const uint8_t* state, int count) {
  g_fakeKeys = state;
  g_fakeKeyCount = count;
}

static_assert(int(GP_SDLK_BACKSPACE) == int(SDLK_BACKSPACE) && int(GP_SDLK_TAB) == int(SDLK_TAB) &&
                  int(GP_SDLK_RETURN) == int(SDLK_RETURN) && int(GP_SDLK_ESCAPE) == int(SDLK_ESCAPE) &&
                  int(GP_SDLK_KP_ENTER) == int(SDLK_KP_ENTER) && int(GP_SDLK_UP) == int(SDLK_UP) &&
                  int(GP_SDLK_DOWN) == int(SDLK_DOWN) && int(GP_SDLK_RIGHT) == int(SDLK_RIGHT) &&
                  int(GP_SDLK_LEFT) == int(SDLK_LEFT) && int(GP_SDLK_PAGEUP) == int(SDLK_PAGEUP) &&
                  int(GP_SDLK_PAGEDOWN) == int(SDLK_PAGEDOWN) && int(GP_SDLK_LAST) == int(SDLK_LAST),
              "key numbers for tests follow SDL's");
