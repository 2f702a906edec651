// Throughput of the PDF importer (ImportPdf on a whole file in memory).
//   pdf_bench [benchmark flags] [--file=PATH]   Google Benchmark run; without
//       a file, a built-in PDF of 2,000 Flate-compressed text pages is used.
//   pdf_bench --once PATH   one extraction, then the text size and the peak
//       resident memory (for the side-by-side run of scripts/bench-pdf.sh).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "pdf/pdf.h"

namespace {

std::string g_file;  // the PDF's bytes

bool ReadFile(const char* path, std::string* out) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out->append(chunk, n);
  fclose(f);
  return true;
}

// A PDF of text pages as a typesetter writes them: one Flate content stream
// per page with Td, TJ arrays and kerning numbers.
std::string BuiltInPdf(int pages) {
  static const char* const kWords[] = {"harbour", "ledger", "tide", "schooner", "herring", "pilot",
                                       "barge", "lantern", "quay", "carpenter", "timber", "gale",
                                       "ferry", "the", "and", "of", "a", "to", "with", "was"};
  std::string pdf = "%PDF-1.4\n";
  uint32_t seed = 7;
  for (int page = 0; page < pages; ++page) {
    std::string content = "BT /F1 10 Tf 72 760 Td 12 TL\n";
    for (int line = 0; line < 55; ++line) {
      content += "[(";
      for (int word = 0; word < 11; ++word) {
        seed = seed * 1103515245 + 12345;
        content += kWords[(seed >> 16) % 20];
        content += word % 3 == 2 ? ")-250(" : " ";
      }
      content += ")] TJ 0 -12 Td\n";
    }
    content += "ET\n";
    uLongf size = compressBound(uLong(content.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
              reinterpret_cast<const Bytef*>(content.data()), uLong(content.size()), 6);
    packed.resize(size);
    pdf += std::to_string(page + 4) + " 0 obj\n<</Length " + std::to_string(size) +
           "/Filter/FlateDecode>>\nstream\n" + packed + "\nendstream\nendobj\n";
  }
  return pdf + "trailer\n<</Root 1 0 R>>\n%%EOF\n";
}

// ImportPdf takes a malloc'd copy, as the loader hands it over.
size_t ExtractOnce() {
  char* buffer = static_cast<char*>(malloc(g_file.size() + 1));
  memcpy(buffer, g_file.data(), g_file.size());
  buffer[g_file.size()] = 0;
  ImportPdf(nullptr, &buffer, int32_t(g_file.size()));
  size_t length = buffer ? strlen(buffer) : 0;
  free(buffer);
  return length;
}

void BM_ImportPdf(benchmark::State& state) {
  size_t text = 0;
  for (auto _ : state) text = ExtractOnce();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_file.size()));
  state.counters["file_bytes"] = double(g_file.size());
  state.counters["text_bytes"] = double(text);
}

long PeakKb() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  // Every stream prints a trace line; the figures are about extraction.
  if (!freopen("/dev/null", "w", stdout)) return 1;
  if (argc == 3 && strcmp(argv[1], "--once") == 0) {
    // The file is read straight into the buffer the loader would hand over,
    // so the peak is the importer's own: that buffer, the text, one stream.
    long before = PeakKb();
    FILE* f = fopen(argv[2], "rb");
    if (!f || fseek(f, 0, SEEK_END) != 0) {
      fprintf(stderr, "cannot read %s\n", argv[2]);
      return 1;
    }
    long size = ftell(f);
    rewind(f);
    char* buffer = static_cast<char*>(malloc(size_t(size) + 1));
    if (!buffer || fread(buffer, 1, size_t(size), f) != size_t(size)) return 1;
    fclose(f);
    buffer[size] = 0;
    ImportPdf(nullptr, &buffer, int32_t(size));
    size_t text = buffer ? strlen(buffer) : 0;
    free(buffer);
    fprintf(stderr, "file %ld bytes, text %zu bytes, peak RSS %ld KB (%ld KB before reading)\n", size,
            text, PeakKb(), before);
    return 0;
  }
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (strncmp(argv[i], "--file=", 7) == 0) {
      if (!ReadFile(argv[i] + 7, &g_file)) {
        fprintf(stderr, "cannot read %s\n", argv[i] + 7);
        return 1;
      }
    } else {
      args.push_back(argv[i]);
    }
  }
  if (g_file.empty()) g_file = BuiltInPdf(2000);
  int count = int(args.size());
  benchmark::Initialize(&count, args.data());
  // Results go to standard error: standard output is closed to the traces.
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  benchmark::RegisterBenchmark("ImportPdf", BM_ImportPdf)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
