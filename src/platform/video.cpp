// Frame buffers, presenting to the SDL screen, tints and the framed windows of
// every dialog. The rest of the program draws into the two static buffers in
// the console layout; a show converts one whole buffer to the SDL surface.
#include "platform/video.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/files.h"
#include "platform/video_internal.h"
#include "platform/trace.h"

Video* g_video = nullptr;

namespace {

// Both buffers in one static block; buffer 1 directly follows buffer 0.
// 16-byte aligned, so the present can read a column's pixels eight at a time.
alignas(16) uint16_t g_frames[2 * FRAME_PIXELS];
int g_columnOffset[SCREEN_WIDTH];
bool g_started = false;
SDL_Surface* g_screen = nullptr;
uint32_t g_showCount = 0;
const uint16_t* g_lastShown = nullptr;
bool g_haveShown = false;
uint32_t g_lastShowTicks = 0;

// Frame pacing: one show per 1/60 s at most, as on the console's display.
constexpr uint32_t FRAME_MS = 17;

inline uint16_t Tint(uint16_t c, int mul, int add) {
  uint32_t r = ((uint32_t(c >> 11) * mul + add) >> 8) & 31;
  uint32_t g = ((uint32_t((c >> 6) & 31) * mul + add) >> 8) & 31;
  uint32_t b = ((uint32_t(c & 31) * mul + add) >> 8) & 31;
  return uint16_t(r << 11 | g << 6 | b);
}

using TintFn = uint16_t (*)(uint16_t);

// Two neighbouring screen pixels as one 32-bit word in memory order.
inline uint32_t PackPair(uint16_t left, uint16_t right) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return uint32_t(left) << 16 | right;
#else
  return uint32_t(right) << 16 | left;
#endif
}

// Tints one pixel in screen coordinates; pixels off the buffer are skipped so a
// window placed partly off screen never writes outside it.
inline void TintPixel(uint16_t* buf, int x, int y, TintFn fn) {
  if (x < 0 || x >= SCREEN_WIDTH || y < 0 || y >= SCREEN_HEIGHT) return;
  uint16_t& p = buf[PixelIndex(x, y)];
  p = fn(p);
}

void TintRow(uint16_t* buf, int y, int x0, int x1, TintFn fn) {
  for (int x = x0; x <= x1; ++x) TintPixel(buf, x, y, fn);
}

void TintColumn(uint16_t* buf, int x, int y0, int y1, TintFn fn) {
  for (int y = y0; y <= y1; ++y) TintPixel(buf, x, y, fn);
}

void PaceFrame() {
  if (g_haveShown) {
    uint32_t elapsed = GetTicks() - g_lastShowTicks;
    if (elapsed < FRAME_MS) Delay(FRAME_MS - elapsed);
  }
  g_haveShown = true;
  g_lastShowTicks = GetTicks();
}

}  // namespace

uint16_t TintStrongLighten(uint16_t c) { return Tint(c, 63, 5952); }
uint16_t TintSoftLighten(uint16_t c) { return Tint(c, 127, 3968); }
uint16_t TintDarken63(uint16_t c) { return Tint(c, 63, 0); }
uint16_t TintDarken127(uint16_t c) { return Tint(c, 127, 0); }
uint16_t TintDarken191(uint16_t c) { return Tint(c, 191, 0); }
uint16_t TintDarken223(uint16_t c) { return Tint(c, 223, 0); }

bool GpVideoStarted() { return g_started; }
uint16_t* GpFrameBuffer(int index) { return g_frames + (index ? FRAME_PIXELS : 0); }
uint32_t GpShowCount() { return g_showCount; }
const uint16_t* GpLastShown() { return g_lastShown; }
SDL_Surface* GpScreenSurface() { return g_screen; }

void GpVideoInit() {
  if (g_started) {
    GpTrace("GpVideo ya iniciado\n");
    std::exit(1);
  }
  std::atexit(GpVideoDone);
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK) < 0) {
    GpTrace("Error al iniciar SDL: %s\n", SDL_GetError());
    std::exit(1);
  }
  SDL_EnableKeyRepeat(500, 30);
  for (int x = 0; x < SCREEN_WIDTH; ++x) g_columnOffset[x] = x * SCREEN_HEIGHT;
  g_started = true;
  GpTrace("GpVideo init ok!\n");
}

void GpVideoDone() {
  if (!g_started) return;
  GpCloseJoystick();
  SDL_Quit();
  g_screen = nullptr;
  g_started = false;
  GpTrace("GpVideo done!\n");
}

int GpGraphicModeSet(int bpp, const void* palette) {
  GpTrace("GpGraphicModeSet\n");
  if (!g_started) {
    GpTrace("GpVideo no iniciado\n");
    return 0;
  }
  if (bpp != 16 || palette) {
    GpTrace("Sólo soportado 16 bits de color\n");
    return 0;
  }
#ifdef QUILLO_CONSOLE
  const Uint32 flags = SDL_FULLSCREEN;
#else
  // On a desktop the reader runs in a window of the console's size.
  const Uint32 flags = SDL_SWSURFACE;
#endif
  g_screen = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 16, flags);
  if (!g_screen) {
    GpTrace("Error en SetVideoMode: %s\n", SDL_GetError());
    return 0;
  }
  SDL_WM_SetCaption("!Quillo 2x", "!Quillo 2x");
  SDL_ShowCursor(SDL_DISABLE);
  GpOpenJoystick();
  return 2;
}

int GpSurfaceGet(DrawSurface* surface, int index) {
  if (!g_started || !surface) return 2;
  surface->buffer = GpFrameBuffer(index ? 1 : 0);
  surface->bpp = 16;
  surface->width = SCREEN_WIDTH;
  surface->height = SCREEN_HEIGHT;
  surface->originX = 0;
  surface->originY = 0;
  surface->index = index ? 1 : 0;
  return 0;
}

namespace {

// The present turns the column-major frame into screen rows, every frame, in
// blocks when the frame and the screen allow it, else a pair of pixels at a
// time (the loop in GpSurfaceShow).
#if defined(__SSE2__)
// With SSE2, 8x8 blocks: eight loads take eight pixels from each of eight
// columns, three rounds of interleaving turn them into eight pixels of eight
// rows, and eight stores write them: about one instruction a pixel where the
// pair loop takes three and a half. The frame must be 16-byte aligned; the
// screen rows need not be.
bool CanPresentBlocks(const uint16_t* src, bool rgb565, bool) {
  return rgb565 && (reinterpret_cast<uintptr_t>(src) & 15) == 0;
}

void PresentBlocks(const uint16_t* src, uint8_t* base, int pitch) {
  static_assert(SCREEN_WIDTH % 8 == 0 && SCREEN_HEIGHT % 8 == 0, "whole blocks");
  for (int k = 0; k < SCREEN_HEIGHT; k += 8) {
    // Offset k in a column is screen row SCREEN_HEIGHT - 1 - k, and k + j the row j above it.
    uint8_t* row = base + (SCREEN_HEIGHT - 1 - k) * pitch;
    for (int x = 0; x < SCREEN_WIDTH; x += 8) {
      const __m128i* c = reinterpret_cast<const __m128i*>(src + x * SCREEN_HEIGHT + k);
      constexpr int next = SCREEN_HEIGHT / 8;  // one column on, in vectors
      const __m128i v0 = _mm_load_si128(c), v1 = _mm_load_si128(c + next);
      const __m128i v2 = _mm_load_si128(c + 2 * next), v3 = _mm_load_si128(c + 3 * next);
      const __m128i v4 = _mm_load_si128(c + 4 * next), v5 = _mm_load_si128(c + 5 * next);
      const __m128i v6 = _mm_load_si128(c + 6 * next), v7 = _mm_load_si128(c + 7 * next);
      // Pixel pairs of neighbouring columns, then fours, then whole rows.
      const __m128i a0 = _mm_unpacklo_epi16(v0, v1), a1 = _mm_unpackhi_epi16(v0, v1);
      const __m128i a2 = _mm_unpacklo_epi16(v2, v3), a3 = _mm_unpackhi_epi16(v2, v3);
      const __m128i a4 = _mm_unpacklo_epi16(v4, v5), a5 = _mm_unpackhi_epi16(v4, v5);
      const __m128i a6 = _mm_unpacklo_epi16(v6, v7), a7 = _mm_unpackhi_epi16(v6, v7);
      const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
      const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
      const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
      const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
      uint8_t* out = row + x * 2;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(b0, b4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - pitch), _mm_unpackhi_epi64(b0, b4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 2 * pitch), _mm_unpacklo_epi64(b1, b5));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 3 * pitch), _mm_unpackhi_epi64(b1, b5));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 4 * pitch), _mm_unpacklo_epi64(b2, b6));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 5 * pitch), _mm_unpackhi_epi64(b2, b6));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 6 * pitch), _mm_unpacklo_epi64(b3, b7));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 7 * pitch), _mm_unpackhi_epi64(b3, b7));
    }
  }
}
#else
// Without vectors (the console's ARM9), 2x2 blocks: a word read from a column
// holds its pixels on two neighbouring rows, so two columns give one word for
// each of the two rows. Per eight pixels that is four loads and four stores
// where the pair loop takes eight loads. The frame and the screen rows must be
// word-aligned.
bool CanPresentBlocks(const uint16_t* src, bool, bool wordRows) {
  return wordRows && (reinterpret_cast<uintptr_t>(src) & 3) == 0;
}

inline uint32_t LoadColumnWord(const uint16_t* p) {
  uint32_t v;
  std::memcpy(&v, __builtin_assume_aligned(p, 4), 4);
  return v;
}

// Row y of two pixels from the column words left and right (row y at the
// lower address in each, row y - 1 after it), and row y - 1 of the same.
inline uint32_t LowerPair(uint32_t left, uint32_t right) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return (left & 0xFFFF0000u) | (right >> 16);
#else
  return (left & 0xFFFFu) | (right << 16);
#endif
}
inline uint32_t UpperPair(uint32_t left, uint32_t right) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return (left << 16) | (right & 0xFFFFu);
#else
  return (left >> 16) | (right & 0xFFFF0000u);
#endif
}

void PresentBlocks(const uint16_t* src, uint8_t* base, int pitch) {
  static_assert(SCREEN_WIDTH % 4 == 0 && SCREEN_HEIGHT % 2 == 0, "whole blocks");
  for (int y = SCREEN_HEIGHT - 1; y > 0; y -= 2) {
    // Offset SCREEN_HEIGHT - 1 - y in a column is row y; the next one row y - 1.
    uint32_t* lower = static_cast<uint32_t*>(__builtin_assume_aligned(base + y * pitch, 4));
    uint32_t* upper = static_cast<uint32_t*>(__builtin_assume_aligned(base + (y - 1) * pitch, 4));
    const uint16_t* s = src + (SCREEN_HEIGHT - 1 - y);
    for (int x = 0; x < SCREEN_WIDTH; x += 4) {
      const uint32_t a = LoadColumnWord(s), b = LoadColumnWord(s + SCREEN_HEIGHT);
      const uint32_t c = LoadColumnWord(s + 2 * SCREEN_HEIGHT), d = LoadColumnWord(s + 3 * SCREEN_HEIGHT);
      lower[0] = LowerPair(a, b);
      lower[1] = LowerPair(c, d);
      upper[0] = UpperPair(a, b);
      upper[1] = UpperPair(c, d);
      lower += 2;
      upper += 2;
      s += 4 * SCREEN_HEIGHT;
    }
  }
}
#endif

}  // namespace

void GpSurfaceShow(const DrawSurface* surface) {
  if (!g_started || !surface || !surface->buffer) return;
  PaceFrame();
  ++g_showCount;
  g_lastShown = surface->buffer;
  if (!g_screen) return;
  if (SDL_MUSTLOCK(g_screen) && SDL_LockSurface(g_screen) < 0) return;
  const uint16_t* src = surface->buffer;
  uint8_t* base = static_cast<uint8_t*>(g_screen->pixels);
  const int pitch = g_screen->pitch;
  const bool rgb565 = g_screen->format->BitsPerPixel == 16 && g_screen->format->Rmask == 0xF800 &&
                      g_screen->format->Gmask == 0x07E0;
  const bool wordRows = rgb565 && pitch % 4 == 0 && (reinterpret_cast<uintptr_t>(base) & 3) == 0;
  if (CanPresentBlocks(src, rgb565, wordRows)) {
    PresentBlocks(src, base, pitch);
    if (SDL_MUSTLOCK(g_screen)) SDL_UnlockSurface(g_screen);
    SDL_UpdateRect(g_screen, 0, 0, 0, 0);
    return;
  }
  for (int y = 0; y < SCREEN_HEIGHT; ++y) {
    const uint16_t* col = src + (SCREEN_HEIGHT - 1 - y);
    if (wordRows) {
      // Two pixels per 32-bit store, four per step: the present runs every frame.
      uint32_t* row = reinterpret_cast<uint32_t*>(base + y * pitch);
      const uint16_t* s = col;
      for (int x = 0; x < SCREEN_WIDTH; x += 4) {
        row[0] = PackPair(s[0], s[SCREEN_HEIGHT]);
        row[1] = PackPair(s[2 * SCREEN_HEIGHT], s[3 * SCREEN_HEIGHT]);
        row += 2;
        s += 4 * SCREEN_HEIGHT;
      }
    } else if (rgb565) {
      uint16_t* row = reinterpret_cast<uint16_t*>(base + y * pitch);
      for (int x = 0; x < SCREEN_WIDTH; ++x) row[x] = col[g_columnOffset[x]];
    } else {
      // A desktop display of another depth: map each pixel through SDL.
      for (int x = 0; x < SCREEN_WIDTH; ++x) {
        uint16_t c = col[g_columnOffset[x]];
        Uint32 v = SDL_MapRGB(g_screen->format, uint8_t((c >> 11) << 3), uint8_t(((c >> 5) & 63) << 2),
                              uint8_t((c & 31) << 3));
        uint8_t* p = base + y * pitch + x * g_screen->format->BytesPerPixel;
        std::memcpy(p, &v, g_screen->format->BytesPerPixel);
      }
    }
  }
  if (SDL_MUSTLOCK(g_screen)) SDL_UnlockSurface(g_screen);
  SDL_UpdateRect(g_screen, 0, 0, 0, 0);
}

void GpSurfaceFlip(const DrawSurface* surface) { GpSurfaceShow(surface); }

bool GpReadScreen(uint16_t* out) {
  if (!g_screen || g_screen->format->BitsPerPixel != 16) return false;
  if (SDL_MUSTLOCK(g_screen) && SDL_LockSurface(g_screen) < 0) return false;
  for (int y = 0; y < SCREEN_HEIGHT; ++y) {
    std::memcpy(out + y * SCREEN_WIDTH, static_cast<uint8_t*>(g_screen->pixels) + y * g_screen->pitch,
                SCREEN_WIDTH * 2);
  }
  if (SDL_MUSTLOCK(g_screen)) SDL_UnlockSurface(g_screen);
  return true;
}

int GpRectFill(const void*, const DrawSurface* surface, int x, int y, int w, int h,
               uint16_t colour) {
  if (!g_started || !surface || !surface->buffer) return -1;
  if (x < 0 || y < 0 || x >= SCREEN_WIDTH || y >= SCREEN_HEIGHT || w < 0 || h < 0 ||
      x + w > SCREEN_WIDTH || y + h > SCREEN_HEIGHT) {
    return -1;
  }
  for (int c = x; c < x + w; ++c) {
    uint16_t* p = surface->buffer + g_columnOffset[c] + y;
    for (int i = 0; i < h; ++i) p[i] = colour;
  }
  return 0;
}

void ClearBuffer(uint16_t* buffer, uint16_t colour) {
  // 32-bit stores holding the colour in both halves.
  const uint32_t pair = uint32_t(colour) | (uint32_t(colour) << 16);
  uint32_t words[64];
  for (uint32_t& w : words) w = pair;
  uint8_t* out = reinterpret_cast<uint8_t*>(buffer);
  const size_t total = size_t(FRAME_PIXELS) * 2;
  for (size_t at = 0; at < total; at += sizeof words) std::memcpy(out + at, words, sizeof words);
}

Video::Video() : surfaces{}, current(0), font(nullptr) {
  GpGraphicModeSet(16, nullptr);
  for (int i = 0; i < 2; ++i) {
    GpSurfaceGet(&surfaces[i], i);
    GpRectFill(nullptr, &surfaces[i], 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0);
  }
  GpSurfaceShow(&surfaces[0]);
  font = nullptr;
  current = 1;
}

void Video::Flip() {
  GpSurfaceFlip(&surfaces[current]);
  current = 1 - current;
}

void Video::ShowFront() { GpSurfaceShow(&surfaces[1 - current]); }

uint16_t* Video::CopyBuffer(int direction) {
  uint16_t* back = surfaces[current].buffer;
  uint16_t* front = surfaces[1 - current].buffer;
  const size_t bytes = size_t(surfaces[current].width) * size_t(surfaces[current].height) * 2;
  uint16_t* dst = direction == 0 ? back : front;
  const uint16_t* src = direction == 0 ? front : back;
  if (dst && src) std::memmove(dst, src, bytes);
  return dst;
}

int Video::DrawWindow(int x, int y, int w, int h, uint16_t fill, const char* title, int,
                      uint16_t* target) {
  if (x == -1) x = (SCREEN_WIDTH - w) / 2;
  if (y == -1) y = (SCREEN_HEIGHT - h) / 2;
  uint16_t* buf = target ? target : BackBuffer();
  for (int cx = x; cx < x + w; ++cx) {
    if (cx < 0 || cx >= SCREEN_WIDTH) continue;
    for (int cy = y; cy < y + h; ++cy) {
      if (cy >= 0 && cy < SCREEN_HEIGHT) buf[PixelIndex(cx, cy)] = fill;
    }
  }
  TintRow(buf, y, x, x + w - 2, TintStrongLighten);
  TintColumn(buf, x, y + 1, y + 14, TintStrongLighten);
  TintRow(buf, y + 15, x, x + w - 1, TintDarken63);
  TintColumn(buf, x + w - 1, y, y + 14, TintDarken63);
  TintRow(buf, y + 1, x, x + w - 2, TintSoftLighten);
  TintColumn(buf, x, y + 2, y + 13, TintSoftLighten);
  TintRow(buf, y + 14, x, x + w - 1, TintDarken127);
  TintColumn(buf, x + w - 1, y + 1, y + 13, TintDarken127);
  if (title) DrawStringOutlined(x + 5, y + 3, title, 0, font, uint32_t(0xFFC0) << 16, 0x0000, buf);
  TintRow(buf, y + 16, x, x + w - 2, TintSoftLighten);
  TintColumn(buf, x, y + 17, y + h - 2, TintSoftLighten);
  TintRow(buf, y + h - 1, x, x + w - 1, TintDarken127);
  TintColumn(buf, x + w - 1, y + 16, y + h - 2, TintDarken127);
  DrawShadow(x, y, w, h, buf);
  return y + 18;
}

void Video::DrawShadow(int x, int y, int w, int h, uint16_t* target) {
  uint16_t* buf = target ? target : BackBuffer();
  TintColumn(buf, x + w, y + 1, y + h - 1, TintDarken127);
  TintRow(buf, y + h, x + 1, x + w, TintDarken127);
  TintColumn(buf, x + w + 1, y + 2, y + h, TintDarken191);
  TintRow(buf, y + h + 1, x + 2, x + w + 1, TintDarken191);
  TintColumn(buf, x + w + 2, y + 3, y + h + 1, TintDarken223);
  TintRow(buf, y + h + 2, x + 3, x + w + 2, TintDarken223);
}
