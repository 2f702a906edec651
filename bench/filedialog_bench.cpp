// Cost of opening the file dialog's lists: a folder of 5,000 names like a
// card's book folder (counting and listing, attribute queries, rows, sort by
// the names as shown, drawing) and an archive list of 400 rows
// (tests/data/files/many.zip: walking the central directory, rows, sort,
// drawing). Measure with
//   valgrind --tool=callgrind --toggle-collect="*ListFolderOnce*" ./filedialog_bench
//       --benchmark_filter=FolderFixed
//   valgrind --tool=callgrind --toggle-collect="*ListArchiveOnce*" ./filedialog_bench
//       --benchmark_filter=ArchiveFixed
// and divide the collected count by their 5 and 20 iterations (targets: 60
// million for the folder, 10 million for the archive list).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_platform.h"
#include "platform/files.h"
#include "platform/font.h"
#include "platform/video.h"
#include "ui/filedialog.h"
#include "ui/filelist.h"
#include "zip/archive.h"

namespace {

std::string g_folder;
constexpr int FOLDER_NAMES = 5000;

void StartPlatform() {
  if (!StartBenchPlatform(false)) return;
  // 5,000 files with names like a card's, in mixed case, some with accented
  // UTF-8 letters: 5,002 names with "." and "..".
  char templ[] = "/tmp/quillo-bench-folder-XXXXXX";
  if (!mkdtemp(templ)) std::abort();
  g_folder = std::string(templ) + "/";
  static const char* const kAuthors[] = {"Austen", "cervantes", "Gald\xC3\xB3s", "\xC3\x89mile Zola", "tolstoy"};
  for (int i = 0; i < FOLDER_NAMES; ++i) {
    char name[160];
    std::snprintf(name, sizeof name, "%s%s - Chapter %04d of the book%s", g_folder.c_str(), kAuthors[i % 5],
                  (i * 37) % FOLDER_NAMES, i % 5 ? ".txt" : ".jpg");
    if (FILE* f = std::fopen(name, "w")) std::fclose(f);
  }
}

void SetLook(FileList* list) {
  list->x = 30;
  list->y = 73;
  list->width = 260;
  list->height = 117;
  list->colours[LIST_BACKGROUND] = 0x0290;
  list->colours[LIST_FOLDER_TEXT] = 0xC000;
  list->colours[LIST_SELECTION_BAR] = 0xFFC0;
  list->colours[LIST_FILE_TEXT] = 0xFFDF;
  list->colours[LIST_SELECTED_TEXT] = 0x0018;
}

__attribute__((noinline)) int ListFolderOnce() {
  std::unique_ptr<char[]> names;
  int stored = 0;
  ListFolder(g_folder.c_str(), &names, &stored);
  FileList list;
  SetLook(&list);
  BuildFolderList(&list, g_folder.c_str(), names.get(), stored);
  FileListDraw(&list);
  const int count = list.count;
  std::free(list.rows);
  return count;
}

__attribute__((noinline)) int ListArchiveOnce(FileListEntry* rows) {
  ZipArchive* archive = ArchiveOpen(QUILLO_SOURCE_DIR "/tests/data/files/many.zip");
  if (!archive) return -1;
  FileList list;
  SetLook(&list);
  list.rows = rows;
  BuildArchiveList(&list, archive, "", ARCHIVE_LIST_ROWS);
  FileListDraw(&list);
  ArchiveClose(archive);
  return list.count;
}

void BM_FolderList(benchmark::State& state) {
  StartPlatform();
  for (auto _ : state) {
    if (ListFolderOnce() != FOLDER_NAMES + 1) {
      state.SkipWithError("the folder did not list 5,001 rows");
      break;
    }
  }
}
BENCHMARK(BM_FolderList);
BENCHMARK(BM_FolderList)->Name("FolderFixed")->Iterations(5);

void BM_ArchiveList(benchmark::State& state) {
  StartPlatform();
  std::vector<FileListEntry> rows(ARCHIVE_LIST_ROWS);
  for (auto _ : state) {
    if (ListArchiveOnce(rows.data()) != 401) {
      state.SkipWithError("many.zip did not give 401 rows");
      break;
    }
  }
}
BENCHMARK(BM_ArchiveList);
BENCHMARK(BM_ArchiveList)->Name("ArchiveFixed")->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
