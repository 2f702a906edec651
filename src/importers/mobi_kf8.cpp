// KF8 text assembly: a KF8 book stores each XHTML file as a skeleton (the
// file with its main content cut out) followed by fragments that are put back
// into it at recorded places. The skeleton and fragment tables are index
// records (INDX, with their TAGX tag description and IDXT entry offsets); the
// flow table (FDST) says where the XHTML flow ends and style sheets begin.
// Called by the Kindle book reader.
#include <cstring>
#include <new>

#include "importers/mobi_internal.h"
#include "platform/bytes.h"
#include "platform/trace.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr uint32_t kMaxIndexRecords = 4096;
constexpr size_t kMaxEntries = 1000000;
// Putting fragments back moves the file's bytes after the place each time: a
// book whose tables make that quadratic stops here and shows what it has.
constexpr uint64_t kMoveBudget = 256ull * 1024 * 1024;

struct TagDescription {
  uint8_t tag;
  uint8_t valuesPerEntry;
  uint8_t mask;
  bool endOfControlByte;
};

// The tags this reader uses: 1 (skeleton: fragment count), 6 (start, length).
constexpr int kTags = 8;

struct IndexEntry {
  std::string label;
  std::vector<uint32_t> values[kTags];
};

// A forward variable-width integer: 7 bits a byte, most significant first, the
// last byte marked by its high bit. False when the data ends first.
bool ReadForwardInt(const uint8_t*& p, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 5 && p < end; ++i) {
    const uint8_t b = *p++;
    v = (v << 7) | (b & 0x7F);
    if (b & 0x80) {
      *value = v;
      return true;
    }
  }
  return false;
}

int BitCount(uint8_t v) {
  int n = 0;
  for (; v; v &= uint8_t(v - 1)) ++n;
  return n;
}

// Decodes one entry's control bytes and values (p..end) by the tag table.
bool ReadEntryTags(const std::vector<TagDescription>& tags, uint32_t controlBytes,
                   const uint8_t* p, const uint8_t* end, IndexEntry* entry) {
  if (uint32_t(end - p) < controlBytes) return false;
  const uint8_t* control = p;
  const uint8_t* controlEnd = p + controlBytes;
  p += controlBytes;
  struct Pending {
    uint8_t tag;
    uint32_t valueCount;  // entries of valuesPerEntry values, or 0 with valueBytes
    uint32_t valueBytes;  // bytes of values that follow, when the mask is full
    uint8_t valuesPerEntry;
  };
  std::vector<Pending> pending;
  for (const TagDescription& t : tags) {
    if (t.endOfControlByte) {
      ++control;
      continue;
    }
    if (control >= controlEnd) return false;
    uint8_t value = *control & t.mask;
    if (value == 0) continue;
    Pending item{t.tag, 0, 0, t.valuesPerEntry};
    if (value == t.mask && BitCount(t.mask) > 1) {
      // All bits set: a byte count of the values follows the control bytes.
      if (!ReadForwardInt(p, end, &item.valueBytes)) return false;
    } else {
      uint8_t mask = t.mask;
      while (!(mask & 1)) {
        mask >>= 1;
        value >>= 1;
      }
      item.valueCount = value;
    }
    pending.push_back(item);
  }
  for (const Pending& item : pending) {
    std::vector<uint32_t>* out = item.tag < kTags ? &entry->values[item.tag] : nullptr;
    uint32_t v = 0;
    if (item.valueBytes == 0) {
      const uint32_t n = item.valueCount * item.valuesPerEntry;
      for (uint32_t i = 0; i < n; ++i) {
        if (!ReadForwardInt(p, end, &v)) return false;
        if (out) out->push_back(v);
      }
    } else {
      const uint8_t* stop = p + (item.valueBytes < uint32_t(end - p) ? item.valueBytes : uint32_t(end - p));
      while (p < stop) {
        if (!ReadForwardInt(p, stop, &v)) return false;
        if (out) out->push_back(v);
      }
    }
  }
  return true;
}

// Reads the index whose primary record is record `primary`: its tag table and
// the entries of the data records after it, in order. False when the records
// are missing or malformed.
bool ReadIndex(const MobiRecords& records, uint32_t primary, std::vector<IndexEntry>* entries) {
  uint32_t size = 0;
  const uint8_t* r = records.Record(primary, &size);
  if (!r || size < 28 || std::memcmp(r, "INDX", 4) != 0) return false;
  const uint32_t headerLength = GetBe32(r + 4);
  const uint32_t dataRecords = GetBe32(r + 24);
  if (!MobiFieldFits(size, headerLength, 12) || std::memcmp(r + headerLength, "TAGX", 4) != 0) return false;
  const uint32_t tagxLength = GetBe32(r + headerLength + 4);
  const uint32_t controlBytes = GetBe32(r + headerLength + 8);
  if (tagxLength < 12 || !MobiFieldFits(size, headerLength, tagxLength) || controlBytes > 16) return false;
  std::vector<TagDescription> tags;
  for (uint32_t at = headerLength + 12; at + 4 <= headerLength + tagxLength; at += 4)
    tags.push_back(TagDescription{r[at], r[at + 1], r[at + 2], r[at + 3] == 1});
  if (dataRecords > kMaxIndexRecords || dataRecords >= records.count() - primary) return false;

  for (uint32_t d = primary + 1; d <= primary + dataRecords; ++d) {
    const uint8_t* rec = records.Record(d, &size);
    if (!rec || size < 28 || std::memcmp(rec, "INDX", 4) != 0) return false;
    const uint32_t idxt = GetBe32(rec + 20);
    const uint32_t count = GetBe32(rec + 24);
    if (!MobiFieldFits(size, idxt, 4) || std::memcmp(rec + idxt, "IDXT", 4) != 0) return false;
    if (count > (size - idxt - 4) / 2) return false;
    if (entries->size() + count > kMaxEntries) return false;
    for (uint32_t j = 0; j < count; ++j) {
      const uint32_t start = GetBe16(rec + idxt + 4 + 2 * j);
      // An entry ends where the next one starts, the last one at the IDXT.
      const uint32_t end = j + 1 < count ? GetBe16(rec + idxt + 4 + 2 * (j + 1)) : idxt;
      if (start >= end || end > size) return false;
      const uint8_t* p = rec + start;
      const uint8_t* stop = rec + end;
      const uint32_t labelLength = *p++;
      if (labelLength > uint32_t(stop - p)) return false;
      IndexEntry entry;
      entry.label.assign(reinterpret_cast<const char*>(p), labelLength);
      p += labelLength;
      if (!ReadEntryTags(tags, controlBytes, p, stop, &entry)) return false;
      entries->push_back(std::move(entry));
    }
  }
  return true;
}

// The first flow's range from the flow table, as stored; false when the book
// has none.
bool FirstFlow(const MobiRecords& records, uint32_t fdst, uint32_t* start, uint32_t* end) {
  uint32_t size = 0;
  const uint8_t* r = fdst == kNone ? nullptr : records.Record(fdst, &size);
  if (!r || size < 20 || std::memcmp(r, "FDST", 4) != 0) return false;
  const uint32_t table = GetBe32(r + 4);
  const uint32_t flows = GetBe32(r + 8);
  if (flows == 0 || !MobiFieldFits(size, table, 8)) return false;
  *start = GetBe32(r + table);
  *end = GetBe32(r + table + 4);
  return true;
}

}  // namespace

bool ReadKf8Layout(const MobiRecords& records, uint32_t base, const Kf8Tables& tables, Kf8Layout* layout) {
  auto absolute = [&](uint32_t index) { return index == kNone || index >= records.count() - base ? kNone : base + index; };
  try {
    layout->hasFlow = FirstFlow(records, absolute(tables.fdst), &layout->flowStart, &layout->flowEnd);
    std::vector<IndexEntry> skeletonEntries;
    std::vector<IndexEntry> fragmentEntries;
    const uint32_t skelIndex = absolute(tables.skeletons);
    const uint32_t fragIndex = absolute(tables.fragments);
    layout->indexed = skelIndex != kNone && fragIndex != kNone &&
                      ReadIndex(records, skelIndex, &skeletonEntries) &&
                      ReadIndex(records, fragIndex, &fragmentEntries) && !skeletonEntries.empty();
    if (!layout->indexed) {
      if (skelIndex != kNone) {
        GpTrace("KF8: skeleton or fragment table unreadable\n");
        layout->damaged = true;
      }
      return true;
    }
    for (const IndexEntry& e : skeletonEntries) {
      if (e.values[1].empty() || e.values[6].size() < 2) {
        layout->damaged = true;
        continue;
      }
      layout->skeletons.push_back(Kf8Skeleton{e.values[1][0], e.values[6][0], e.values[6][1]});
    }
    for (const IndexEntry& e : fragmentEntries) {
      // The label is the insert position in decimal.
      uint64_t insert = 0;
      bool number = !e.label.empty();
      for (char c : e.label) {
        number = number && c >= '0' && c <= '9' && insert < 0xFFFFFFFFull;
        insert = insert * 10 + uint64_t(c - '0');
      }
      if (!number || insert > 0xFFFFFFFFull || e.values[6].size() < 2) {
        layout->fragments.push_back(Kf8Fragment{kNone, 0});
        layout->damaged = true;
        continue;
      }
      layout->fragments.push_back(Kf8Fragment{uint32_t(insert), e.values[6][1]});
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool AssembleKf8(const Kf8Layout& layout, const char* text, uint32_t length, std::string* out,
                 std::vector<uint32_t>* starts, bool* incomplete) {
  if (layout.damaged) *incomplete = true;
  uint32_t flowStart = 0;
  uint32_t flowEnd = length;
  if (layout.hasFlow && layout.flowStart <= layout.flowEnd && layout.flowEnd <= length) {
    flowStart = layout.flowStart;
    flowEnd = layout.flowEnd;
  }
  try {
    if (!layout.indexed) {
      starts->push_back(uint32_t(out->size()));
      out->append(text + flowStart, flowEnd - flowStart);
      out->push_back('\0');
      return true;
    }
    const std::vector<Kf8Fragment>& fragments = layout.fragments;
    out->reserve(out->size() + (flowEnd - flowStart) + layout.skeletons.size());
    uint64_t moved = 0;
    size_t next = 0;  // fragments are taken in order, so many per file
    for (const Kf8Skeleton& s : layout.skeletons) {
      const size_t first = next;
      next += s.fragments;
      const uint64_t skelEnd = uint64_t(s.start) + s.length;
      if (s.start < flowStart || skelEnd > flowEnd) {
        GpTrace("KF8: skeleton outside the text\n");
        *incomplete = true;
        continue;
      }
      const size_t fileStart = out->size();
      starts->push_back(uint32_t(fileStart));
      out->append(text + s.start, s.length);
      uint64_t from = skelEnd;
      const size_t last = next < fragments.size() ? next : fragments.size();
      if (next > fragments.size()) *incomplete = true;
      for (size_t f = first; f < last; ++f) {
        const Kf8Fragment& frag = fragments[f];
        if (frag.insert == kNone || from + frag.length > flowEnd) {
          *incomplete = true;
          break;
        }
        // Insert positions count from the skeleton's start in the flow.
        uint64_t at = frag.insert >= s.start ? uint64_t(frag.insert - s.start) : 0;
        if (at > out->size() - fileStart) {
          *incomplete = true;
          at = out->size() - fileStart;
        }
        moved += out->size() - fileStart - at;
        if (moved > kMoveBudget) {
          GpTrace("KF8: fragment assembly stopped at its work limit\n");
          *incomplete = true;
          break;
        }
        out->insert(fileStart + size_t(at), text + from, frag.length);
        from += frag.length;
      }
      out->push_back('\0');
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
