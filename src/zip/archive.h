// Read-only access to the entries of ZIP archives: finds the end record, walks
// the central directory one record at a time and delivers the bytes of stored
// or deflated entries. Used by the file dialog, the recent-files chooser and the
// page renderer tool (through archive_load.h).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdio>

enum : int {
  ZIP_OK = 0,
  ZIP_ERRNO = -1,            // a seek or read failed, or no end record was found
  ZIP_END_OF_LIST = -100,    // no further entry, or the open entry has nothing to read from
  ZIP_PARAM_ERROR = -102,    // no handle, no valid current entry, or no open entry
  ZIP_BAD_ARCHIVE = -103,    // wrong signature or a failed consistency check
  ZIP_INTERNAL_ERROR = -104, // no memory for reading an entry
  ZIP_CRC_ERROR = -105,      // the entry's data does not match its recorded CRC-32
};

// Size of the read buffer of an open entry, and so of each read from the file.
constexpr uint32_t ZIP_READ_CHUNK = 65536;
// Largest uncompressed entry that is opened: the console's whole memory. Larger
// (or absurd) sizes are refused before the caller allocates anything.
constexpr uint32_t ZIP_MAX_ENTRY_SIZE = 64u * 1024u * 1024u;

// General purpose flag: the entry's name (and comment) are UTF-8.
constexpr uint32_t ZIP_FLAG_UTF8 = 0x0800;

// One central-directory record, every field widened to 32 bits.
struct ZipEntryInfo {
  uint32_t versionMadeBy;
  uint32_t versionNeeded;
  uint32_t flags;             // general purpose flags; bit 3: data descriptor follows the data,
                              // bit 11 (ZIP_FLAG_UTF8): the name is UTF-8
  uint32_t method;            // 0 stored, 8 deflated; others are refused on open
  uint32_t dosDate;           // DOS time (low 16 bits) and date (high 16 bits)
  uint32_t crc;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  uint32_t nameLength;
  uint32_t extraLength;
  uint32_t commentLength;
  uint32_t diskStart;
  uint32_t internalAttr;
  uint32_t externalAttr;
};

// State of the one open entry of an archive; owned by the archive handle.
struct ZipEntryStream {
  uint8_t* readBuffer;        // ZIP_READ_CHUNK bytes of compressed data
  z_stream inflate;
  bool inflateReady;          // inflateInit2 succeeded, inflateEnd is due
  bool positioned;            // the file position is at dataPos + bytesBefore
  bool failed;                // a read of the file failed; further reads fail too
  uint64_t dataPos;           // next unread byte of the entry's data, relative to the archive
  uint32_t crc;               // running CRC-32 of the bytes delivered so far
  uint32_t expectedCrc;
  uint32_t compressedLeft;
  uint32_t uncompressedLeft;
  uint32_t method;
  FILE* file;                 // the archive's file, not owned
  uint64_t bytesBefore;
  uint8_t* pending;           // unconsumed compressed bytes in readBuffer
  uint32_t pendingCount;
};

// One open archive; created by ArchiveOpen, freed by ArchiveClose.
struct ZipArchive {
  FILE* file;                 // opened "rb", owned
  uint64_t fileSize;
  uint32_t entryCount;
  uint32_t commentLength;
  uint64_t bytesBefore;       // data prepended to the archive; added to every offset read
  uint32_t entryNumber;       // index of the current entry
  uint64_t recordPos;         // current central-directory record, relative to the archive
  bool entryValid;            // the last positioning read the current record without error
  uint64_t endRecordPos;      // file offset of the end-of-central-directory record
  uint32_t cdSize;
  uint32_t cdOffset;
  ZipEntryInfo info;          // of the current entry
  uint32_t localHeaderOffset; // of the current entry
  ZipEntryStream* entry;      // the open entry, or null
};

// Opens the archive at path (a C library path) and checks its end record.
// Returns a new handle with no current entry, or null when the file cannot be
// read, has no end record in its last 65535 bytes, spans several disks or has
// inconsistent directory figures. The caller frees the handle with ArchiveClose.
ZipArchive* ArchiveOpen(const char* path);
// Closes the open entry (its result ignored) and the file, frees the handle.
// ZIP_PARAM_ERROR for a null handle, else ZIP_OK.
int ArchiveClose(ZipArchive* archive);

// Makes the first central-directory record current. ZIP_END_OF_LIST for an
// archive without entries; ZIP_ERRNO or ZIP_BAD_ARCHIVE (after a message box)
// when the record cannot be read.
int ArchiveFirstEntry(ZipArchive* archive);
// Moves to the next record. ZIP_END_OF_LIST when there is no current entry or it
// is the last one (it then stays current); errors as for ArchiveFirstEntry.
int ArchiveNextEntry(ZipArchive* archive);
// Reads the current record again into info (when not null) and its name into
// name. A name shorter than nameSize is copied with a terminating zero byte; a
// longer one fills all nameSize bytes WITHOUT a terminator, so callers that use
// it as a string must bound it. Nothing is written unless the whole record was
// read. ZIP_PARAM_ERROR without a valid current entry.
int ArchiveEntryInfo(ZipArchive* archive, ZipEntryInfo* info, char* name, uint32_t nameSize);

// Opens the current entry for reading, closing an open one first. Checks the
// local header against the central directory and refuses (ZIP_BAD_ARCHIVE)
// methods other than 0 and 8, encrypted entries, data that would lie outside
// the file and uncompressed sizes above ZIP_MAX_ENTRY_SIZE. ZIP_INTERNAL_ERROR
// when memory is short (nothing is left allocated).
int ArchiveOpenEntry(ZipArchive* archive);
// Delivers up to length further uncompressed bytes of the open entry into
// buffer, never more than remain. Returns the count (0 once the entry is done
// or its data has run out), or a negative ZIP_ or zlib code on a failed read
// or corrupt deflate data.
int ArchiveReadEntry(ZipArchive* archive, void* buffer, uint32_t length);
// Ends reading the open entry. ZIP_CRC_ERROR when all its bytes were delivered
// and their CRC-32 differs from the recorded one; ZIP_OK otherwise (also after
// an early close); ZIP_PARAM_ERROR without an open entry.
int ArchiveCloseEntry(ZipArchive* archive);
