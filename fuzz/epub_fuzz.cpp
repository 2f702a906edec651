// libFuzzer target for the EPUB package handling: the input is a container
// XML, a NUL byte, then a package XML (also read as an encryption list); each
// part lies in a buffer of exactly its size. The chapter paths must be
// non-empty, never hold a NUL, never start with "/" nor hold a ".." segment,
// and the spine never gives more than its limit.
// Seeds: the container.xml and content.opf files of tests/data/epub/*.epub
// joined by a NUL, for example
//   epub_fuzz -max_total_time=600 -dict=fuzz/epub_fuzz.dict corpus
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/epub.h"

namespace {

void CheckPath(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos || path[0] == '/') abort();
  if (path == ".." || path.compare(0, 3, "../") == 0 || path.find("/../") != std::string::npos) abort();
  if (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* nul = static_cast<const uint8_t*>(memchr(data, 0, size));
  const size_t containerSize = nul ? size_t(nul - data) : size;
  const size_t packageSize = nul ? size - containerSize - 1 : 0;
  char* container = static_cast<char*>(malloc(containerSize ? containerSize : 1));
  char* package = static_cast<char*>(malloc(packageSize ? packageSize : 1));
  memcpy(container, data, containerSize);
  if (packageSize) memcpy(package, nul + 1, packageSize);

  std::string root;
  if (EpubRootfilePath(container, containerSize, &root)) CheckPath(root);
  EpubPackage book;
  if (EpubReadPackage(package, packageSize, root.empty() ? "OEBPS/content.opf" : root, &book)) {
    if (book.chapters.size() > EPUB_MAX_SPINE_ITEMS) abort();
    for (const std::string& chapter : book.chapters) CheckPath(chapter);
  }
  std::vector<std::string> encrypted;
  EpubEncryptedPaths(package, packageSize, &encrypted);
  free(container);
  free(package);
  return 0;
}
