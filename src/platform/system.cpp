// Time and the exit to the console menu: the millisecond clock (SDL's, or a
// virtual one for tests), sleeping delays and GpAppExit.
#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/video.h"
#include "platform/trace.h"

namespace {

bool g_virtualClock = false;
uint32_t g_virtualTicks = 0;

}  // namespace

uint32_t GetTicks() { return g_virtualClock ? g_virtualTicks : SDL_GetTicks(); }

void Delay(uint32_t ms) {
  if (g_virtualClock) {
    g_virtualTicks += ms;
    return;
  }
  // Sleep rather than spin: the reader waits a lot, and a busy wait would keep
  // a core at full load on a battery-powered console.
  const uint32_t start = SDL_GetTicks();
  for (;;) {
    uint32_t elapsed = SDL_GetTicks() - start;
    if (elapsed >= ms) return;
    SDL_Delay(ms - elapsed);
  }
}

void GpUseVirtualClock(bool on) { g_virtualClock = on; }
bool GpVirtualClockActive() { return g_virtualClock; }
void GpAdvanceVirtualClock(uint32_t ms) { g_virtualTicks += ms; }

void GpAppExit() {
  GpTrace("GpAppExit\n");
  GpVideoDone();
  static const char kMenu[] = "/usr/gp2x/gp2xmenu";
  // Off the console there is no menu program to return to: just end.
  if (access(kMenu, F_OK) != 0) std::exit(0);
  if (chdir("/usr/gp2x") == 0) execl(kMenu, kMenu, static_cast<char*>(nullptr));
  GpTrace("Después de gp2xmenu\n");
  std::exit(0);
}
