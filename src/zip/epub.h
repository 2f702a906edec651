// EPUB books: a ZIP archive whose META-INF/container.xml names a package file,
// whose spine lists the XHTML chapters in reading order. The container and
// package files are parsed with expat; the chapters go through the UTF-8
// conversion and the HTML importer and are joined into one formatted text,
// a page break between chapters. Used by the file dialog, the recent files and
// the page renderer tool.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct Text;

// At most this many spine items are read; the rest of a longer spine is left
// out. Manifest items past their limit are skipped the same way.
constexpr size_t EPUB_MAX_SPINE_ITEMS = 10000;
constexpr size_t EPUB_MAX_MANIFEST_ITEMS = 20000;

// What the package file says: the title (UTF-8, blanks collapsed, possibly
// empty) and the archive paths of the spine's (X)HTML items in spine order.
struct EpubPackage {
  std::string title;
  std::vector<std::string> chapters;
  // Set when items past the spine's or manifest's bound, or with an id or
  // path too long to keep, were left out: the book may miss some text.
  bool cut = false;
};

// The archive path of the first rootfile of media type
// application/oebps-package+xml in the container XML (length bytes at xml;
// nothing past them is read), %XX escapes decoded. False when the XML is not
// well formed or names no such rootfile.
bool EpubRootfilePath(const char* xml, size_t length, std::string* path);

// Parses the package XML of the package file at packagePath (an archive path:
// the manifest's hrefs are relative to its folder). Spine items whose manifest
// item is missing or not application/xhtml+xml or text/html are skipped;
// linear="no" items are kept in spine order. False when the XML is not well
// formed.
bool EpubReadPackage(const char* xml, size_t length, const std::string& packagePath, EpubPackage* package);

// The archive paths listed by the CipherReference elements of
// META-INF/encryption.xml. False when the XML is not well formed.
bool EpubEncryptedPaths(const char* xml, size_t length, std::vector<std::string>* paths);

// Resolves href against the folder of base (both archive paths): the fragment
// dropped, %XX escapes decoded, "." and ".." segments applied (never above the
// archive's root), a leading "/" meaning the root.
std::string EpubResolvePath(const std::string& base, const char* href);

// Opens the EPUB file at path as the document: the chapters joined, the
// title (code page 1252) as the Text object's name, or the path when the book
// has none. Returns 1 when the book was loaded; 0, after a message box, when
// it is not a ZIP archive, has no container or package, is protected or has no
// readable chapter: the document then stays as it was.
int LoadEpub(Text* text, const char* path);

// The file dialog's and recent files' way to open a file from the card:
// LoadEpub for names ending ".epub", LoadFb2Zip (fb2zip.h) for ".fb2.zip",
// LoadFromFile for everything else.
int LoadDocumentFile(Text* text, const char* path);
