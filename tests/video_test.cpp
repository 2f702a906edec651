// Frame-buffer layout, tints, windows and the flip/show/copy protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "harness.h"
#include "platform/video.h"

namespace {

uint16_t Channels(int r, int g, int b) { return uint16_t(r << 11 | g << 6 | b); }

TEST(Video, PixelAddressesFollowTheColumnLayout) {
  EXPECT_EQ(PixelIndex(0, 0), 239);
  EXPECT_EQ(PixelIndex(0, 239), 0);
  EXPECT_EQ(PixelIndex(319, 0), 76799);
  EXPECT_EQ(PixelIndex(1, 239), 240);
  EXPECT_EQ(PixelIndex(5, 10) - PixelIndex(5, 11), 1);
  StartTestPlatform();
  EXPECT_EQ(GpFrameBuffer(1), GpFrameBuffer(0) + FRAME_PIXELS);
}

TEST(Video, TintsWorkOnFiveBitChannelsAndClearTheLowGreenBit) {
  struct Case {
    uint16_t (*fn)(uint16_t);
    int mul, add;
  } cases[] = {{TintStrongLighten, 63, 5952}, {TintSoftLighten, 127, 3968}, {TintDarken63, 63, 0},
               {TintDarken127, 127, 0},      {TintDarken191, 191, 0},      {TintDarken223, 223, 0}};
  for (const Case& c : cases) {
    for (int v = 0; v < 32; ++v) {
      const int want = (v * c.mul + c.add) >> 8;
      // Each channel on its own, the others at 0 and at 31, and the low green bit set.
      EXPECT_EQ(c.fn(Channels(v, 0, 0)) >> 11, want) << v;
      EXPECT_EQ((c.fn(Channels(0, v, 0) | 0x20) >> 6) & 31, want) << v;
      EXPECT_EQ(c.fn(Channels(v, 0, 0)) & 0x7FF, c.fn(0) & 0x7FF) << v;
      EXPECT_EQ(c.fn(Channels(31, 31, v)) & 31, want) << v;
      EXPECT_EQ(c.fn(uint16_t(Channels(v, v, v) | 0x20)) & 0x20, 0);
    }
  }
  EXPECT_EQ(TintDarken127(0xFFFF), 0x7BCF);
  EXPECT_EQ(TintStrongLighten(0) >> 11, 23);
  EXPECT_EQ(TintSoftLighten(0xFFFF) & 31, 30);
  EXPECT_EQ(TintDarken191(0xFFFF) & 31, 23);
  EXPECT_EQ(TintDarken223(0xFFFF) & 31, 27);
}

TEST(Video, RectFillAndClear) {
  StartTestPlatform();
  DrawSurface s;
  ASSERT_EQ(GpSurfaceGet(&s, 0), 0);
  EXPECT_EQ(s.width, 320);
  EXPECT_EQ(s.height, 240);
  EXPECT_EQ(s.bpp, 16);
  EXPECT_EQ(s.index, 0);
  ClearBuffer(s.buffer, 0x1234);
  for (int i = 0; i < FRAME_PIXELS; ++i) ASSERT_EQ(s.buffer[i], 0x1234) << i;
  // Buffer coordinates count y from the bottom row.
  EXPECT_EQ(GpRectFill(nullptr, &s, 2, 3, 4, 5, 0xAAAA), 0);
  EXPECT_EQ(s.buffer[2 * 240 + 3], 0xAAAA);
  EXPECT_EQ(s.buffer[5 * 240 + 7], 0xAAAA);
  EXPECT_EQ(s.buffer[5 * 240 + 8], 0x1234);
  EXPECT_EQ(s.buffer[6 * 240 + 3], 0x1234);
  EXPECT_EQ(GpRectFill(nullptr, &s, 0, 0, 321, 1, 0), -1);
  EXPECT_EQ(GpRectFill(nullptr, &s, 319, 0, 2, 1, 0), -1);
  EXPECT_EQ(GpRectFill(nullptr, &s, 0, 239, 1, 2, 0), -1);
  EXPECT_EQ(GpRectFill(nullptr, &s, -1, 0, 1, 1, 0), -1);
  EXPECT_EQ(GpRectFill(nullptr, nullptr, 0, 0, 1, 1, 0), -1);
  EXPECT_EQ(GpRectFill(nullptr, &s, 0, 0, 320, 240, 0), 0);
}

TEST(Video, FlipShowsTheBackBufferAndSwaps) {
  StartTestPlatform();
  Video& v = *g_video;
  v.current = 1;
  uint16_t* b0 = GpFrameBuffer(0);
  uint16_t* b1 = GpFrameBuffer(1);
  ClearBuffer(b0, 0x0001);
  ClearBuffer(b1, 0x0002);
  v.Flip();
  EXPECT_EQ(GpLastShown(), b1);
  EXPECT_EQ(v.current, 0);
  std::vector<uint16_t> screen(FRAME_PIXELS);
  ASSERT_TRUE(GpReadScreen(screen.data()));
  EXPECT_EQ(screen[0], 0x0002);
  v.Flip();
  EXPECT_EQ(GpLastShown(), b0);
  EXPECT_EQ(v.current, 1);
  // ShowFront shows the frame last shown again and changes nothing.
  uint32_t shows = GpShowCount();
  v.ShowFront();
  EXPECT_EQ(GpLastShown(), b0);
  EXPECT_EQ(v.current, 1);
  EXPECT_EQ(GpShowCount(), shows + 1);
  // Direction 1 copies the back buffer over the front one, 0 the other way.
  EXPECT_EQ(v.CopyBuffer(1), b0);
  EXPECT_EQ(b0[100], 0x0002);
  ClearBuffer(b0, 0x0003);
  EXPECT_EQ(v.CopyBuffer(0), b1);
  EXPECT_EQ(b1[76799], 0x0003);
}

TEST(Video, PresentMapsColumnsToScreenRows) {
  StartTestPlatform();
  uint16_t* b = g_video->BackBuffer();
  ClearBuffer(b, 0);
  b[PixelIndex(0, 0)] = 0xF800;
  b[PixelIndex(319, 0)] = 0x07E0;
  b[PixelIndex(0, 239)] = 0x001F;
  b[PixelIndex(10, 20)] = 0xFFFF;
  g_video->Flip();
  std::vector<uint16_t> screen(FRAME_PIXELS);
  ASSERT_TRUE(GpReadScreen(screen.data()));
  EXPECT_EQ(screen[0], 0xF800);
  EXPECT_EQ(screen[319], 0x07E0);
  EXPECT_EQ(screen[239 * 320], 0x001F);
  EXPECT_EQ(screen[20 * 320 + 10], 0xFFFF);
  EXPECT_EQ(screen[20 * 320 + 11], 0);
  // Every pixel its own value, from both buffers (shown in blocks) and from a
  // frame off the word boundary (shown a pair at a time): each lands on its
  // own screen pixel, rows and columns in pairs or not.
  std::vector<uint16_t> unaligned(FRAME_PIXELS + 2);
  for (int pass = 0; pass < 3; ++pass) {
    DrawSurface odd = {};
    odd.buffer = unaligned.data() + (reinterpret_cast<uintptr_t>(unaligned.data()) & 2 ? 0 : 1);
    uint16_t* frame = pass < 2 ? g_video->BackBuffer() : odd.buffer;
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      for (int y = 0; y < SCREEN_HEIGHT; ++y) {
        frame[PixelIndex(x, y)] = uint16_t(x * 241 + y * 7 + pass);
      }
    }
    if (pass < 2) {
      g_video->Flip();
    } else {
      GpSurfaceShow(&odd);
    }
    ASSERT_TRUE(GpReadScreen(screen.data()));
    int wrong = 0;
    for (int y = 0; y < SCREEN_HEIGHT; ++y) {
      for (int x = 0; x < SCREEN_WIDTH; ++x) {
        wrong += screen[y * SCREEN_WIDTH + x] != uint16_t(x * 241 + y * 7 + pass);
      }
    }
    EXPECT_EQ(wrong, 0) << pass;
  }
}

TEST(Video, ConstructorLeavesBothBuffersBlackAndCurrentOne) {
  StartTestPlatform();
  ClearBuffer(GpFrameBuffer(0), 0x5555);
  ClearBuffer(GpFrameBuffer(1), 0x5555);
  Video fresh;
  EXPECT_EQ(fresh.current, 1);
  EXPECT_EQ(fresh.font, nullptr);
  EXPECT_EQ(GpLastShown(), GpFrameBuffer(0));
  for (int i = 0; i < 2 * FRAME_PIXELS; i += 997) ASSERT_EQ(GpFrameBuffer(0)[i], 0);
}

TEST(Video, WindowGeometryCentringAndReturnValue) {
  StartTestPlatform();
  uint16_t* b = g_video->BackBuffer();
  ClearBuffer(b, 0xFFFF);
  const uint16_t fill = 0x0290;
  EXPECT_EQ(g_video->DrawWindow(-1, -1, 200, 100, fill, nullptr, 0, b), 88);
  // Centred at (60, 70). Title bar bevel, content bevel, interior.
  const int x = 60, y = 70, w = 200, h = 100;
  EXPECT_EQ(b[PixelIndex(x - 1, y + 50)], 0xFFFF);
  EXPECT_EQ(b[PixelIndex(x + 1, y)], TintStrongLighten(fill));
  EXPECT_EQ(b[PixelIndex(x + 1, y + 1)], TintSoftLighten(fill));
  EXPECT_EQ(b[PixelIndex(x, y + 5)], TintSoftLighten(TintStrongLighten(fill)));
  EXPECT_EQ(b[PixelIndex(x, y + 14)], TintDarken127(TintStrongLighten(fill)));
  EXPECT_EQ(b[PixelIndex(x + 50, y + 15)], TintDarken63(fill));
  EXPECT_EQ(b[PixelIndex(x + 50, y + 14)], TintDarken127(fill));
  EXPECT_EQ(b[PixelIndex(x + w - 1, y + 5)], TintDarken127(TintDarken63(fill)));
  EXPECT_EQ(b[PixelIndex(x + 50, y + 16)], TintSoftLighten(fill));
  EXPECT_EQ(b[PixelIndex(x + 50, y + 50)], fill);
  EXPECT_EQ(b[PixelIndex(x + 50, y + h - 1)], TintDarken127(fill));
  // Shadow: three layers right and below, the last one outside row y+h+2.
  EXPECT_EQ(b[PixelIndex(x + w, y + 50)], TintDarken127(0xFFFF));
  EXPECT_EQ(b[PixelIndex(x + w + 1, y + 50)], TintDarken191(0xFFFF));
  EXPECT_EQ(b[PixelIndex(x + w + 2, y + 50)], TintDarken223(0xFFFF));
  EXPECT_EQ(b[PixelIndex(x + w + 3, y + 50)], 0xFFFF);
  EXPECT_EQ(b[PixelIndex(x + 50, y + h + 2)], TintDarken223(0xFFFF));
  EXPECT_EQ(b[PixelIndex(x, y + h)], 0xFFFF);
  // A null target draws into the back buffer.
  ClearBuffer(g_video->BackBuffer(), 0);
  EXPECT_EQ(g_video->DrawWindow(10, 20, 50, 30, 0x0018, nullptr, 1, nullptr), 38);
  EXPECT_EQ(g_video->BackBuffer()[PixelIndex(30, 40)], 0x0018);
}

TEST(Video, WindowsPartlyOffScreenStayInsideTheBuffer) {
  StartTestPlatform();
  // A stray write outside the buffer shows in the sanitizer build.
  uint16_t* b = g_video->BackBuffer();
  ClearBuffer(b, 0);
  g_video->DrawWindow(300, 230, 100, 60, 0x1111, "x", 0, b);
  g_video->DrawWindow(-50, -40, 80, 60, 0x2222, "y", 0, b);
  EXPECT_EQ(b[PixelIndex(317, 239)], 0x1111);
  EXPECT_EQ(b[PixelIndex(10, 10)], 0x2222);
}

}  // namespace
