// The Text object: creation, release and the information text shown by the
// menu's "Info about current text" box. Layout, drawing and loading live in
// their own files.
#include "document/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "document/load.h"
#include "platform/settings.h"

Text* g_text = nullptr;
uint32_t g_textRevision = 0;

Text* CreateText(int32_t width) {
  Text* text = new (std::nothrow) Text();
  if (text) text->width = width;
  return text;
}

void ClearTextContents(Text* text) {
  if (!text) return;
  ++g_textRevision;
  std::free(text->text);
  std::free(text->lines);
  text->text = nullptr;
  text->lines = nullptr;
  text->lineCount = 0;
}

void SetTextName(Text* text, const char* name) {
  if (!text) return;
  if (!name) name = "";
  size_t length = std::strlen(name);
  if (length >= sizeof text->name) {
    const char* slash = std::strchr(name + length - (sizeof text->name - 1), '/');
    if (slash) name = slash;
    length = std::min(std::strlen(name), sizeof text->name - 1);
  }
  std::memcpy(text->name, name, length);
  text->name[length] = 0;
}

void ReleaseText(Text* text) {
  ClearTextContents(text);
  delete text;
}

int32_t DocumentHeight(const Text* text) {
  if (!text || text->lineCount <= 0 || !text->lines) return 0;
  const LineRecord& last = text->lines[text->lineCount - 1];
  return last.y + last.height;
}

void TextInfo(const Text* text, char* out, size_t size) {
  if (!out || size == 0) return;
  long lines = 0;
  long height = 0;
  int characters = 0;
  const char* name = "";
  if (text) {
    if (text->lineCount > 0 && text->lines && text->lines[0].start) {
      lines = text->lineCount;
      height = DocumentHeight(text);
      characters = int(std::strlen(text->lines[0].start));
    }
    name = TrimSdPath(text->name);
  }
  const char* format = g_settings.language == 1
                           ? "Nombre: %s\nLineas: %ld (%ld pixs)\nCaracteres: %d"
                           : "Name: %s\nLines: %ld (%ld pixs)\nCharacters: %d";
  std::snprintf(out, size, format, name, lines, height, characters);
}
