// The PDF importer's stream scan: walks a PDF file for "stream" ... "endstream"
// pairs, classifies each by the filter names of the dictionary before it,
// undoes the supported filters and hands the content to ExtractText.
// Called by the document loader through ImportPdf.
#include "pdf/pdf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/text.h"
#include "pdf/content.h"
#include "pdf/document.h"
#include "pdf/internal.h"
#include "platform/trace.h"

namespace {

// Longest codec list: two X, then one letter for each of the ten filter rows.
constexpr int CODEC_LIST_SIZE = 16;

// Plain substring test inside dictionary[0..length).
bool DictHas(const char* dictionary, int32_t length, const char* name) {
  return FindInBuffer(dictionary, name, length) >= 0;
}

// One letter per filter name, in the fixed order of the checks (not in the
// order of the /Filter array), so [/ASCII85Decode /FlateDecode] and the
// reverse both give "F8".
void BuildCodecList(const char* dictionary, int32_t length, char* list) {
  int k = 0;
  if (DictHas(dictionary, length, "/Subtype")) list[k++] = 'X';
  if (DictHas(dictionary, length, "/DeviceRGB")) {
    list[k++] = 'X';
  } else if (DictHas(dictionary, length, "/Filter")) {
    static const struct {
      const char* name;
      char letter;
    } kFilters[] = {
        {"/FlateDecode", 'F'},    {"/ASCIIHexDecode", 'H'}, {"/ASCII85Decode", '8'},
        {"/RunLengthDecode", 'R'}, {"/LZWDecode", 'L'},     {"/CCITTFaxDecode", 'I'},
        {"/JBIG2Decode", 'I'},    {"/DCTDecode", 'I'},      {"/JPXDecode", 'I'},
        {"/CryptDecode", 'X'},
    };
    for (const auto& filter : kFilters) {
      if (DictHas(dictionary, length, filter.name)) list[k++] = filter.letter;
    }
  }
  list[k] = 0;
}

bool CodecListValid(const char* list) {
  static const char* const kValid[] = {"", "F", "H", "8", "FH", "F8"};
  for (const char* valid : kValid) {
    if (strcmp(list, valid) == 0) return true;
  }
  return false;
}

// Decodes one valid stream and feeds its content to the text scanner.
// False when memory ran out.
bool DecodeStream(PdfTextBuffer* text, const char* codecs, const uint8_t* data, int32_t length) {
  uint8_t* decoded = nullptr;  // owns the ASCII step's output, if any
  int32_t decoded_length = 0;
  int result = 1;
  if (strcmp(codecs, "FH") == 0 || strcmp(codecs, "H") == 0) {
    result = AsciiHexDecodeBuffer(data, length, &decoded, &decoded_length);
  } else if (strcmp(codecs, "F8") == 0 || strcmp(codecs, "8") == 0) {
    result = Ascii85DecodeBuffer(data, length, &decoded, &decoded_length);
  }
  if (result < 0) return false;
  if (result == 1 && decoded) {
    data = decoded;
    length = decoded_length;
  }
  if (codecs[0] == 'F') {
    uint8_t* inflated = nullptr;
    int32_t inflated_length = 0;
    result = FlateDecodeBuffer(data, length, &inflated, &inflated_length);
    if (result == 1) {
      text->decoded += uint64_t(inflated_length);
      ExtractText(text, inflated, inflated_length);
    }
    free(inflated);
  } else {
    ExtractText(text, data, length);
  }
  free(decoded);
  return result >= 0;
}

}  // namespace

bool PdfTextReserve(PdfTextBuffer* buffer, size_t extra) {
  if (buffer->failed || buffer->full) return false;
  // One byte stays for the terminator.
  if (buffer->length + extra >= size_t(TEXT_MAX_BYTES)) {
    buffer->full = true;
    return false;
  }
  if (extra <= buffer->capacity - buffer->length) return true;
  size_t wanted = buffer->length + extra;
  size_t capacity = buffer->capacity ? buffer->capacity : 4096;
  while (capacity < wanted) capacity *= 2;
  char* grown = static_cast<char*>(realloc(buffer->data, capacity));
  if (!grown) {
    buffer->failed = true;
    return false;
  }
  buffer->data = grown;
  buffer->capacity = capacity;
  return true;
}

bool PdfTextAppend(PdfTextBuffer* buffer, const char* bytes, size_t count) {
  if (!PdfTextReserve(buffer, count)) return false;
  memcpy(buffer->data + buffer->length, bytes, count);
  buffer->length += count;
  return true;
}

bool PdfTextReserveTerminator(PdfTextBuffer* buffer) {
  if (!buffer->failed && buffer->capacity - buffer->length < 1) {
    // Room for the terminator, also when the limit stopped the growth.
    char* grown = static_cast<char*>(realloc(buffer->data, buffer->length + 1));
    if (grown) {
      buffer->data = grown;
      buffer->capacity = buffer->length + 1;
    } else {
      buffer->failed = true;
    }
  }
  return !buffer->failed;
}

void PdfTextFree(PdfTextBuffer* buffer) {
  free(buffer->data);
  *buffer = PdfTextBuffer();
}

int32_t FindInBuffer(const char* buffer, const char* pattern, int32_t n) {
  size_t size = strlen(pattern);
  if (size == 0) return 0;
  if (!buffer || n <= 0 || size > size_t(n)) return -1;
  const char* last = buffer + (n - size);  // last possible start
  const char* p = buffer;
  while (p <= last) {
    p = static_cast<const char*>(memchr(p, pattern[0], size_t(last - p) + 1));
    if (!p) return -1;
    if (memcmp(p + 1, pattern + 1, size - 1) == 0) return int32_t(p - buffer);
    ++p;
  }
  return -1;
}

int pdf_to_text(char* input, int32_t length, char** output, bool* full) {
  if (!output) return -1;
  *output = nullptr;
  PdfTextBuffer text;
  if (input && length > 0 && length >= 4 && memcmp(input, "%PDF", 4) == 0) {
    char* scan = input;
    int32_t n = length;
    for (;;) {
      int32_t s = FindInBuffer(scan, "stream", n);
      int32_t E = FindInBuffer(scan, "endstream", n);
      if (s < 1 || E <= s) break;
      int32_t e = E;

      // The dictionary is the nearest "<< ... >" before "stream"; nested
      // dictionaries are not recognised, the innermost one ending there wins.
      int32_t g = s - 1;
      while (g >= 1 && scan[g] != '>') --g;
      int32_t d = -1;
      if (g >= 1) {
        for (int32_t k = g - 2; k >= 0; --k) {
          if (scan[k] == '<' && scan[k + 1] == '<') {
            d = k;
            break;
          }
        }
      }
      if (d > 0) {
        // The dictionary text is d+2 .. g-2; the zero goes over the first
        // '>' of ">>", which lies before "stream" and so inside the input.
        scan[g - 1] = 0;
        int32_t dict_length = g - 1 - (d + 2);
        if (dict_length < 0) dict_length = 0;
        char codecs[CODEC_LIST_SIZE];
        BuildCodecList(scan + d + 2, dict_length, codecs);
        bool valid = CodecListValid(codecs);
        GpTrace("Codecs %s, valid %c\n", codecs, valid ? 's' : 'n');
        if (valid) {
          int32_t start = s + 6;
          if (scan[start] == '\r' && scan[start + 1] == '\n') {
            start = s + 8;
          } else if (scan[start] == '\n') {
            start = s + 7;
          }
          if (scan[E - 2] == '\r' && scan[E - 1] == '\n') {
            e = E - 2;
          } else if (scan[E - 2] != '\r' && scan[E - 1] == '\n') {
            e = E - 1;
          }
          // The byte at e (CR, LF or the "e" of "endstream") is part of the
          // data, as stored files have always been read. "stream" right
          // before "endstream" leaves nothing (or less) to read.
          int32_t data_length = e - start + 1;
          if (data_length > 0 &&
              !DecodeStream(&text, codecs, reinterpret_cast<const uint8_t*>(scan + start),
                            data_length)) {
            text.failed = true;
          }
          if (text.failed || text.full) break;
          if (text.decoded > PDF_MAX_DECODED_BYTES) {
            GpTrace("pdf_to_text: decoding limit reached\n");
            text.cut = true;
            break;
          }
        }
      }
      // Moves into "endstream", past its "st", so the same keyword is not
      // found again.
      scan += e + 7;
      n -= e + 7;
    }
  }
  if (text.full) {
    GpTrace("pdf_to_text: text limit reached\n");
    if (full) *full = true;
  }
  if (!PdfTextReserveTerminator(&text)) {
    PdfTextFree(&text);
    GpTrace("Error in pdf_to_text\n");
    return -1;
  }
  // The text buffer itself becomes the output: one less copy of the text.
  text.data[text.length] = 0;
  *output = text.data;
  return 0;
}

namespace {

// Where "%PDF" starts: writers and mail programs sometimes put bytes in front,
// and the file's offsets then count from the header. -1 when it is not in the
// first kilobyte.
int32_t FindHeader(const char* input, int32_t length) {
  const int32_t span = length < 1024 ? length : 1024;
  return FindInBuffer(input, "%PDF", span);
}

// The text of a PDF read through its structure into *text. PDF_IMPORT_OK with
// *structured false when the structure could not be found at all.
int ReadStructuredPdf(const uint8_t* data, size_t size, PdfTextBuffer* text, bool* structured) {
  *structured = false;
  PdfDocument document;
  if (!PdfOpenDocument(&document, data, size)) return PDF_IMPORT_OK;
  if (document.encryption == PDF_ENCRYPTION_PASSWORD) {
    GpTrace("PDF: encrypted with a user password\n");
    return PDF_IMPORT_PASSWORD;
  }
  if (document.encryption == PDF_ENCRYPTION_UNSUPPORTED) {
    GpTrace("PDF: encrypted by an unknown handler or method\n");
    return PDF_IMPORT_PROTECTED;
  }
  bool anyText = false;
  if (!PdfExtractPages(&document, text, &anyText)) return PDF_IMPORT_OK;
  *structured = true;
  if (text->failed || document.memoryFailed) return PDF_IMPORT_FAILED;
  if (document.budgetSpent) text->cut = true;
  // A page cut at its bounds before it showed anything is a broken file, not
  // a book of pictures: what there is stays, with the loader's message.
  if (!anyText && !text->cut) return PDF_IMPORT_PICTURES;
  return PDF_IMPORT_OK;
}

}  // namespace

int ImportPdf(Text* text, char** buffer, int32_t length) {
  if (!buffer) return PDF_IMPORT_FAILED;
  char* input = *buffer;
  const int32_t header = input && length > 0 ? FindHeader(input, length) : -1;
  int result = PDF_IMPORT_OK;
  bool structured = false;
  PdfTextBuffer structuredText;
  if (header >= 0) {
    result = ReadStructuredPdf(reinterpret_cast<const uint8_t*>(input + header), size_t(length - header),
                               &structuredText, &structured);
  }
  char* output = nullptr;
  if (structured && result == PDF_IMPORT_OK) {
    if (structuredText.full) GpTrace("pdf_to_text: text limit reached\n");
    if (structuredText.cut) GpTrace("PDF: a page passed its bounds and lost some text\n");
    if ((structuredText.full || structuredText.cut) && text) text->incomplete = true;
    // The text buffer becomes the output, with its terminator.
    if (PdfTextReserveTerminator(&structuredText)) {
      structuredText.data[structuredText.length] = 0;
      output = structuredText.data;
      structuredText = PdfTextBuffer();
    } else {
      result = PDF_IMPORT_FAILED;
    }
  } else if (!structured && result == PDF_IMPORT_OK) {
    // No structure to read: the stream scan, as for every PDF before.
    bool full = false;
    if (pdf_to_text(input, length, &output, &full) != 0) {
      output = nullptr;
      result = PDF_IMPORT_FAILED;
    }
    if (full && text) text->incomplete = true;
  }
  PdfTextFree(&structuredText);
  free(*buffer);
  *buffer = output;
  return result;
}
