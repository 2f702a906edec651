// The content-stream interpreter of the PDF text extractor: tokenizes each
// page's content, keeps the graphics state (q Q cm) and the text state and
// matrices, draws form XObjects, and for every code that Tj, TJ, ' and "
// show records a glyph in page space for the text assembly. Called by
// ImportPdf through PdfExtractPages.
#include "pdf/content.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "pdf/assemble.h"
#include "pdf/fonts.h"

namespace {

// q nesting kept; deeper saves are counted so that their Q still match.
constexpr size_t kMaxSaves = 64;
// Forms drawn inside forms, at most this deep.
constexpr int kMaxFormDepth = 8;
// Operands kept between operators; past this the oldest half is dropped
// (no operator takes more than a few). Inside an array (TJ) far more are
// kept, up to kMaxArrayOperands, and the array's rest is dropped.
constexpr size_t kMaxOperands = 256;
constexpr size_t kMaxArrayOperands = 8192;
// String bytes kept for the operands; a longer string is dropped.
constexpr size_t kMaxArenaBytes = size_t(1) << 20;
// Content bytes interpreted for one page, forms counted each time they are
// drawn (plus kFormCost each): bounds a form drawn millions of times.
constexpr size_t kMaxPageWork = size_t(64) << 20;
constexpr size_t kFormCost = 64;
// Annotations drawn on one page.
constexpr size_t kMaxAnnotations = 4096;
// Decoded forms kept for the page, so that one drawn often is decoded once.
constexpr size_t kMaxCachedForms = 64;
constexpr size_t kMaxCachedFormBytes = size_t(8) << 20;
// A page's /Contents array: streams read, and their joined size. Half a
// stream's limit, since the stream being joined is held beside the page.
constexpr size_t kMaxContentStreams = 10000;
constexpr size_t kMaxPageContent = FLATE_MAX_OUTPUT / 2;
// Page-tree levels climbed for an inherited /Rotate or /MediaBox.
constexpr int kMaxParents = 64;
// Tokens read for an inline image's dictionary before "ID" is given up on.
constexpr int kMaxInlineImageTokens = 256;
// Buffers that grew past these for one large page are given back after it.
constexpr size_t kKeptGlyphCapacity = 65536;
constexpr size_t kKeptContentCapacity = size_t(1) << 20;
// Numbers beyond this are taken as this, so that products stay finite.
constexpr float kMaxNumber = 1e30f;

// A PDF matrix [a b c d e f]: (x, y) goes to (a x + c y + e, b x + d y + f).
struct Matrix {
  float a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// m applied first, then n (PDF's m x n).
Matrix Concat(const Matrix& m, const Matrix& n) {
  Matrix r;
  r.a = m.a * n.a + m.b * n.c;
  r.b = m.a * n.b + m.b * n.d;
  r.c = m.c * n.a + m.d * n.c;
  r.d = m.c * n.b + m.d * n.d;
  r.e = m.e * n.a + m.f * n.c + n.e;
  r.f = m.e * n.b + m.f * n.d + n.f;
  return r;
}

struct GraphicsState {
  Matrix ctm;
  const PdfFont* font = nullptr;
  float fontSize = 0;
  float charSpacing = 0;
  float wordSpacing = 0;
  float scale = 1;  // Tz over 100
  float leading = 0;
  float rise = 0;
};

enum OperandKind : uint8_t { OPERAND_NUMBER, OPERAND_STRING, OPERAND_NAME, OPERAND_ARRAY_OPEN, OPERAND_OTHER };

// Strings and names keep their bytes in the interpreter's arena.
struct Operand {
  OperandKind kind = OPERAND_OTHER;
  float number = 0;
  uint32_t start = 0;
  uint32_t length = 0;
};

struct CachedForm {
  const PdfObject* form = nullptr;
  PdfBytes bytes;
};

struct Interpreter {
  PdfDocument* document = nullptr;
  PdfFontCache fonts;
  std::vector<PdfGlyph> glyphs;
  bool anyUnicode = false;
  // The operand stack, reused for every operator.
  std::vector<Operand> operands;
  std::vector<uint8_t> arena;
  int arrayDepth = 0;
  GraphicsState state;
  std::vector<GraphicsState> saved;
  size_t saveDepth = 0;  // q nesting, saves past kMaxSaves included
  size_t saveFloor = 0;  // a form's Q never restores what was saved before it
  Matrix textMatrix;
  Matrix lineMatrix;
  const PdfObject* forms[kMaxFormDepth] = {};  // the forms being drawn, outermost first
  int formDepth = 0;
  PdfToken tokens[kMaxFormDepth + 1];  // one per level, so that their buffers are reused
  std::string key;  // a resource name as a C string
  size_t work = 0;  // bytes interpreted for the page, against kMaxPageWork
  std::vector<CachedForm> cachedForms;
  size_t cachedFormBytes = 0;
  std::vector<uint8_t> joined;  // a page's /Contents array read as one
  bool cut = false;  // some text was dropped at one of the bounds above
};

// An operator of up to three bytes as one number, so that dispatch is a switch.
constexpr uint32_t OperatorKey(const char* s) {
  return uint32_t(uint8_t(s[0])) |
         (s[0] && s[1] ? uint32_t(uint8_t(s[1])) << 8 | (s[2] ? uint32_t(uint8_t(s[2])) << 16 : 0u) : 0u);
}

uint32_t WordKey(const PdfToken& token) {
  if (token.wordLength == 0 || token.wordLength > 3) return 0;
  uint32_t key = 0;
  for (size_t i = 0; i < token.wordLength; ++i) key |= uint32_t(uint8_t(token.word[i])) << (8 * i);
  return key;
}

void ClearOperands(Interpreter* in) {
  in->operands.clear();
  in->arena.clear();
  in->arrayDepth = 0;
}

// Drops the oldest half of the operands and moves the strings of the rest to
// the front of the arena.
void DropOldestOperands(Interpreter* in) {
  const size_t from = in->operands.size() / 2;
  uint32_t at = 0;
  for (size_t i = from; i < in->operands.size(); ++i) {
    Operand& o = in->operands[i];
    if (o.kind != OPERAND_STRING && o.kind != OPERAND_NAME) continue;
    std::memmove(in->arena.data() + at, in->arena.data() + o.start, o.length);
    o.start = at;
    at += o.length;
  }
  in->arena.resize(at);
  in->operands.erase(in->operands.begin(), in->operands.begin() + std::ptrdiff_t(from));
}

// Pushes an operand; bytes (for strings and names) go to the arena.
void PushOperand(Interpreter* in, OperandKind kind, float number, const std::string* bytes) {
  if (in->arrayDepth > 0) {
    if (in->operands.size() >= kMaxArrayOperands) return;
  } else if (in->operands.size() >= kMaxOperands) {
    DropOldestOperands(in);
  }
  Operand o;
  o.kind = kind;
  o.number = number;
  if (bytes) {
    // A string longer than the arena keeps what fits, and the page is cut.
    size_t length = bytes->size();
    if (in->arena.size() + length > kMaxArenaBytes) {
      length = kMaxArenaBytes - in->arena.size();
      in->cut = true;
    }
    o.start = uint32_t(in->arena.size());
    o.length = uint32_t(length);
    in->arena.insert(in->arena.end(), bytes->begin(), bytes->begin() + std::ptrdiff_t(length));
  }
  in->operands.push_back(o);
}

float ClampNumber(double value) {
  if (!(value > -kMaxNumber)) return -kMaxNumber;  // NaN included
  if (value > kMaxNumber) return kMaxNumber;
  return float(value);
}

// The last count operands when all are numbers; false otherwise.
bool LastNumbers(const Interpreter* in, size_t count, float* out) {
  const size_t n = in->operands.size();
  if (n < count) return false;
  for (size_t i = 0; i < count; ++i) {
    const Operand& o = in->operands[n - count + i];
    if (o.kind != OPERAND_NUMBER) return false;
    out[i] = o.number;
  }
  return true;
}

const Operand* LastOperand(const Interpreter* in, OperandKind kind) {
  if (in->operands.empty() || in->operands.back().kind != kind) return nullptr;
  return &in->operands.back();
}

const uint8_t* Bytes(const Interpreter* in, const Operand& o) { return in->arena.data() + o.start; }

const PdfFont* CurrentFont(Interpreter* in) {
  return in->state.font ? in->state.font : PdfCachedFont(in->document, &in->fonts, nullptr);
}

bool Finite(const PdfGlyph& g) {
  return std::isfinite(g.x) && std::isfinite(g.y) && std::isfinite(g.advance) && std::isfinite(g.size);
}

// Moves the text matrix by amount (text space) along the writing direction.
void MoveText(Interpreter* in, float amount, bool vertical) {
  Matrix& tm = in->textMatrix;
  if (vertical) {
    tm.e += amount * tm.c;
    tm.f += amount * tm.d;
  } else {
    tm.e += amount * tm.a;
    tm.f += amount * tm.b;
  }
}

// Records a glyph for every code of s[0..n) and moves the text matrix past them.
void ShowString(Interpreter* in, const uint8_t* s, size_t n) {
  if (in->glyphs.size() >= PDF_CONTENT_MAX_GLYPHS) return;
  const GraphicsState& gs = in->state;
  const PdfFont* font = CurrentFont(in);
  // Text space to page space. The glyph origin is (0, rise) in text space,
  // moved by pen along the writing direction.
  const Matrix m = Concat(in->textMatrix, gs.ctm);
  const bool vertical = font->vertical;
  const float dx = vertical ? m.c : m.a;
  const float dy = vertical ? m.d : m.b;
  const float unit = std::sqrt(dx * dx + dy * dy);
  const float size = std::fabs(gs.fontSize) * std::sqrt(m.c * m.c + m.d * m.d);
  // A matrix that flattens text space to a line or a point shows nothing:
  // writers park stray glyphs (form field spaces) with one.
  const bool visible = size > 0 && m.a * m.d - m.b * m.c != 0;
  const float ox = gs.rise * m.c + m.e;
  const float oy = gs.rise * m.d + m.f;
  float pen = 0;
  size_t i = 0;
  while (i < n) {
    uint32_t code = 0;
    const int length = PdfFontNextCode(*font, s + i, n - i, &code);
    i += size_t(length);
    float spacing = gs.charSpacing;
    if (length == 1 && code == 32) spacing += gs.wordSpacing;
    const float width = PdfFontWidth(*font, code);
    // Th scales horizontal displacement only.
    const float move = vertical ? width * gs.fontSize + spacing : (width * gs.fontSize + spacing) * gs.scale;
    PdfGlyph glyph;
    glyph.x = ox + pen * dx;
    glyph.y = oy + pen * dy;
    // The glyph's own width, without the character and word spacing: writers
    // (ghostscript among them) set words apart with Tc or Tw instead of a
    // space, so the gap after a glyph must count them. Down the page for a
    // vertical font, so its advance is how far it went.
    const float own = vertical ? width * gs.fontSize : width * gs.fontSize * gs.scale;
    glyph.advance = (vertical ? std::fabs(own) : own) * unit;
    glyph.size = size;
    const int count = PdfFontUnicode(*font, code, glyph.unicode);
    glyph.count = uint8_t(count > 0 ? count : 0);
    pen += move;
    if (!visible || !Finite(glyph)) continue;
    // A space that a negative word spacing shrinks to almost nothing is a
    // spacer inside a word ("reg a" + "rdless"), not a word gap.
    if (glyph.count == 1 && glyph.unicode[0] == ' ' && std::fabs(move) < 0.1f * std::fabs(gs.fontSize)) continue;
    if (glyph.count) in->anyUnicode = true;
    in->glyphs.push_back(glyph);
    if (in->glyphs.size() >= PDF_CONTENT_MAX_GLYPHS) {
      in->cut = true;
      break;
    }
  }
  MoveText(in, pen, vertical);
}

// Td: a new line at (tx, ty) from the start of the current one.
void NextLine(Interpreter* in, float tx, float ty) {
  Matrix& l = in->lineMatrix;
  l.e += tx * l.a + ty * l.c;
  l.f += tx * l.b + ty * l.d;
  in->textMatrix = l;
}

// TJ: the strings and position adjustments after the last "[".
void ShowArray(Interpreter* in) {
  size_t start = in->operands.size();
  while (start > 0 && in->operands[start - 1].kind != OPERAND_ARRAY_OPEN) --start;
  if (start == 0) return;
  const bool vertical = CurrentFont(in)->vertical;
  for (size_t i = start; i < in->operands.size(); ++i) {
    const Operand& o = in->operands[i];
    if (o.kind == OPERAND_STRING) {
      ShowString(in, Bytes(in, o), o.length);
    } else if (o.kind == OPERAND_NUMBER) {
      // Thousandths of an em, subtracted from the position.
      float amount = -o.number * 0.001f * in->state.fontSize;
      if (!vertical) amount *= in->state.scale;
      MoveText(in, amount, vertical);
    }
  }
}

void SetFont(Interpreter* in, const PdfObject* resources) {
  const size_t n = in->operands.size();
  if (n < 2 || in->operands[n - 2].kind != OPERAND_NAME || in->operands[n - 1].kind != OPERAND_NUMBER) return;
  const Operand& name = in->operands[n - 2];
  in->key.assign(reinterpret_cast<const char*>(Bytes(in, name)), name.length);
  const PdfObject* fonts = PdfGet(in->document, resources, "Font");
  const PdfObject* dictionary = fonts ? PdfGet(in->document, fonts, in->key.c_str()) : nullptr;
  // A font the resources lack reads as the fallback font, not as the last one.
  in->state.font = PdfCachedFont(in->document, &in->fonts, dictionary);
  in->state.fontSize = in->operands[n - 1].number;
}

void Save(Interpreter* in) {
  if (in->saved.size() == in->saveDepth && in->saved.size() < kMaxSaves) in->saved.push_back(in->state);
  ++in->saveDepth;
}

void Restore(Interpreter* in) {
  if (in->saveDepth <= in->saveFloor) return;
  if (in->saveDepth == in->saved.size()) {
    in->state = in->saved.back();
    in->saved.pop_back();
  }
  --in->saveDepth;
}

// The first count numbers of array, resolved and clamped; false when it is
// no array, is shorter, or holds something else.
bool ReadNumbers(PdfDocument* document, const PdfObject* array, size_t count, float* v) {
  if (!array || array->type != PDF_ARRAY || array->items.size() < count) return false;
  for (size_t i = 0; i < count; ++i) {
    const PdfObject* item = PdfResolve(document, &array->items[i]);
    if (!item->IsNumber()) return false;
    v[i] = ClampNumber(item->number);
  }
  return true;
}

bool ReadMatrix(PdfDocument* document, const PdfObject* array, Matrix* m) {
  float v[6];
  if (!ReadNumbers(document, array, 6, v)) return false;
  *m = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
  return true;
}

void Run(Interpreter* in, const uint8_t* data, size_t size, const PdfObject* resources, int depth);

// The decoded content of form, from the page's cache, else decoded into *own.
bool FormContent(Interpreter* in, const PdfObject* form, PdfBytes* own, const uint8_t** data, size_t* size) {
  for (const CachedForm& cached : in->cachedForms) {
    if (cached.form == form) {
      *data = cached.bytes.data;
      *size = cached.bytes.length;
      return true;
    }
  }
  PdfBytes bytes;
  if (!PdfDecodeStream(in->document, form, &bytes)) return false;
  *data = bytes.data;
  *size = bytes.length;
  if (in->cachedForms.size() < kMaxCachedForms && in->cachedFormBytes + bytes.length <= kMaxCachedFormBytes) {
    in->cachedFormBytes += bytes.length;
    in->cachedForms.push_back(CachedForm{form, std::move(bytes)});
  } else {
    *own = std::move(bytes);
  }
  return true;
}

// Draws form, when it is not already being drawn, with its /Matrix and its
// own resources (else the caller's).
void DrawFormObject(Interpreter* in, const PdfObject* form, const PdfObject* resources, int depth) {
  PdfDocument* document = in->document;
  if (in->work > kMaxPageWork) in->cut = true;
  if (!form || form->type != PDF_STREAM || in->formDepth >= kMaxFormDepth || in->work > kMaxPageWork) return;
  for (int i = 0; i < in->formDepth; ++i) {
    if (in->forms[i] == form) return;  // a form that draws itself
  }
  PdfBytes own;
  const uint8_t* data = nullptr;
  size_t size = 0;
  if (!FormContent(in, form, &own, &data, &size)) return;

  const GraphicsState outer = in->state;
  const Matrix textMatrix = in->textMatrix;
  const Matrix lineMatrix = in->lineMatrix;
  const size_t outerFloor = in->saveFloor;
  in->saveFloor = in->saveDepth;
  Matrix matrix;
  if (ReadMatrix(document, PdfGet(document, form, "Matrix"), &matrix)) in->state.ctm = Concat(matrix, in->state.ctm);
  const PdfObject* ownResources = PdfGet(document, form, "Resources");
  in->forms[in->formDepth++] = form;
  Run(in, data, size, ownResources && ownResources->IsDict() ? ownResources : resources, depth + 1);
  --in->formDepth;
  // Saves the form left open are dropped, and the caller's state comes back.
  if (in->saved.size() > in->saveFloor) in->saved.resize(in->saveFloor);
  in->saveDepth = in->saveFloor;
  in->saveFloor = outerFloor;
  in->state = outer;
  in->textMatrix = textMatrix;
  in->lineMatrix = lineMatrix;
  ClearOperands(in);
}

// Do: draws the form XObject named in->key (images and the rest show no text).
void DrawForm(Interpreter* in, const PdfObject* resources, int depth) {
  PdfDocument* document = in->document;
  const PdfObject* xobjects = PdfGet(document, resources, "XObject");
  const PdfObject* form = xobjects ? PdfGet(document, xobjects, in->key.c_str()) : nullptr;
  if (!form || form->type != PDF_STREAM) return;
  const PdfObject* subtype = PdfGet(document, form, "Subtype");
  if (!subtype || !subtype->IsName("Form")) return;
  DrawFormObject(in, form, resources, depth);
}

// The four numbers of a rectangle, lower left first whatever their order.
bool ReadRect(PdfDocument* document, const PdfObject* array, float box[4]) {
  float v[4];
  if (!ReadNumbers(document, array, 4, v)) return false;
  box[0] = std::fmin(v[0], v[2]);
  box[1] = std::fmin(v[1], v[3]);
  box[2] = std::fmax(v[0], v[2]);
  box[3] = std::fmax(v[1], v[3]);
  return true;
}

// Draws the appearances of the page's annotations as a viewer shows them:
// the values of filled-in form fields, stamps and free text are part of what
// the reader sees on the page. Hidden annotations, links and pop-ups are left.
void RunAnnotations(Interpreter* in, const PdfPage& page, const Matrix& pageMatrix) {
  PdfDocument* document = in->document;
  const PdfObject* annotations = PdfGet(document, page.dictionary, "Annots");
  if (!annotations || annotations->type != PDF_ARRAY) return;
  for (size_t i = 0; i < annotations->items.size() && i < kMaxAnnotations; ++i) {
    const PdfObject* annotation = PdfResolve(document, &annotations->items[i]);
    if (!annotation->IsDict()) continue;
    const PdfObject* flags = PdfGet(document, annotation, "F");
    if (flags && flags->IsNumber() && (flags->Int() & 2)) continue;
    const PdfObject* subtype = PdfGet(document, annotation, "Subtype");
    if (subtype && (subtype->IsName("Link") || subtype->IsName("Popup"))) continue;
    const PdfObject* appearances = PdfGet(document, annotation, "AP");
    const PdfObject* form = appearances ? PdfGet(document, appearances, "N") : nullptr;
    if (form && form->type == PDF_DICT) {
      // One appearance per state (a check box's on and off): /AS names it.
      const PdfObject* state = PdfGet(document, annotation, "AS");
      form = state && state->type == PDF_NAME ? PdfGet(document, form, state->text.c_str()) : nullptr;
    }
    float rect[4];
    float bbox[4];
    if (!form || form->type != PDF_STREAM || !ReadRect(document, PdfGet(document, annotation, "Rect"), rect) ||
        !ReadRect(document, PdfGet(document, form, "BBox"), bbox))
      continue;
    // The box, through the form's /Matrix, is fitted to /Rect; DrawFormObject
    // applies the /Matrix itself.
    Matrix matrix;
    ReadMatrix(document, PdfGet(document, form, "Matrix"), &matrix);
    float x[4], y[4];
    const float cx[4] = {bbox[0], bbox[2], bbox[0], bbox[2]};
    const float cy[4] = {bbox[1], bbox[1], bbox[3], bbox[3]};
    for (int k = 0; k < 4; ++k) {
      x[k] = matrix.a * cx[k] + matrix.c * cy[k] + matrix.e;
      y[k] = matrix.b * cx[k] + matrix.d * cy[k] + matrix.f;
    }
    const float x0 = std::fmin(std::fmin(x[0], x[1]), std::fmin(x[2], x[3]));
    const float x1 = std::fmax(std::fmax(x[0], x[1]), std::fmax(x[2], x[3]));
    const float y0 = std::fmin(std::fmin(y[0], y[1]), std::fmin(y[2], y[3]));
    const float y1 = std::fmax(std::fmax(y[0], y[1]), std::fmax(y[2], y[3]));
    const float sx = x1 > x0 ? (rect[2] - rect[0]) / (x1 - x0) : 1;
    const float sy = y1 > y0 ? (rect[3] - rect[1]) / (y1 - y0) : 1;
    const Matrix fit{sx, 0, 0, sy, rect[0] - x0 * sx, rect[1] - y0 * sy};
    in->state = GraphicsState();
    in->state.ctm = Concat(fit, pageMatrix);
    in->textMatrix = Matrix();
    in->lineMatrix = Matrix();
    DrawFormObject(in, form, page.resources, 0);
  }
}

// Passes over an inline image from just after "BI": its dictionary up to
// "ID", then its data up to an "EI" with white space before it and white
// space or the end after it.
void SkipInlineImage(PdfLexer* lexer, PdfToken* token) {
  for (int k = 0;; ++k) {
    if (k == kMaxInlineImageTokens || !PdfNextToken(lexer, token)) return;
    if (token->Is("ID")) break;
  }
  const uint8_t* d = lexer->data;
  const size_t n = lexer->size;
  size_t p = lexer->pos;
  if (p < n && PdfIsWhite(d[p])) ++p;
  while (p + 2 <= n) {
    const void* found = std::memchr(d + p, 'E', n - p - 1);
    if (!found) break;
    const size_t at = size_t(static_cast<const uint8_t*>(found) - d);
    if (d[at + 1] == 'I' && PdfIsWhite(d[at - 1]) && (at + 2 == n || PdfIsWhite(d[at + 2]))) {
      lexer->pos = at + 2;
      return;
    }
    p = at + 1;
  }
  lexer->pos = n;
}

// Passes over a dictionary operand (BDC property lists) from just after its
// "<<", nested ones included. An operator inside means the dictionary was
// never closed: true then, with token holding that operator.
bool SkipDictionary(PdfLexer* lexer, PdfToken* token) {
  int depth = 1;
  while (depth > 0 && PdfNextToken(lexer, token)) {
    if (token->type == TOKEN_DICT_OPEN) {
      ++depth;
    } else if (token->type == TOKEN_DICT_CLOSE) {
      --depth;
    } else if (token->type == TOKEN_KEYWORD && !token->Is("true") && !token->Is("false") && !token->Is("null")) {
      return true;
    }
  }
  return false;
}

void Execute(Interpreter* in, uint32_t key, const PdfObject* resources, int depth) {
  GraphicsState& gs = in->state;
  float v[6];
  switch (key) {
    case OperatorKey("q"): Save(in); break;
    case OperatorKey("Q"): Restore(in); break;
    case OperatorKey("cm"):
      if (LastNumbers(in, 6, v)) gs.ctm = Concat(Matrix{v[0], v[1], v[2], v[3], v[4], v[5]}, gs.ctm);
      break;
    case OperatorKey("BT"):
      in->textMatrix = Matrix();
      in->lineMatrix = Matrix();
      break;
    case OperatorKey("Tc"):
      if (LastNumbers(in, 1, v)) gs.charSpacing = v[0];
      break;
    case OperatorKey("Tw"):
      if (LastNumbers(in, 1, v)) gs.wordSpacing = v[0];
      break;
    case OperatorKey("Tz"):
      if (LastNumbers(in, 1, v)) gs.scale = v[0] * 0.01f;
      break;
    case OperatorKey("TL"):
      if (LastNumbers(in, 1, v)) gs.leading = v[0];
      break;
    case OperatorKey("Ts"):
      if (LastNumbers(in, 1, v)) gs.rise = v[0];
      break;
    case OperatorKey("Tf"): SetFont(in, resources); break;
    case OperatorKey("Td"):
      if (LastNumbers(in, 2, v)) NextLine(in, v[0], v[1]);
      break;
    case OperatorKey("TD"):
      if (LastNumbers(in, 2, v)) {
        gs.leading = -v[1];
        NextLine(in, v[0], v[1]);
      }
      break;
    case OperatorKey("Tm"):
      if (LastNumbers(in, 6, v)) {
        in->lineMatrix = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
        in->textMatrix = in->lineMatrix;
      }
      break;
    case OperatorKey("T*"): NextLine(in, 0, -gs.leading); break;
    case OperatorKey("Tj"):
      if (const Operand* s = LastOperand(in, OPERAND_STRING)) ShowString(in, Bytes(in, *s), s->length);
      break;
    case OperatorKey("TJ"): ShowArray(in); break;
    case OperatorKey("'"):
      if (const Operand* s = LastOperand(in, OPERAND_STRING)) {
        NextLine(in, 0, -gs.leading);
        ShowString(in, Bytes(in, *s), s->length);
      }
      break;
    case OperatorKey("\""):
      if (const Operand* s = LastOperand(in, OPERAND_STRING)) {
        const size_t n = in->operands.size();
        if (n >= 3 && in->operands[n - 3].kind == OPERAND_NUMBER && in->operands[n - 2].kind == OPERAND_NUMBER) {
          gs.wordSpacing = in->operands[n - 3].number;
          gs.charSpacing = in->operands[n - 2].number;
        }
        NextLine(in, 0, -gs.leading);
        ShowString(in, Bytes(in, *s), s->length);
      }
      break;
    case OperatorKey("Do"):
      if (const Operand* name = LastOperand(in, OPERAND_NAME)) {
        in->key.assign(reinterpret_cast<const char*>(Bytes(in, *name)), name->length);
        ClearOperands(in);
        DrawForm(in, resources, depth);
      }
      break;
    default:
      // Paths, colours, marked content, BX/EX, Tr and the rest: nothing
      // that places text (invisible text is text all the same).
      break;
  }
  ClearOperands(in);
}

void Run(Interpreter* in, const uint8_t* data, size_t size, const PdfObject* resources, int depth) {
  in->work += size + kFormCost;
  PdfLexer lexer{data, size, 0};
  PdfToken& token = in->tokens[depth];
  ClearOperands(in);
  while (PdfNextToken(&lexer, &token)) {
    if (in->glyphs.size() >= PDF_CONTENT_MAX_GLYPHS) return;
    switch (token.type) {
      case TOKEN_NUMBER: PushOperand(in, OPERAND_NUMBER, ClampNumber(token.number), nullptr); continue;
      case TOKEN_STRING: PushOperand(in, OPERAND_STRING, 0, &token.text); continue;
      case TOKEN_NAME: PushOperand(in, OPERAND_NAME, 0, &token.text); continue;
      case TOKEN_ARRAY_OPEN:
        PushOperand(in, OPERAND_ARRAY_OPEN, 0, nullptr);
        ++in->arrayDepth;
        continue;
      case TOKEN_ARRAY_CLOSE:
        if (in->arrayDepth > 0) --in->arrayDepth;
        continue;
      case TOKEN_DICT_OPEN:
        if (!SkipDictionary(&lexer, &token)) {
          PushOperand(in, OPERAND_OTHER, 0, nullptr);
          continue;
        }
        break;  // an unclosed dictionary: token holds the operator after it
      case TOKEN_KEYWORD: break;
      default: continue;  // stray ">>", braces
    }
    if (token.Is("true") || token.Is("false") || token.Is("null")) {
      PushOperand(in, OPERAND_OTHER, 0, nullptr);
      continue;
    }
    if (token.Is("BI")) {
      SkipInlineImage(&lexer, &token);
      ClearOperands(in);
      continue;
    }
    Execute(in, WordKey(token), resources, depth);
  }
}

// The matrix that puts the page's default space the right way up: its
// /Rotate (inherited, read with the page tree) turns the page clockwise for
// display, so the text of a turned page runs left to right only once it is
// turned back, about its /MediaBox (inherited) so that positions stay positive.
Matrix PageMatrix(PdfDocument* document, const PdfPage& page) {
  float box[4] = {0, 0, 612, 792};
  const PdfObject* node = page.dictionary;
  for (int i = 0; node && node->IsDict() && i < kMaxParents; ++i) {
    if (ReadRect(document, PdfGet(document, node, "MediaBox"), box)) break;
    node = PdfGet(document, node, "Parent");
  }
  const float llx = box[0], lly = box[1], urx = box[2], ury = box[3];
  switch (page.rotate / 90) {
    case 1: return Matrix{0, -1, 1, 0, -lly, urx};
    case 2: return Matrix{-1, 0, 0, -1, urx, ury};
    case 3: return Matrix{0, 1, -1, 0, ury, -llx};
    default: return Matrix();
  }
}

void RunContents(Interpreter* in, const PdfPage& page);

// Interprets one page into in->glyphs: its content, then its annotations.
void RunPage(Interpreter* in, const PdfPage& page) {
  in->glyphs.clear();
  in->state = GraphicsState();
  const Matrix pageMatrix = PageMatrix(in->document, page);
  in->state.ctm = pageMatrix;
  in->saved.clear();
  in->saveDepth = 0;
  in->saveFloor = 0;
  in->textMatrix = Matrix();
  in->lineMatrix = Matrix();
  in->formDepth = 0;
  in->work = 0;
  in->cachedForms.clear();
  in->cachedFormBytes = 0;
  RunContents(in, page);
  RunAnnotations(in, page, pageMatrix);
}

// Interprets the page's /Contents: one stream, or an array read as one.
void RunContents(Interpreter* in, const PdfPage& page) {
  PdfDocument* document = in->document;
  const PdfObject* contents = PdfGet(document, page.dictionary, "Contents");
  if (!contents) return;
  if (contents->type == PDF_STREAM) {
    PdfBytes data;
    if (PdfDecodeStream(document, contents, &data)) Run(in, data.data, data.length, page.resources, 0);
    return;
  }
  if (contents->type != PDF_ARRAY) return;
  // The streams of an array are one content: an operator's operands may
  // start in one and end in the next, so they are joined, with an end of
  // line between them since a token may not run across.
  in->joined.clear();
  for (size_t i = 0; i < contents->items.size() && i < kMaxContentStreams; ++i) {
    PdfBytes data;
    if (!PdfDecodeStream(document, &contents->items[i], &data)) continue;
    size_t length = data.length;
    if (in->joined.size() + length + 1 > kMaxPageContent) {
      // What fits is read; the rest of the page is lost, and the reader told.
      length = kMaxPageContent - 1 - in->joined.size();
      in->cut = true;
    }
    // Grown by doubling but never past the page's bound, so that the copy a
    // growth makes stays within it too.
    const size_t needed = in->joined.size() + length + 1;
    if (needed > in->joined.capacity()) {
      in->joined.reserve(std::min(std::max(needed, 2 * in->joined.capacity()), kMaxPageContent));
    }
    in->joined.insert(in->joined.end(), data.data, data.data + length);
    in->joined.push_back('\n');
    if (in->cut) break;
  }
  Run(in, in->joined.data(), in->joined.size(), page.resources, 0);
  if (in->joined.capacity() > kKeptContentCapacity) std::vector<uint8_t>().swap(in->joined);
}

}  // namespace

bool PdfExtractPages(PdfDocument* document, PdfTextBuffer* text, bool* anyText) {
  *anyText = false;
  std::vector<PdfPage> pages;
  if (!PdfCollectPages(document, &pages) || pages.empty()) return false;
  Interpreter in;
  in.document = document;
  for (size_t i = 0; i < pages.size() && !text->full && !text->failed && !document->memoryFailed; ++i) {
    RunPage(&in, pages[i]);
    PdfAssemblePage(text, in.glyphs.data(), in.glyphs.size(), i == 0);
    // Nothing holds a font between pages.
    PdfTrimFontCache(&in.fonts);
    in.cachedForms.clear();
    if (in.glyphs.capacity() > kKeptGlyphCapacity) std::vector<PdfGlyph>().swap(in.glyphs);
  }
  *anyText = in.anyUnicode;
  if (in.cut) text->cut = true;
  return true;
}
