// EPUB books: container and package XML through expat, then one pass over the
// archive's entries reading the chapters the spine names, each converted and
// imported on its own, joined in spine order.
#include "zip/epub.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "document/encoding.h"
#include "document/layout.h"
#include "document/load.h"
#include "document/rejoin.h"
#include "document/text.h"
#include "importers/html.h"
#include "importers/load.h"
#include "platform/trace.h"
#include "boxes/messagebox.h"
#include "zip/archive.h"
#include "zip/fb2zip.h"

namespace {

constexpr char NS_SEPARATOR = '\x1F';
const char* const LOAD_ERROR = "Error loading file|Error cargando fichero";
const char* const NO_TEXT = "This book has no readable text|Este libro no tiene texto legible";
const char* const PROTECTED = "This book is protected|Este libro est\xE1 protegido";
const char* const DC_NAMESPACE = "http://purl.org/dc/elements/1.1/";

// Names of 256 bytes or more arrive without a terminator: one byte more than
// the reader may fill keeps them bounded.
constexpr uint32_t NAME_BUFFER_SIZE = 1024;
// An attribute value (a path, an id) longer than this is no real book's: the
// element is skipped rather than kept and copied.
constexpr size_t MAX_ATTRIBUTE_BYTES = 4096;
// The container, package and encryption files are read whole for expat; a
// package of 20,000 items is under 4 MB.
constexpr uint32_t MAX_XML_BYTES = 4u << 20;

// What every expat handler's data starts with: an allocation that failed
// inside a handler sets `failed` (no exception may cross expat's C frames),
// and the parse is then taken as failed.
struct XmlState {
  bool failed = false;
};

// Runs body, turning any exception into state->failed; once failed, later
// handlers do nothing.
template <typename Body>
void Guarded(XmlState* state, Body body) {
  if (state->failed) return;
  try {
    body();
  } catch (...) {
    state->failed = true;
  }
}

// The local part of an expat name "namespace<sep>local" (or the whole name).
const char* LocalName(const char* name) {
  const char* sep = std::strrchr(name, NS_SEPARATOR);
  return sep ? sep + 1 : name;
}

bool InNamespace(const char* name, const char* ns) {
  const char* sep = std::strrchr(name, NS_SEPARATOR);
  if (!sep) return false;
  const size_t n = std::strlen(ns);
  return size_t(sep - name) == n && std::strncmp(name, ns, n) == 0;
}

// The value of the attribute of that local name, or null (also when the value
// is longer than MAX_ATTRIBUTE_BYTES: traced, with its first bytes only, and
// *tooLong set when given).
const char* Attribute(const char** attributes, const char* local, bool* tooLong = nullptr) {
  for (int i = 0; attributes[i] && attributes[i + 1]; i += 2) {
    if (std::strcmp(LocalName(attributes[i]), local) != 0) continue;
    const char* value = attributes[i + 1];
    if (strnlen(value, MAX_ATTRIBUTE_BYTES + 1) > MAX_ATTRIBUTE_BYTES) {
      GpTrace("EPUB: %s attribute over %lu bytes skipped: %.40s...\n", local,
              static_cast<unsigned long>(MAX_ATTRIBUTE_BYTES), value);
      if (tooLong) *tooLong = true;
      return nullptr;
    }
    return value;
  }
  return nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodePercent(const char* s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == '%' && i + 2 < n) {
      const int hi = HexValue(s[i + 1]);
      const int lo = HexValue(s[i + 2]);
      // %00 would end the path early: it stays as written.
      if (hi >= 0 && lo >= 0 && (hi || lo)) {
        out += char(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// Runs expat with namespaces over the length bytes at xml; false when it is
// not well formed (or longer than expat takes in one call), or a handler ran
// out of memory.
bool ParseXml(const char* xml, size_t length, XmlState* data, XML_StartElementHandler start,
              XML_EndElementHandler end, XML_CharacterDataHandler chars) {
  if (!xml || length > size_t(INT_MAX)) return false;
  XML_Parser parser = XML_ParserCreateNS(nullptr, NS_SEPARATOR);
  if (!parser) return false;
  XML_SetUserData(parser, data);
  XML_SetElementHandler(parser, start, end);
  if (chars) XML_SetCharacterDataHandler(parser, chars);
  const bool ok = XML_Parse(parser, xml, int(length), 1) == XML_STATUS_OK;
  if (!ok) {
    GpTrace("EPUB: XML error \"%s\" at line %lu\n", XML_ErrorString(XML_GetErrorCode(parser)),
            static_cast<unsigned long>(XML_GetCurrentLineNumber(parser)));
  }
  XML_ParserFree(parser);
  if (data->failed) GpTrace("EPUB: out of memory reading the XML\n");
  return ok && !data->failed;
}

// --- container.xml ---------------------------------------------------------

struct ContainerState : XmlState {
  std::string* path;
  bool found = false;
};

void XMLCALL ContainerStart(void* data, const char* name, const char** attributes) {
  ContainerState* state = static_cast<ContainerState*>(data);
  if (state->found || std::strcmp(LocalName(name), "rootfile") != 0) return;
  const char* type = Attribute(attributes, "media-type");
  const char* fullPath = Attribute(attributes, "full-path");
  if (!type || !fullPath || !*fullPath || std::strcmp(type, "application/oebps-package+xml") != 0) return;
  Guarded(state, [&] {
    *state->path = EpubResolvePath("", fullPath);
    state->found = !state->path->empty();
  });
}

void XMLCALL NoEnd(void*, const char*) {}

// --- the package file ------------------------------------------------------

struct ManifestItem {
  std::string href;
  bool readable;
};

struct PackageState : XmlState {
  const std::string* packagePath;
  EpubPackage* package;
  std::unordered_map<std::string, ManifestItem> manifest;
  std::vector<std::string> spine;  // idrefs in order
  int titleDepth = 0;              // inside the first dc:title
  bool titleDone = false;
};

void XMLCALL PackageStart(void* data, const char* name, const char** attributes) {
  PackageState* state = static_cast<PackageState*>(data);
  if (state->titleDepth > 0) {
    ++state->titleDepth;
    return;
  }
  const char* local = LocalName(name);
  if (std::strcmp(local, "item") == 0) {
    bool tooLong = false;
    const char* id = Attribute(attributes, "id", &tooLong);
    const char* href = Attribute(attributes, "href", &tooLong);
    const char* type = Attribute(attributes, "media-type");
    if (tooLong) state->package->cut = true;
    if (!id || !href) return;
    const bool readable =
        type && (std::strcmp(type, "application/xhtml+xml") == 0 || std::strcmp(type, "text/html") == 0);
    if (state->manifest.size() >= EPUB_MAX_MANIFEST_ITEMS) {
      if (!state->package->cut) GpTrace("EPUB: manifest items past the limit skipped\n");
      state->package->cut = true;
      return;
    }
    // The first item of an id counts, as later ones are errors of the book.
    Guarded(state, [&] {
      state->manifest.emplace(id, ManifestItem{EpubResolvePath(*state->packagePath, href), readable});
    });
  } else if (std::strcmp(local, "itemref") == 0) {
    bool tooLong = false;
    const char* idref = Attribute(attributes, "idref", &tooLong);
    if (idref && state->spine.size() < EPUB_MAX_SPINE_ITEMS) {
      Guarded(state, [&] { state->spine.emplace_back(idref); });
    } else if (idref || tooLong) {
      state->package->cut = true;
    }
  } else if (std::strcmp(local, "title") == 0 && InNamespace(name, DC_NAMESPACE) && !state->titleDone) {
    state->titleDepth = 1;
  }
}

void XMLCALL PackageEnd(void* data, const char*) {
  PackageState* state = static_cast<PackageState*>(data);
  if (state->titleDepth > 0 && --state->titleDepth == 0) state->titleDone = true;
}

void XMLCALL PackageChars(void* data, const char* s, int n) {
  PackageState* state = static_cast<PackageState*>(data);
  if (state->titleDepth == 0 || n <= 0) return;
  std::string& title = state->package->title;
  Guarded(state, [&] {
    for (int i = 0; i < n && title.size() < 4 * TEXT_NAME_SIZE; ++i) {
      const char c = s[i];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        if (!title.empty() && title.back() != ' ') title += ' ';
      } else {
        title += c;
      }
    }
  });
}

// --- encryption.xml --------------------------------------------------------

struct EncryptionState : XmlState {
  std::vector<std::string>* paths;
};

void XMLCALL EncryptionStart(void* data, const char* name, const char** attributes) {
  if (std::strcmp(LocalName(name), "CipherReference") != 0) return;
  EncryptionState* state = static_cast<EncryptionState*>(data);
  // A path too long to be kept names no chapter (theirs are bounded too).
  const char* uri = Attribute(attributes, "URI");
  if (uri) Guarded(state, [&] { state->paths->push_back(EpubResolvePath("", uri)); });
}

// --- reading the archive ---------------------------------------------------

// Reads the current entry whole into a new NUL-terminated buffer (length in
// *size); null when it cannot be opened or read, or is larger than limit.
char* ReadCurrentEntry(ZipArchive* archive, uint32_t* size, uint32_t limit = ZIP_MAX_ENTRY_SIZE) {
  if (ArchiveOpenEntry(archive) != ZIP_OK) return nullptr;
  ZipEntryInfo info;
  char name[8];
  if (ArchiveEntryInfo(archive, &info, name, sizeof name) != ZIP_OK) {
    ArchiveCloseEntry(archive);
    return nullptr;
  }
  char* buffer = info.uncompressedSize <= limit ? static_cast<char*>(std::malloc(size_t(info.uncompressedSize) + 1)) : nullptr;
  if (!buffer) {
    ArchiveCloseEntry(archive);
    return nullptr;
  }
  uint32_t total = 0;
  while (total < info.uncompressedSize) {
    const int got = ArchiveReadEntry(archive, buffer + total, info.uncompressedSize - total);
    if (got <= 0) break;
    total += uint32_t(got);
  }
  const int closed = ArchiveCloseEntry(archive);
  if (total < info.uncompressedSize || closed != ZIP_OK) {
    std::free(buffer);
    return nullptr;
  }
  buffer[total] = 0;
  *size = total;
  return buffer;
}

std::string CurrentEntryName(ZipArchive* archive) {
  ZipEntryInfo info;
  char name[NAME_BUFFER_SIZE + 1];
  if (ArchiveEntryInfo(archive, &info, name, NAME_BUFFER_SIZE) != ZIP_OK) return std::string();
  if (info.nameLength >= NAME_BUFFER_SIZE) return std::string();  // cannot be compared whole
  name[NAME_BUFFER_SIZE] = 0;
  return std::string(name);
}

// Reads the named XML entry whole; null when there is none, it cannot be read
// or is larger than MAX_XML_BYTES.
char* ReadNamedEntry(ZipArchive* archive, const std::string& wanted, uint32_t* size) {
  for (int r = ArchiveFirstEntry(archive); r == ZIP_OK; r = ArchiveNextEntry(archive)) {
    if (CurrentEntryName(archive) == wanted) return ReadCurrentEntry(archive, size, MAX_XML_BYTES);
  }
  return nullptr;
}

void Fail(const char* message, const char* path) { MessageBoxWait(LangText(message), BaseName(path)); }

}  // namespace

std::string EpubResolvePath(const std::string& base, const char* href) {
  if (!href) return std::string();
  size_t n = std::strcspn(href, "#?");
  std::string decoded = DecodePercent(href, n);
  std::vector<std::string> parts;
  if (!decoded.empty() && decoded[0] != '/') {
    // The folder of base.
    size_t start = 0;
    const size_t lastSlash = base.rfind('/');
    if (lastSlash != std::string::npos) {
      for (size_t i = 0; i <= lastSlash; ++i) {
        if (base[i] == '/') {
          if (i > start) parts.push_back(base.substr(start, i - start));
          start = i + 1;
        }
      }
    }
  }
  size_t start = 0;
  for (size_t i = 0; i <= decoded.size(); ++i) {
    if (i < decoded.size() && decoded[i] != '/') continue;
    const std::string part = decoded.substr(start, i - start);
    start = i + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

bool EpubRootfilePath(const char* xml, size_t length, std::string* path) {
  if (!path) return false;
  path->clear();
  ContainerState state;
  state.path = path;
  if (!ParseXml(xml, length, &state, ContainerStart, NoEnd, nullptr)) return false;
  return state.found;
}

bool EpubReadPackage(const char* xml, size_t length, const std::string& packagePath, EpubPackage* package) {
  if (!package) return false;
  package->title.clear();
  package->chapters.clear();
  package->cut = false;
  try {
    PackageState state;
    state.packagePath = &packagePath;
    state.package = package;
    if (!ParseXml(xml, length, &state, PackageStart, PackageEnd, PackageChars)) return false;
    while (!package->title.empty() && package->title.back() == ' ') package->title.pop_back();
    for (const std::string& idref : state.spine) {
      const auto found = state.manifest.find(idref);
      if (found == state.manifest.end()) {
        GpTrace("EPUB: spine item %s is not in the manifest\n", idref.c_str());
        continue;
      }
      if (!found->second.readable || found->second.href.empty()) continue;
      package->chapters.push_back(found->second.href);
    }
    return true;
  } catch (...) {
    GpTrace("EPUB: out of memory reading the package\n");
    package->chapters.clear();
    return false;
  }
}

bool EpubEncryptedPaths(const char* xml, size_t length, std::vector<std::string>* paths) {
  if (!paths) return false;
  paths->clear();
  EncryptionState state;
  state.paths = paths;
  return ParseXml(xml, length, &state, EncryptionStart, NoEnd, nullptr);
}

namespace {

int ReadEpub(Text* text, const char* path) {
  ZipArchive* archive = ArchiveOpen(path);
  if (!archive) {
    Fail(LOAD_ERROR, path);
    return 0;
  }
  uint32_t size = 0;
  char* xml = ReadNamedEntry(archive, "META-INF/container.xml", &size);
  std::string packagePath;
  const bool haveRoot = xml && EpubRootfilePath(xml, size, &packagePath);
  std::free(xml);
  EpubPackage package;
  xml = haveRoot ? ReadNamedEntry(archive, packagePath, &size) : nullptr;
  const bool havePackage = xml && EpubReadPackage(xml, size, packagePath, &package);
  std::free(xml);
  if (!havePackage) {
    GpTrace("EPUB %s: no container or package file\n", path);
    ArchiveClose(archive);
    Fail(LOAD_ERROR, path);
    return 0;
  }

  // Every spine position of each chapter path, so that one pass over the
  // archive reads each chapter once whatever the order of its entries.
  std::unordered_map<std::string, std::vector<size_t>> wanted;
  for (size_t i = 0; i < package.chapters.size(); ++i) wanted[package.chapters[i]].push_back(i);

  xml = ReadNamedEntry(archive, "META-INF/encryption.xml", &size);
  if (xml) {
    std::vector<std::string> encrypted;
    // Encryption that cannot be read might cover anything: the book is refused.
    bool locked = !EpubEncryptedPaths(xml, size, &encrypted);
    for (const std::string& item : encrypted) locked = locked || wanted.count(item) > 0;
    std::free(xml);
    if (locked) {
      ArchiveClose(archive);
      MessageBoxWait(LangText(PROTECTED), BaseName(path));
      return 0;
    }
  }

  // The imported chapters, by spine position (a repeated path shares one).
  std::vector<char*> imported(package.chapters.size(), nullptr);
  std::vector<char*> owned;
  uint64_t readTotal = 0;
  size_t importedTotal = 0;
  bool incomplete = package.cut;
  for (int r = ArchiveFirstEntry(archive); r == ZIP_OK && !wanted.empty(); r = ArchiveNextEntry(archive)) {
    if (importedTotal >= size_t(TEXT_MAX_BYTES)) {
      // The joined text would stop here anyway.
      GpTrace("EPUB: the text limit is reached, later chapters are left out\n");
      incomplete = true;
      break;
    }
    const auto found = wanted.find(CurrentEntryName(archive));
    if (found == wanted.end()) continue;
    const std::vector<size_t> positions = found->second;
    const std::string name = found->first;
    wanted.erase(found);
    // All chapters together stay within what one file may hold: the rest of
    // a larger book is left out, and the reader is told.
    ZipEntryInfo info;
    char shortName[8];
    if (ArchiveEntryInfo(archive, &info, shortName, sizeof shortName) != ZIP_OK) continue;
    if (uint64_t(info.uncompressedSize) + readTotal > uint64_t(DOCUMENT_MAX_INPUT_BYTES)) {
      GpTrace("EPUB: chapter %s is past the book's limit\n", name.c_str());
      incomplete = true;
      continue;
    }
    uint32_t length = 0;
    char* chapter = ReadCurrentEntry(archive, &length, uint32_t(uint64_t(DOCUMENT_MAX_INPUT_BYTES) - readTotal));
    if (!chapter) {
      GpTrace("EPUB: chapter %s cannot be read\n", name.c_str());
      continue;
    }
    readTotal += length;
    EncodingGuess guess = DetectEncoding(chapter, int32_t(length), true);
    // XHTML without a declaration is UTF-8.
    if (guess.encoding == ENCODING_CP1252 && guess.markLength == 0 &&
        DetectEncoding(chapter, int32_t(length), false).encoding == ENCODING_UTF8) {
      guess.encoding = ENCODING_UTF8;
    }
    const int32_t converted = ConvertToCp1252(chapter, int32_t(length), guess);
    MarkHtmlStructure(chapter, converted);
    ImportHtml(text, chapter, converted);
    // The imported text is shorter than the markup it came from: the rest of
    // the buffer goes back while later chapters are read.
    const size_t used = std::strlen(chapter) + 1;
    importedTotal += used - 1;
    if (used < size_t(length) / 2) {
      if (char* smaller = static_cast<char*>(std::realloc(chapter, used))) chapter = smaller;
    }
    owned.push_back(chapter);
    for (size_t position : positions) imported[position] = chapter;
  }
  for (const auto& missing : wanted) GpTrace("EPUB: chapter %s is missing\n", missing.first.c_str());
  ArchiveClose(archive);

  // Joined: a page break on a line of its own between chapters.
  static const char BREAK[] = {'\n', FORMAT_CODE, FMT_PAGE_BREAK, '\n'};
  size_t total = 1;
  size_t chapters = 0;
  for (char* chapter : imported) {
    if (!chapter) continue;
    const size_t add = std::strlen(chapter) + (chapters ? sizeof BREAK : 0);
    if (total + add >= size_t(TEXT_MAX_BYTES)) {
      incomplete = true;
      break;
    }
    total += add;
    ++chapters;
  }
  char* joined = chapters ? static_cast<char*>(std::malloc(total)) : nullptr;
  size_t at = 0;
  size_t copied = 0;
  for (size_t i = 0; joined && i < imported.size() && copied < chapters; ++i) {
    if (!imported[i]) continue;
    if (copied) {
      std::memcpy(joined + at, BREAK, sizeof BREAK);
      at += sizeof BREAK;
    }
    const size_t n = std::strlen(imported[i]);
    std::memcpy(joined + at, imported[i], n);
    at += n;
    ++copied;
  }
  if (joined) joined[at] = 0;
  for (char* chapter : owned) std::free(chapter);
  if (!joined) {
    MessageBoxWait(LangText(chapters ? LOAD_ERROR : NO_TEXT), BaseName(path));
    return 0;
  }

  std::free(text->text);
  std::free(text->lines);
  text->lines = nullptr;
  text->lineCount = 0;
  text->text = joined;
  JoinSoftBreaks(text);
  RejoinLoadedText(text, false);  // a book's paragraphs are its own
  LayoutLines(text, text->font, text->text, START_STYLE);

  // The title in code page 1252, else the path as for any file.
  std::string title = package.title;
  if (!title.empty()) {
    std::vector<char> buffer(title.begin(), title.end());
    buffer.push_back(0);
    EncodingGuess guess;
    guess.encoding = ENCODING_UTF8;
    const int32_t n = ConvertToCp1252(buffer.data(), int32_t(title.size()), guess);
    title.assign(buffer.data(), size_t(n));
    // The title bar shows what follows the last "/" of the name.
    for (char& c : title) {
      if (c == '/') c = '-';
    }
  }
  SetTextName(text, title.empty() ? path : title.c_str());
  if (incomplete) MessageBoxWait(LangText(LOAD_ERROR), BaseName(path));
  return 1;
}

}  // namespace

int LoadEpub(Text* text, const char* path) {
  if (!text || !path) return 0;
  try {
    return ReadEpub(text, path);
  } catch (...) {
    // Memory ran out in the bookkeeping (the chapters themselves are
    // malloc'd and checked): the reader is told, nothing is thrown on.
    GpTrace("EPUB: out of memory\n");
    Fail(LOAD_ERROR, path);
    return 0;
  }
}

int LoadDocumentFile(Text* text, const char* path) {
  if (path && NameHasExtension(path, "epub")) return LoadEpub(text, path);
  if (IsFb2ZipName(path)) return LoadFb2Zip(text, path);
  return LoadFromFile(text, path);
}
