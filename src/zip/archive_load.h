// Opening one entry of an archive as the document: going to an entry by its
// index or its name, and reading it whole into the Text object the way the
// file dialog does. Used by the page renderer tool and the file dialog.
#pragma once

#include <cstdint>

struct Text;
struct ZipArchive;

// Makes entry index (0 for the first central-directory record) current by
// ArchiveFirstEntry and index calls of ArchiveNextEntry. ZIP_END_OF_LIST when
// the archive has fewer entries; other codes as the positioning calls give.
int ArchiveGoToEntry(ZipArchive* archive, uint32_t index);

// Makes the first entry whose whole stored name equals name current; index
// (when not null) receives its number. ZIP_END_OF_LIST when there is none.
int ArchiveFindEntry(ZipArchive* archive, const char* name, uint32_t* index);

// Makes current the entry that a recent-files record names by its number
// index and its stored name (the part after the entry's last "/", which the
// record keeps cut to ENTRY_NAME_SIZE - 1 bytes): the entry at index when its
// name agrees, else the first entry whose name agrees, so that a re-packed
// archive does not open another entry under the old name. An empty stored
// name accepts the entry at index. found receives its number. ZIP_OK, or
// ZIP_END_OF_LIST when no entry agrees; other codes as the positioning calls give.
int ArchiveFindRecordedEntry(ZipArchive* archive, int32_t index, const char* storedName, uint32_t* found);

// Reads the current entry whole with one ArchiveReadEntry into a new buffer of
// its uncompressed size + 1 (NUL-terminated) and hands it to LoadFromBuffer
// with the entry's base name (the part after its last "/"), which also becomes
// the Text object's name. Returns ZIP_OK, or ZIP_CRC_ERROR when the document
// was loaded but its bytes do not match their checksum or fall short of the
// recorded size; any other negative
// code (the entry cannot be opened, read or inflated, or memory is short)
// means the document was left as it was.
int ArchiveLoadEntry(Text* text, ZipArchive* archive);

// Loads path as LoadFromFile does, or, for "ARCHIVE#INDEX" or "ARCHIVE#NAME"
// (an existing file, "#", then an entry's central-directory index or its whole
// name), that entry of the archive through ArchiveLoadEntry. A path that exists
// as it stands is always a plain file; digits after "#" are always an index.
// Returns 1 when a document was loaded (also one whose checksum failed), 0
// when nothing could be read (the document then stays as it was).
int LoadFileOrArchiveEntry(Text* text, const char* path);
