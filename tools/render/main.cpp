// quillo-render: the page renderer. Loads a document through LoadFromFile as
// the reader does (or the built-in introduction), lays it out at a zoom level
// and writes the screen ScrollText draws at a position as a BMP; it can also
// print the formatted text with its codes as markers and the line table.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "app/intro.h"
#include "document/dump.h"
#include "document/layout.h"
#include "document/load.h"
#include "document/render.h"
#include "document/text.h"
#include "importers/load.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/settings.h"
#include "platform/trace.h"
#include "platform/video.h"
#include "zip/archive.h"
#include "zip/archive_load.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: quillo-render [options] (FILE | ARCHIVE.zip#INDEX | ARCHIVE.zip#NAME | --intro)\n"
               "  -o FILE.bmp     write the screen at the position as a BMP\n"
               "  -p PIXELS       reading position (default 0; clamped as the reader does)\n"
               "  -z LEVEL        zoom level 0, 1 or 2 (default 0)\n"
               "  --scroll N      then N steps of one pixel down, each drawn and shown\n"
               "  --paper RGB565  paper colour, for example 0xFFD8 (default: the reader's)\n"
               "  --pages         page numbers in the title bar (default: progress bar)\n"
               "  --no-title      hide the title bar\n"
               "  --codes         print the formatted text with codes as markers\n"
               "  --lines         print the line table\n"
               "  --utf8          print code page 1252 letters as UTF-8\n"
               "  --info          print the text information\n"
               "  --window        open a real window instead of SDL's dummy driver\n");
}

bool WriteBmp(const char* path, const uint16_t* frame) {
  const int rowBytes = SCREEN_WIDTH * 3;
  const uint32_t dataSize = uint32_t(rowBytes * SCREEN_HEIGHT);
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = uint8_t(v >> (8 * i));
  };
  put32(2, 54 + dataSize);
  put32(10, 54);
  put32(14, 40);
  put32(18, SCREEN_WIDTH);
  put32(22, SCREEN_HEIGHT);  // positive height: bottom row first
  header[26] = 1;
  header[28] = 24;
  put32(34, dataSize);
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
  uint8_t row[SCREEN_WIDTH * 3];
  for (int y = SCREEN_HEIGHT - 1; y >= 0 && ok; --y) {
    for (int x = 0; x < SCREEN_WIDTH; ++x) {
      const uint16_t c = frame[PixelIndex(x, y)];
      row[x * 3 + 0] = uint8_t((c & 31) << 3 | (c & 31) >> 2);
      row[x * 3 + 1] = uint8_t(((c >> 5) & 63) << 2 | ((c >> 5) & 63) >> 4);
      row[x * 3 + 2] = uint8_t((c >> 11) << 3 | (c >> 11) >> 2);
    }
    ok = std::fwrite(row, 1, sizeof row, f) == sizeof row;
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const char* input = nullptr;
  const char* output = nullptr;
  bool intro = false;
  bool codes = false;
  bool lines = false;
  bool utf8 = false;
  bool info = false;
  bool window = false;
  bool pages = false;
  bool noTitle = false;
  long position = 0;
  long scroll = 0;
  long zoom = 0;
  long paper = -1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (a == "-p" && i + 1 < argc) {
      position = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "--scroll" && i + 1 < argc) {
      scroll = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "-z" && i + 1 < argc) {
      zoom = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "--paper" && i + 1 < argc) {
      paper = std::strtol(argv[++i], nullptr, 0);
      if (paper < 0 || paper > 0xFFFF) {
        Usage();
        return 2;
      }
    } else if (a == "--intro") {
      intro = true;
    } else if (a == "--codes") {
      codes = true;
    } else if (a == "--lines") {
      lines = true;
    } else if (a == "--utf8") {
      utf8 = true;
    } else if (a == "--info") {
      info = true;
    } else if (a == "--window") {
      window = true;
    } else if (a == "--pages") {
      pages = true;
    } else if (a == "--no-title") {
      noTitle = true;
    } else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] != '-' && !input) {
      input = argv[i];
    } else {
      Usage();
      return 2;
    }
  }
  if (!input && !intro) {
    Usage();
    return 2;
  }

  // Without a display the platform runs on SDL's dummy driver; the reader
  // itself never chooses a driver.
  if (!window) setenv("SDL_VIDEODRIVER", "dummy", 1);
  // Standard output is for the text this tool prints: the program's traces
  // (and what a message box says) go to standard error.
  GpSetTraceStream(stderr);
  GpFatInit();
  GpUseVirtualClock(true);
  // No one presses a key here: a message box is answered at once, and the
  // polls it took tell that one was shown.
  GpSetKeyScript({{KEY_ACCEPT, INT_MAX}});
  GpVideoInit();
  g_video = new Video();
  InitFonts();
  g_standardFont = &FontSmall;
  g_video->SetStandardFont(g_standardFont);
  RecomputeInterfaceColour();
  g_settings.zoomLevel = uint16_t(zoom);
  if (paper >= 0) g_settings.paperColour = uint16_t(paper);
  g_settings.titleBarShown = noTitle ? 0 : 1;
  g_settings.progressStyle = pages ? 0 : 1;
  g_text = CreateText(TEXT_LAYOUT_WIDTH);
  if (!g_text) return 1;
  SelectZoomFont();

  if (!intro && NameHasExtension(input, "zip") && GpPathExists(input)) {
    // An archive without "#" and an entry: list what it holds.
    ZipArchive* archive = ArchiveOpen(input);
    if (!archive) {
      std::fprintf(stderr, "quillo-render: cannot open archive %s\n", input);
      return 1;
    }
    std::fprintf(stderr, "quillo-render: %s is an archive; name an entry as %s#INDEX or %s#NAME\n",
                 input, input, input);
    uint32_t index = 0;
    for (int r = ArchiveFirstEntry(archive); r == ZIP_OK; r = ArchiveNextEntry(archive), ++index) {
      ZipEntryInfo entry;
      char name[257];
      if (ArchiveEntryInfo(archive, &entry, name, 256) != ZIP_OK) break;
      name[256] = 0;
      std::printf("%5lu %10lu %s\n", static_cast<unsigned long>(index),
                  static_cast<unsigned long>(entry.uncompressedSize), name);
    }
    ArchiveClose(archive);
    return GpKeyScriptPolls() > 0 ? 2 : 0;
  }
  if (intro) {
    LoadIntroduction(g_text);
  } else if (!LoadFileOrArchiveEntry(g_text, input) && GpKeyScriptPolls() == 0) {
    // A document refused with a message goes on as the empty page it leaves
    // (status 2); one that could not be read at all ends here.
    std::fprintf(stderr, "quillo-render: cannot read %s\n", input);
    return 1;
  }

  if (codes) std::fputs(DescribeFormatted(g_text->text, utf8).c_str(), stdout);
  if (codes && lines) std::fputs("\n", stdout);
  if (lines) std::fputs(DescribeLines(g_text, utf8).c_str(), stdout);
  if (info) {
    char text[512];
    TextInfo(g_text, text, sizeof text);
    std::printf("%s\n", text);
  }
  int32_t at = int32_t(position);
  // What the reader does for each pixel of the line-down key: draw the lines
  // and the title bar into the back buffer and show it.
  for (long step = 0; step < scroll; ++step) at = ScrollText(at, 1, g_video->BackBuffer(), true);
  if (output) {
    uint16_t* frame = g_video->BackBuffer();
    at = ScrollText(at, 0, frame, false);
    if (!WriteBmp(output, frame)) {
      std::fprintf(stderr, "quillo-render: cannot write %s\n", output);
      return 1;
    }
    std::fprintf(stderr, "quillo-render: %s at position %ld of %ld, %ld lines\n", output,
                 long(at), long(DocumentHeight(g_text)), long(g_text->lineCount));
  }
  ReleaseText(g_text);
  g_text = nullptr;
  std::fflush(stdout);
  // A message box shown on the way (a failed or partial import) makes the
  // run a failure, after everything asked for was written.
  return GpKeyScriptPolls() > 0 ? 2 : 0;
}
