// Font generator: renders the four faces of a sans-serif family with FreeType
// into the run-length glyph format of the reader's bitmap fonts and writes the
// three generated sources src/platform/generated/font_{small,medium,large}_data.cpp.
// Run by scripts/make-fonts.sh; the normal build never needs it.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int FACES = 4;
constexpr int FIRST = 0x21;
constexpr int PER_FACE = 223;

// Code page 1252 bytes 0x80..0x9F as Unicode; 0 marks the five unassigned bytes.
const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

unsigned UnicodeOf(int byte) {
  if (byte == 0x7F) return 0;  // DEL has no character either
  if (byte >= 0x80 && byte < 0xA0) return CP1252_HIGH[byte - 0x80];
  return unsigned(byte);
}

struct FontConfig {
  const char* name;      // Small, Medium, Large
  const char* file;      // output file stem
  int pixelSize;
  int ascent;
  int descent;
  int spaceWidth[FACES];
  int faceExtent[FACES];
  int maxRows;           // tallest glyph allowed
  int placeholderWidth;  // box drawn for unassigned bytes
};

const FontConfig CONFIGS[] = {
    {"Small", "font_small_data", 11, 8, -2, {5, 6, 5, 6}, {15, 16, 15, 18}, 13, 5},
    {"Medium", "font_medium_data", 12, 9, -3, {5, 6, 5, 6}, {16, 18, 17, 19}, 14, 6},
    {"Large", "font_large_data", 14, 10, -3, {6, 7, 6, 7}, {17, 19, 18, 21}, 15, 6},
};

// Files of the four faces, in face order: regular, bold, italic, bold italic.
const char* const FACE_FILES[FACES] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                       "DejaVuSans-Oblique.ttf", "DejaVuSans-BoldOblique.ttf"};

struct Glyph {
  int rows = 0, top = 0, advance = 0, adjust = 0, ink = 0;
  std::vector<int8_t> data;
};

// Coverage grid of one glyph: width x height, 0..64, origin at the pen's x.
struct Grid {
  int width = 0, height = 0, top = 0;
  std::vector<int> v;
  int& at(int x, int y) { return v[size_t(y * width + x)]; }
};

void Encode(Grid& g, Glyph* out) {
  out->data.clear();
  out->rows = g.height;
  out->top = g.top;
  int ink = 0;
  for (int y = 0; y < g.height; ++y) {
    int last = -1;
    for (int x = 0; x < g.width; ++x) {
      if (g.at(x, y) > 0) last = x;
    }
    int skip = 0;
    for (int x = 0; x <= last; ++x) {
      const int v = g.at(x, y);
      if (v == 0) {
        ++skip;
        continue;
      }
      while (skip > 0) {
        const int n = std::min(skip, 127);
        out->data.push_back(int8_t(-n));
        skip -= n;
      }
      out->data.push_back(int8_t(v));
    }
    ink = std::max(ink, last + 1);
    out->data.push_back(0);
  }
  out->ink = ink;
}

// Cuts rows that hold no coverage off the top and bottom of the grid.
void TrimRows(Grid& g) {
  auto rowEmpty = [&](int y) {
    for (int x = 0; x < g.width; ++x) {
      if (g.at(x, y)) return false;
    }
    return true;
  };
  int first = 0, last = g.height - 1;
  while (first <= last && rowEmpty(first)) ++first;
  while (last >= first && rowEmpty(last)) --last;
  Grid t;
  t.width = g.width;
  t.height = last >= first ? last - first + 1 : 0;
  t.top = g.top - first;
  t.v.assign(size_t(t.width * t.height), 0);
  for (int y = 0; y < t.height; ++y) {
    for (int x = 0; x < t.width; ++x) t.at(x, y) = g.at(x, first + y);
  }
  g = t;
}

// A hollow box from the baseline to the cap height for bytes with no character.
Glyph Placeholder(const FontConfig& cfg) {
  Grid g;
  g.width = cfg.placeholderWidth + 1;
  g.height = cfg.ascent;
  g.top = cfg.ascent;
  g.v.assign(size_t(g.width * g.height), 0);
  for (int y = 0; y < g.height; ++y) {
    for (int x = 1; x < g.width; ++x) {
      if (y == 0 || y == g.height - 1 || x == 1 || x == g.width - 1) g.at(x, y) = 64;
    }
  }
  Glyph out;
  Encode(g, &out);
  out.advance = cfg.placeholderWidth + 2;
  return out;
}

bool Render(FT_Face face, const FontConfig& cfg, int faceIndex, unsigned code, Glyph* out,
            int loadFlags) {
  const FT_UInt index = FT_Get_Char_Index(face, code);
  if (index == 0) {
    std::fprintf(stderr, "%s face %d: no glyph for U+%04X\n", cfg.name, faceIndex, code);
    return false;
  }
  if (FT_Load_Glyph(face, index, loadFlags) || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL)) {
    std::fprintf(stderr, "%s face %d: cannot render U+%04X\n", cfg.name, faceIndex, code);
    return false;
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  // Rows start at the pen's x, so ink left of the pen is moved onto it.
  const int left = std::max(0, int(slot->bitmap_left));
  Grid g;
  g.width = left + int(bm.width);
  g.height = int(bm.rows);
  g.top = slot->bitmap_top;
  g.v.assign(size_t(std::max(0, g.width * g.height)), 0);
  for (int y = 0; y < g.height; ++y) {
    const uint8_t* src = bm.buffer + y * bm.pitch;
    for (int x = 0; x < int(bm.width); ++x) {
      // 8-bit coverage to the fonts' scale, where 64 is full.
      g.at(left + x, y) = (src[x] * 64 + 127) / 255;
    }
  }
  TrimRows(g);
  // Nothing may reach more than 3 rows below the baseline: a flat glyph such
  // as the underscore moves up, a tall one loses its lowest rows.
  int below = g.height - g.top;
  if (below > 3 && g.height <= 3) {
    g.top += below - 3;
    below = 3;
  }
  if (below > 3) {
    std::fprintf(stderr, "%s face %d U+%04X: %d rows below the baseline cut\n", cfg.name,
                 faceIndex, code, below - 3);
    g.height -= below - 3;
    g.v.resize(size_t(g.width * g.height));
  }
  if (g.height > cfg.maxRows) {
    const int cut = g.height - cfg.maxRows;
    std::fprintf(stderr, "%s face %d U+%04X: %d top rows cut\n", cfg.name, faceIndex, code, cut);
    g.v.erase(g.v.begin(), g.v.begin() + cut * g.width);
    g.height -= cut;
    g.top -= cut;
  }
  Encode(g, out);
  out->advance = int((slot->advance.x + 32) >> 6);
  // Italic ink that reaches more than a pixel past the advance widens the
  // document advance, so neighbouring glyphs do not run into each other.
  const int overhang = out->ink - 1 - out->advance;
  out->adjust = (faceIndex >= 2 && overhang > 0) ? -overhang : 0;
  return true;
}

void WriteTable16(FILE* f, const char* name, const std::vector<int>& values) {
  std::fprintf(f, "const int16_t %s[%zu] = {", name, values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    std::fprintf(f, "%s%d,", i % 16 == 0 ? "\n    " : " ", values[i]);
  }
  std::fprintf(f, "\n};\n\n");
}

bool WriteFont(const FontConfig& cfg, const std::vector<Glyph>& glyphs, const std::string& dir,
               const std::string& command) {
  const std::string path = dir + "/" + cfg.file + ".cpp";
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  std::fprintf(f,
               "// GENERATED by %s (tools/fontgen): do not edit.\n"
               "// Glyph tables of Font%s (DejaVu Sans, %d px, four faces; licence in\n"
               "// FONT-LICENSE.txt), filled into the record by InitFonts.\n"
               "#include \"platform/font_data.h\"\n\n"
               "namespace {\n\n",
               command.c_str(), cfg.name, cfg.pixelSize);
  std::vector<int> v;
  auto perFace = [&](const char* name, const int* values) {
    WriteTable16(f, name, std::vector<int>(values, values + FACES));
  };
  const int ascent[FACES] = {cfg.ascent, cfg.ascent, cfg.ascent, cfg.ascent};
  const int descent[FACES] = {cfg.descent, cfg.descent, cfg.descent, cfg.descent};
  perFace("ASCENT", ascent);
  perFace("DESCENT", descent);
  perFace("SPACE_WIDTH", cfg.spaceWidth);
  perFace("FACE_EXTENT", cfg.faceExtent);
  auto perGlyph = [&](const char* name, int Glyph::*field) {
    v.clear();
    for (const Glyph& g : glyphs) v.push_back(g.*field);
    WriteTable16(f, name, v);
  };
  perGlyph("INK_WIDTH", &Glyph::ink);
  perGlyph("ROWS", &Glyph::rows);
  perGlyph("ADVANCE_ADJUST", &Glyph::adjust);
  perGlyph("TOP", &Glyph::top);
  perGlyph("ADVANCE", &Glyph::advance);
  std::fprintf(f, "const int32_t ROW_DATA_OFFSET[%zu] = {", glyphs.size());
  size_t offset = 0;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    std::fprintf(f, "%s%zu,", i % 12 == 0 ? "\n    " : " ", offset);
    offset += glyphs[i].data.size();
  }
  std::fprintf(f, "\n};\n\n");
  std::fprintf(f, "const int8_t ROW_DATA[%zu] = {\n", offset);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const int face = int(i) / PER_FACE;
    const int byte = FIRST + int(i) % PER_FACE;
    std::fprintf(f, "    // face %d, 0x%02X\n   ", face, byte);
    for (int8_t b : glyphs[i].data) std::fprintf(f, " %d,", b);
    std::fprintf(f, "\n");
  }
  std::fprintf(f,
               "};\n\n"
               "}  // namespace\n\n"
               "void FillFont%s(BitmapFont* font) {\n"
               "  font->ascent = ASCENT;\n"
               "  font->descent = DESCENT;\n"
               "  font->spaceWidth = SPACE_WIDTH;\n"
               "  font->faceExtent = FACE_EXTENT;\n"
               "  font->inkWidth = INK_WIDTH;\n"
               "  font->rows = ROWS;\n"
               "  font->advanceAdjust = ADVANCE_ADJUST;\n"
               "  font->top = TOP;\n"
               "  font->advance = ADVANCE;\n"
               "  font->rowDataOffset = ROW_DATA_OFFSET;\n"
               "  font->rowData = ROW_DATA;\n"
               "}\n",
               cfg.name);
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fontgen <folder of the DejaVu fonts> <output folder>\n");
    return 2;
  }
  const std::string fontDir = argv[1];
  const std::string outDir = argv[2];
  const std::string command = "scripts/make-fonts.sh";
  // Bytecode hinting of the family, light target: crisp rows, natural widths.
  const int loadFlags = FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT;
  FT_Library lib;
  if (FT_Init_FreeType(&lib)) {
    std::fprintf(stderr, "cannot start FreeType\n");
    return 1;
  }
  int status = 0;
  for (const FontConfig& cfg : CONFIGS) {
    std::vector<Glyph> glyphs(size_t(FACES * PER_FACE));
    for (int faceIndex = 0; faceIndex < FACES; ++faceIndex) {
      FT_Face face;
      const std::string path = fontDir + "/" + FACE_FILES[faceIndex];
      if (FT_New_Face(lib, path.c_str(), 0, &face)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
      }
      FT_Set_Pixel_Sizes(face, 0, FT_UInt(cfg.pixelSize));
      for (int byte = FIRST; byte <= 0xFF; ++byte) {
        Glyph& g = glyphs[size_t(faceIndex * PER_FACE + byte - FIRST)];
        const unsigned code = UnicodeOf(byte);
        if (code == 0 || !Render(face, cfg, faceIndex, code, &g, loadFlags)) g = Placeholder(cfg);
      }
      FT_Done_Face(face);
    }
    if (!WriteFont(cfg, glyphs, outDir, command)) status = 1;
  }
  FT_Done_FreeType(lib);
  return status;
}
