// Shared by the parts of the Kindle book reader (mobi.cpp, mobi_kf8.cpp,
// huffcdic.cpp): views of the Palm database's records, the HUFF/CDIC decoder
// and the KF8 assembly. Not for use outside src/importers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The database's records as views of the file. Record i runs from its offset to
// the next record's offset (the last one to the end of the file), cut at the
// end of the file; a record that the file does not hold is empty.
struct MobiRecords {
  const uint8_t* file = nullptr;
  uint32_t length = 0;
  std::vector<uint32_t> offsets;  // one per record, non-decreasing
  bool cut = false;               // some record reached past the end of the file

  uint32_t count() const { return uint32_t(offsets.size()); }
  // The bytes of record i and their count; null and 0 for a record that does not exist.
  const uint8_t* Record(uint32_t i, uint32_t* size) const;
};

// Reading a record's field: false when it does not lie inside the record.
inline bool MobiFieldFits(uint32_t recordSize, uint32_t offset, uint32_t bytes) {
  return offset <= recordSize && bytes <= recordSize - offset;
}

// A HUFF/CDIC decoder built from the HUFF record and the CDIC records that
// follow it. Phrases point into the records (which must outlive the decoder);
// phrases that are themselves compressed are expanded once, when first used.
class HuffCdic;
struct HuffCdicDeleter {
  void operator()(HuffCdic* decoder) const;
};
using HuffCdicPtr = std::unique_ptr<HuffCdic, HuffCdicDeleter>;

// Builds the decoder from records first .. first + count - 1 (the HUFF record,
// then its CDIC records). Null when they are missing, malformed or memory runs out.
HuffCdicPtr HuffCdicCreate(const MobiRecords& records, uint32_t first, uint32_t count);

// Appends the decompressed bytes of one text record (size bytes at data, its
// trailing entries already removed) to out. False, with what decoded before the
// fault appended, when a code or phrase is invalid, phrases nest too deeply or
// the record would decode to more than MOBI_RECORD_MAX_OUTPUT bytes.
bool HuffCdicDecode(HuffCdic* decoder, const uint8_t* data, uint32_t size, std::string* out);

// No text record of a real book decodes to more than a few kilobytes.
constexpr uint32_t MOBI_RECORD_MAX_OUTPUT = 65536;

// The indices of the KF8 header's tables (relative to the KF8 record 0), each
// 0xFFFFFFFF when absent.
struct Kf8Tables {
  uint32_t fdst = 0xFFFFFFFF;
  uint32_t fragments = 0xFFFFFFFF;
  uint32_t skeletons = 0xFFFFFFFF;
};

struct Kf8Skeleton {
  uint32_t fragments;  // how many of the fragments, in order, belong to this file
  uint32_t start;      // the skeleton's bytes in the flow
  uint32_t length;
};

struct Kf8Fragment {
  uint32_t insert;  // position in the file being assembled, counted from its skeleton's start in the flow; 0xFFFFFFFF unreadable
  uint32_t length;  // its bytes follow the skeleton's (or the fragment's before it) in the flow
};

// What the KF8 tables say, read before the text is decompressed so that the
// file can be let go before the text is assembled.
struct Kf8Layout {
  bool hasFlow = false;  // the flow table gives the first flow's range
  uint32_t flowStart = 0;
  uint32_t flowEnd = 0;
  bool indexed = false;  // the skeleton and fragment tables were read
  bool damaged = false;  // a table or an entry could not be read
  std::vector<Kf8Skeleton> skeletons;
  std::vector<Kf8Fragment> fragments;
};

// Reads the flow table and the skeleton and fragment index tables (INDX
// records with their TAGX tag table and IDXT entry offsets) whose indices,
// relative to the KF8 record 0 at base, are in tables. Tables that are missing
// or malformed leave layout->indexed false. False only when memory runs out.
bool ReadKf8Layout(const MobiRecords& records, uint32_t base, const Kf8Tables& tables, Kf8Layout* layout);

// The XHTML files of a KF8 book in reading order, built from its text (the
// decompressed text records, length bytes) by the layout: each skeleton with
// its fragments put back. Each file is written to out followed by one NUL;
// starts receives the offset of each file in out. Without the index tables the
// first flow is one file. Sets *incomplete when the layout was damaged, an
// entry points outside the text or the assembly stops at its work limit.
// False when memory runs out.
bool AssembleKf8(const Kf8Layout& layout, const char* text, uint32_t length, std::string* out,
                 std::vector<uint32_t>* starts, bool* incomplete);
