// Placeholder for interface text until the fonts land: nothing is drawn.
#include "platform/video.h"

void Video::SetStandardFont(const BitmapFont* f) { font = f; }
int Video::DrawChar(const BitmapFont*, int x, int, uint8_t, uint32_t, uint16_t*) { return x; }
int Video::DrawString(int x, int, const char*, int, const BitmapFont*, uint32_t, uint16_t*) {
  return x;
}
int Video::DrawStringOutlined(int x, int, const char*, int, const BitmapFont*, uint32_t, uint16_t,
                              uint16_t*) {
  return x;
}
