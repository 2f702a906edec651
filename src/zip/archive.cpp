// ZIP archive reader: end-record search, central-directory walk and entry
// reading (stored, or raw deflate through zlib), with the CRC-32 check on close.
// Every offset and size taken from the file is checked against the file's size
// before it is used for a seek, a read or an allocation.
#include "zip/archive.h"

#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/bytes.h"
#include "boxes/messagebox.h"

namespace {

constexpr uint32_t END_RECORD_SEARCH_LIMIT = 65535;
constexpr uint32_t SEARCH_STEP = 1024;
constexpr uint32_t CENTRAL_SIGNATURE = 0x02014b50;
constexpr uint32_t LOCAL_SIGNATURE = 0x04034b50;
constexpr uint32_t CENTRAL_RECORD_SIZE = 46;
constexpr uint32_t LOCAL_HEADER_SIZE = 30;
constexpr uint32_t FLAG_ENCRYPTED = 0x0001;
constexpr uint32_t FLAG_DATA_DESCRIPTOR = 0x0008;

// Seeks only to places inside the file (the end itself included).
bool SeekTo(FILE* file, uint64_t fileSize, uint64_t pos) {
  if (pos > fileSize) return false;
  return fseeko(file, off_t(pos), SEEK_SET) == 0;
}

// One read per field, as wide as the field; a short read is a failure.
bool ReadLe16(FILE* file, uint32_t* value) {
  uint8_t bytes[2];
  if (fread(bytes, 1, 2, file) != 2) return false;
  *value = GetLe16(bytes);
  return true;
}

bool ReadLe32(FILE* file, uint32_t* value) {
  uint8_t bytes[4];
  if (fread(bytes, 1, 4, file) != 4) return false;
  *value = GetLe32(bytes);
  return true;
}

// Offset of the end record's signature nearest the end of the file within its
// last 65535 bytes, or 0 when there is none (a record at byte 0 counts as none).
// Steps of 1024 bytes overlap by 4 so a signature across a step is still seen.
uint64_t FindEndRecord(FILE* file, uint64_t fileSize) {
  const uint64_t limit = fileSize < END_RECORD_SEARCH_LIMIT ? fileSize : END_RECORD_SEARCH_LIMIT;
  uint8_t buffer[SEARCH_STEP + 4];
  uint64_t distance = 4;
  while (distance < limit) {
    distance = distance + SEARCH_STEP > limit ? limit : distance + SEARCH_STEP;
    const uint64_t readPos = fileSize - distance;
    const size_t readSize = size_t(distance < sizeof(buffer) ? distance : sizeof(buffer));
    if (!SeekTo(file, fileSize, readPos) || fread(buffer, 1, readSize, file) != readSize) return 0;
    for (size_t i = readSize - 4 + 1; i-- > 0;) {
      if (buffer[i] == 0x50 && buffer[i + 1] == 0x4B && buffer[i + 2] == 0x05 && buffer[i + 3] == 0x06)
        return readPos + i;
    }
  }
  return 0;
}

// The positioning operations and ArchiveEntryInfo report an unreadable
// central-directory record to the user before returning the error.
int ReportBadRecord(int result) {
  MessageBoxWait("a", "error");
  return result;
}

// Reads the central-directory record at the archive's record position into
// info, and (when name is not null) the first min(name length, nameSize) bytes
// of its name into name. Moves the file position, so an open entry must seek
// again before its next chunk.
int ReadCentralRecord(ZipArchive* archive, ZipEntryInfo* info, uint32_t* localOffset, char* name,
                      uint32_t nameSize) {
  if (archive->entry) archive->entry->positioned = false;
  FILE* file = archive->file;
  if (!SeekTo(file, archive->fileSize, archive->recordPos + archive->bytesBefore)) return ZIP_ERRNO;
  // The fixed part in one read, then field by field from it: a walk of a
  // large archive reads thousands of records. A short read fails as a read of
  // the first missing field would, after the signature check.
  uint8_t bytes[CENTRAL_RECORD_SIZE];
  const size_t got = fread(bytes, 1, sizeof bytes, file);
  if (got < 4) return ZIP_ERRNO;
  if (GetLe32(bytes) != CENTRAL_SIGNATURE) return ZIP_BAD_ARCHIVE;
  if (got < sizeof bytes) return ZIP_ERRNO;
  ZipEntryInfo record;
  record.versionMadeBy = GetLe16(bytes + 4);
  record.versionNeeded = GetLe16(bytes + 6);
  record.flags = GetLe16(bytes + 8);
  record.method = GetLe16(bytes + 10);
  record.dosDate = GetLe32(bytes + 12);
  record.crc = GetLe32(bytes + 16);
  record.compressedSize = GetLe32(bytes + 20);
  record.uncompressedSize = GetLe32(bytes + 24);
  record.nameLength = GetLe16(bytes + 28);
  record.extraLength = GetLe16(bytes + 30);
  record.commentLength = GetLe16(bytes + 32);
  record.diskStart = GetLe16(bytes + 34);
  record.internalAttr = GetLe16(bytes + 36);
  record.externalAttr = GetLe32(bytes + 38);
  const uint32_t offset = GetLe32(bytes + 42);
  if (name && nameSize > 0) {
    // Read into a scratch copy so the caller's buffer is only touched once the
    // whole record has been read.
    const uint32_t copy = record.nameLength < nameSize ? record.nameLength : nameSize;
    char scratch[256];
    char* target = copy <= sizeof(scratch) ? scratch : static_cast<char*>(malloc(copy));
    if (!target) return ZIP_INTERNAL_ERROR;
    const bool ok = copy == 0 || fread(target, 1, copy, file) == copy;
    if (ok) {
      memcpy(name, target, copy);
      if (copy < nameSize) name[copy] = '\0';
    }
    if (target != scratch) free(target);
    if (!ok) return ZIP_ERRNO;
  }
  *info = record;
  *localOffset = offset;
  return ZIP_OK;
}

// Reads the record at the current record position as the current entry.
int PositionOnRecord(ZipArchive* archive) {
  const int result = ReadCentralRecord(archive, &archive->info, &archive->localHeaderOffset, nullptr, 0);
  archive->entryValid = result == ZIP_OK;
  if (result != ZIP_OK) return ReportBadRecord(result);
  return ZIP_OK;
}

void FreeEntryStream(ZipEntryStream* stream) {
  if (stream->inflateReady) inflateEnd(&stream->inflate);
  free(stream->readBuffer);
  delete stream;
}

}  // namespace

ZipArchive* ArchiveOpen(const char* path) {
  if (!path) return nullptr;
  FILE* file = fopen(path, "rb");
  if (!file) return nullptr;
  off_t end = -1;
  if (fseeko(file, 0, SEEK_END) == 0) end = ftello(file);
  if (end < 0) {
    fclose(file);
    return nullptr;
  }
  const uint64_t fileSize = uint64_t(end);
  const uint64_t recordPos = FindEndRecord(file, fileSize);
  if (recordPos == 0) {
    fclose(file);
    return nullptr;
  }
  // The signature was found by the search; the fields follow it.
  uint32_t disk = 0, cdDisk = 0, diskEntries = 0, totalEntries = 0, cdSize = 0, cdOffset = 0, commentLength = 0;
  const bool read = SeekTo(file, fileSize, recordPos + 4) && ReadLe16(file, &disk) && ReadLe16(file, &cdDisk) &&
                    ReadLe16(file, &diskEntries) && ReadLe16(file, &totalEntries) && ReadLe32(file, &cdSize) &&
                    ReadLe32(file, &cdOffset) && ReadLe16(file, &commentLength);
  // 64-bit sum: sizes of 0xFFFFFFFF must not wrap around into a plausible value.
  const uint64_t cdEnd = uint64_t(cdOffset) + cdSize;
  if (!read || diskEntries != totalEntries || disk != 0 || cdDisk != 0 || recordPos < cdEnd) {
    fclose(file);
    return nullptr;
  }
  ZipArchive* archive = new (std::nothrow) ZipArchive();
  if (!archive) {
    fclose(file);
    return nullptr;
  }
  archive->file = file;
  archive->fileSize = fileSize;
  archive->entryCount = totalEntries;
  archive->commentLength = commentLength;
  archive->bytesBefore = recordPos - cdEnd;
  archive->endRecordPos = recordPos;
  archive->cdSize = cdSize;
  archive->cdOffset = cdOffset;
  archive->entryValid = false;
  archive->entry = nullptr;
  return archive;
}

int ArchiveClose(ZipArchive* archive) {
  if (!archive) return ZIP_PARAM_ERROR;
  if (archive->entry) ArchiveCloseEntry(archive);
  fclose(archive->file);
  delete archive;
  return ZIP_OK;
}

int ArchiveFirstEntry(ZipArchive* archive) {
  if (!archive) return ZIP_PARAM_ERROR;
  archive->entryNumber = 0;
  archive->recordPos = archive->cdOffset;
  // An empty archive has no record to read: the end record follows at once,
  // and reading it as an entry would report a valid archive as damaged.
  if (archive->entryCount == 0) {
    archive->entryValid = false;
    return ZIP_END_OF_LIST;
  }
  return PositionOnRecord(archive);
}

int ArchiveNextEntry(ZipArchive* archive) {
  if (!archive) return ZIP_PARAM_ERROR;
  if (!archive->entryValid || archive->entryNumber + 1 >= archive->entryCount) return ZIP_END_OF_LIST;
  const ZipEntryInfo& info = archive->info;
  archive->recordPos += uint64_t(CENTRAL_RECORD_SIZE) + info.nameLength + info.extraLength + info.commentLength;
  archive->entryNumber++;
  return PositionOnRecord(archive);
}

int ArchiveEntryInfo(ZipArchive* archive, ZipEntryInfo* info, char* name, uint32_t nameSize) {
  if (!archive || !archive->entryValid) return ZIP_PARAM_ERROR;
  ZipEntryInfo record;
  uint32_t localOffset = 0;
  const int result = ReadCentralRecord(archive, &record, &localOffset, name, nameSize);
  if (result != ZIP_OK) return ReportBadRecord(result);
  if (info) *info = record;
  return ZIP_OK;
}

int ArchiveOpenEntry(ZipArchive* archive) {
  if (!archive || !archive->entryValid) return ZIP_PARAM_ERROR;
  if (archive->entry) ArchiveCloseEntry(archive);
  const ZipEntryInfo& info = archive->info;
  if (info.method != 0 && info.method != 8) return ZIP_BAD_ARCHIVE;
  // Encrypted data would be shown as garbage (or fail as corrupt deflate data).
  if (info.flags & FLAG_ENCRYPTED) return ZIP_BAD_ARCHIVE;
  // The caller allocates the uncompressed size: absurd sizes stop here.
  if (info.uncompressedSize > ZIP_MAX_ENTRY_SIZE) return ZIP_BAD_ARCHIVE;

  FILE* file = archive->file;
  // The local header in one read; a short one fails as a damaged archive.
  uint8_t bytes[LOCAL_HEADER_SIZE];
  if (!SeekTo(file, archive->fileSize, uint64_t(archive->localHeaderOffset) + archive->bytesBefore) ||
      fread(bytes, 1, sizeof bytes, file) != sizeof bytes)
    return ZIP_BAD_ARCHIVE;
  const uint32_t signature = GetLe32(bytes), flags = GetLe16(bytes + 6), method = GetLe16(bytes + 8);
  const uint32_t crc = GetLe32(bytes + 14), compressedSize = GetLe32(bytes + 18);
  const uint32_t uncompressedSize = GetLe32(bytes + 22), nameLength = GetLe16(bytes + 26);
  const uint32_t extraLength = GetLe16(bytes + 28);
  if (signature != LOCAL_SIGNATURE || method != info.method || nameLength != info.nameLength)
    return ZIP_BAD_ARCHIVE;
  if (!(flags & FLAG_DATA_DESCRIPTOR) &&
      (crc != info.crc || compressedSize != info.compressedSize || uncompressedSize != info.uncompressedSize))
    return ZIP_BAD_ARCHIVE;
  const uint64_t dataPos = uint64_t(archive->localHeaderOffset) + LOCAL_HEADER_SIZE + nameLength + extraLength;
  // All of the entry's data must lie inside the file.
  if (archive->bytesBefore + dataPos + info.compressedSize > archive->fileSize) return ZIP_BAD_ARCHIVE;

  ZipEntryStream* stream = new (std::nothrow) ZipEntryStream();
  if (!stream) return ZIP_INTERNAL_ERROR;
  stream->readBuffer = static_cast<uint8_t*>(malloc(ZIP_READ_CHUNK));
  if (!stream->readBuffer) {
    delete stream;
    return ZIP_INTERNAL_ERROR;
  }
  stream->inflateReady = false;
  stream->positioned = false;
  stream->failed = false;
  stream->dataPos = dataPos;
  stream->crc = 0;
  stream->expectedCrc = info.crc;
  stream->compressedLeft = info.compressedSize;
  stream->uncompressedLeft = info.uncompressedSize;
  stream->method = info.method;
  stream->file = file;
  stream->bytesBefore = archive->bytesBefore;
  stream->pending = stream->readBuffer;
  stream->pendingCount = 0;
  if (info.method == 8) {
    memset(&stream->inflate, 0, sizeof(stream->inflate));
    // Raw deflate data: no zlib header, hence the negative window bits.
    if (inflateInit2(&stream->inflate, -MAX_WBITS) != Z_OK) {
      // Reading through a stream zlib did not set up would be undefined.
      FreeEntryStream(stream);
      return ZIP_INTERNAL_ERROR;
    }
    stream->inflateReady = true;
  }
  archive->entry = stream;
  return ZIP_OK;
}

int ArchiveReadEntry(ZipArchive* archive, void* buffer, uint32_t length) {
  if (!archive || !archive->entry) return ZIP_PARAM_ERROR;
  ZipEntryStream* stream = archive->entry;
  if (!stream->readBuffer) return ZIP_END_OF_LIST;
  if (length == 0) return 0;
  if (!buffer) return ZIP_PARAM_ERROR;
  if (stream->failed) return ZIP_ERRNO;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t room = length < stream->uncompressedLeft ? length : stream->uncompressedLeft;
  uint32_t delivered = 0;

  while (room > 0) {
    // Stored data goes straight from the file into the caller's buffer; only
    // deflated data passes through the read buffer.
    const bool stored = stream->method == 0;
    if (stream->pendingCount == 0 && stream->compressedLeft > 0) {
      uint32_t chunk = stream->compressedLeft < ZIP_READ_CHUNK ? stream->compressedLeft : ZIP_READ_CHUNK;
      if (stored && chunk > room) chunk = room;
      if (!stream->positioned) {
        if (!SeekTo(stream->file, archive->fileSize, stream->dataPos + stream->bytesBefore)) {
          stream->failed = true;
          return ZIP_ERRNO;
        }
        stream->positioned = true;
      }
      uint8_t* target = stored ? out : stream->readBuffer;
      if (fread(target, 1, chunk, stream->file) != chunk) {
        stream->failed = true;
        return ZIP_ERRNO;
      }
      stream->dataPos += chunk;
      stream->compressedLeft -= chunk;
      if (stored) {
        stream->crc = uint32_t(crc32(stream->crc, target, chunk));
        out += chunk;
        room -= chunk;
        stream->uncompressedLeft -= chunk;
        delivered += chunk;
        continue;
      }
      stream->pending = stream->readBuffer;
      stream->pendingCount = chunk;
    }
    // A stored entry whose compressed size is short of its uncompressed size
    // has run out of data: deliver what there is instead of waiting for more.
    if (stored) break;

    z_stream& z = stream->inflate;
    z.next_in = stream->pending;
    z.avail_in = stream->pendingCount;
    z.next_out = out;
    z.avail_out = room;
    const int status = inflate(&z, Z_SYNC_FLUSH);
    const uint32_t produced = room - z.avail_out;
    stream->pending = z.next_in;
    stream->pendingCount = z.avail_in;
    stream->crc = uint32_t(crc32(stream->crc, out, produced));
    stream->uncompressedLeft -= produced;
    out += produced;
    room -= produced;
    delivered += produced;
    if (status == Z_STREAM_END) break;
    // No progress with all input used: the deflate data ends before the
    // recorded size; the read ends with what was delivered.
    if (status == Z_BUF_ERROR && stream->pendingCount == 0) {
      if (stream->compressedLeft == 0) break;
      continue;
    }
    if (status != Z_OK) return status < 0 ? status : Z_DATA_ERROR;
  }
  return int(delivered);
}

int ArchiveCloseEntry(ZipArchive* archive) {
  if (!archive || !archive->entry) return ZIP_PARAM_ERROR;
  ZipEntryStream* stream = archive->entry;
  int result = ZIP_OK;
  if (stream->uncompressedLeft == 0 && stream->crc != stream->expectedCrc) result = ZIP_CRC_ERROR;
  FreeEntryStream(stream);
  archive->entry = nullptr;
  return result;
}
