// Font choice by zoom level for the document text. Called at start-up and by
// the menu's zoom commands (which then lay the text out again).
#include "document/layout.h"
#include "document/text.h"
#include "platform/font.h"
#include "platform/settings.h"

const BitmapFont* ZoomFont(int level) {
  switch (level) {
    case 0: return &FontSmall;
    case 1: return &FontMedium;
    case 2: return &FontLarge;
    default: return g_standardFont;
  }
}

void SelectZoomFont() {
  if (!g_text) return;
  const BitmapFont* font = ZoomFont(g_settings.zoomLevel);
  if (g_text->font != font) g_text->font = font;
}
