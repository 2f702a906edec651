// Frame buffers and drawing primitives of the console platform: two off-screen
// buffers in the console's column-major layout, presented to the SDL screen.
// Used by every drawing module (page rendering, fonts, menus and dialogs).
#pragma once

#include <cstdint>

struct BitmapFont;

constexpr int SCREEN_WIDTH = 320;
constexpr int SCREEN_HEIGHT = 240;
constexpr int FRAME_PIXELS = SCREEN_WIDTH * SCREEN_HEIGHT;

// Word index of screen pixel (x, y): columns are contiguous, bottom row first.
constexpr int PixelIndex(int x, int y) { return x * SCREEN_HEIGHT + (SCREEN_HEIGHT - 1 - y); }

struct DrawSurface {
  uint16_t* buffer;
  int32_t bpp;
  int32_t width;
  int32_t height;
  int32_t originX;
  int32_t originY;
  int32_t index;
};

// Tints on three 5-bit channels; the lowest green bit of the result is 0.
uint16_t TintStrongLighten(uint16_t c);
uint16_t TintSoftLighten(uint16_t c);
uint16_t TintDarken63(uint16_t c);
uint16_t TintDarken127(uint16_t c);
uint16_t TintDarken191(uint16_t c);
uint16_t TintDarken223(uint16_t c);

// Starts SDL with video and joystick. A second call prints "GpVideo ya iniciado"
// and ends the program with status 1; an SDL failure ends it with status 1.
void GpVideoInit();
// Closes the joystick and SDL; harmless when not started (also runs at exit).
void GpVideoDone();
// Opens the 320 x 240 x 16 screen and the joystick: 2 on success, 0 on failure.
int GpGraphicModeSet(int bpp, const void* palette);
// Fills the record for buffer 0 or 1: 0 on success, 2 when not initialised.
int GpSurfaceGet(DrawSurface* surface, int index);
// Converts the buffer to the SDL screen and updates it. Waits until at least
// 1/60 s has passed since the previous show (on the replaceable clock).
void GpSurfaceShow(const DrawSurface* surface);
void GpSurfaceFlip(const DrawSurface* surface);
// Fills a rectangle in buffer coordinates (y counted from the bottom row):
// 0 when drawn, -1 when refused (outside the buffer or platform not started).
int GpRectFill(const void* clip, const DrawSurface* surface, int x, int y, int w, int h,
               uint16_t colour);
// Sets all 76,800 pixels of a buffer.
void ClearBuffer(uint16_t* buffer, uint16_t colour);

// True between GpVideoInit and GpVideoDone.
bool GpVideoStarted();
// The two frame buffers (one static block, buffer 1 right after buffer 0).
uint16_t* GpFrameBuffer(int index);
// Number of presents so far and the buffer last presented (null before any),
// for tests that check what reached the screen.
uint32_t GpShowCount();
const uint16_t* GpLastShown();
// Copies the SDL screen (row-major RGB565, 320 x 240) into out; false without one.
bool GpReadScreen(uint16_t* out);

struct Video {
  DrawSurface surfaces[2];
  int32_t current;
  const BitmapFont* font;

  Video();
  ~Video() = default;

  uint16_t* BackBuffer() { return surfaces[current].buffer; }
  uint16_t* FrontBuffer() { return surfaces[1 - current].buffer; }

  // Shows the back buffer, then the other buffer becomes the back buffer.
  void Flip();
  // Shows the front buffer again; current is unchanged.
  void ShowFront();
  // Direction 0: front into back; any other: back into front. Returns the destination.
  uint16_t* CopyBuffer(int direction);
  // Framed window with title bar and drop shadow; x or y of -1 centres it; a null
  // target draws into the back buffer. Returns the first content row, y + 18.
  // Pixels that fall outside the buffer are skipped.
  int DrawWindow(int x, int y, int w, int h, uint16_t fill, const char* title, int reserved,
                 uint16_t* target);
  // Darkens a three-pixel drop shadow right of and below the rectangle.
  void DrawShadow(int x, int y, int w, int h, uint16_t* target);

  // Interface text (fonts module).
  void SetStandardFont(const BitmapFont* f);
  int DrawChar(const BitmapFont* f, int x, int y, uint8_t c, uint32_t attribute, uint16_t* target);
  int DrawString(int x, int y, const char* text, int reserved, const BitmapFont* f,
                 uint32_t attribute, uint16_t* target);
  int DrawStringOutlined(int x, int y, const char* text, int reserved, const BitmapFont* f,
                         uint32_t attribute, uint16_t outline, uint16_t* target);
};

// The one Video object, created at start-up; null before.
extern Video* g_video;
