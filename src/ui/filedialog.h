// The file dialog: walks the card's folders in the list widget, browses ZIP
// archives like folders, opens the chosen document through the loader and
// records it in the recent-files list. Opened by the menu's open command and
// by the recent-files chooser; OpenRecordedDocument reopens a recorded place.
#pragma once

#include <cstdint>
#include <memory>

#include "ui/filelist.h"

struct RecentEntry;
struct ZipArchive;

// The most names one folder listing holds ("." and ".." included), and the
// most rows of one archive list (its parent row included): every name of a
// card's folder, up to a bound that keeps the dialog's memory within about
// 5 MB (a 256-byte slot per name while the rows are built, and a 264-byte
// row). The buffers are sized by what the folder or archive holds.
constexpr int FOLDER_LIST_NAMES = 10000;
constexpr int ARCHIVE_LIST_ROWS = 10001;

// The folder list's first visible and selected rows, kept between openings
// for the run (0 and 0 at start).
struct FileDialogPosition {
  int32_t firstVisible;
  int32_t selected;
};
extern FileDialogPosition g_fileDialogPosition;

// Runs the dialog in the folder of the folder-path setting (changed in place
// as the user moves). Returns 0 when that folder cannot be listed, else 1
// (also when the user cancels or the document cannot be loaded). A document
// opened becomes the current entry at the place the recent-files list keeps
// for it, else at position 0; the document left and the new one are added to
// the recent-files list.
int FileDialog();

// Reopens a recorded document (entryIndex -1: a plain file; else the entry of
// that number in the archive at path) and makes it current at position. The
// document being left is added to the recent-files list first. Returns 1 when
// the document was loaded, else 0 (an empty path does nothing).
int OpenRecordedDocument(const char* path, const char* entryName, int32_t entryIndex,
                         int32_t position);
// The same for a whole record, at the place it keeps (PlacePosition). An
// archive entry is checked by its recorded name: when the entry at its number
// has another name it is found by name (and the row under the old number is
// dropped); when none has, "File not found" is shown and the document stays.
int OpenRecordedEntry(const RecentEntry& entry);

// Rows of a folder listing: names is count 256-byte slots; list->rows is
// replaced (the old array freed; new one malloc'd, owned by the list's creator
// from then on). "." is left out, ".." becomes "<..>", folders "<name>"; a
// name that is neither a regular file nor a folder (a FIFO, a device) is
// greyed whatever its extension, since opening it could wait for ever.
// The "<..>" row is always row 0, wherever the listing returned "..", and is
// added when the listing holds none (an empty or cut listing); the other rows
// are sorted below it.
void BuildFolderList(FileList* list, const char* folder, const char* names, int count);
// Rows of the archive folder prefix (empty: the top) into list->rows, which
// must hold maxRows rows: "<..>" first, then the folders one level down and
// the files of the folder, sorted. Entries flagged as UTF-8 get
// ENTRY_UTF8_NAME; names are kept as the archive holds them.
void BuildArchiveList(FileList* list, ZipArchive* archive, const char* prefix, int maxRows);
// The archive's list in a frame of width x height centred on the screen, its
// list starting below contentTop. Returns the index of the entry it loaded
// (its row name copied to entryName, FILE_LIST_NAME_SIZE bytes, when not
// null), or -1 when the user left the archive.
int BrowseArchive(ZipArchive* archive, const char* title, int width, int height, int contentTop,
                  char* entryName);
// Loads entry entryIndex of the archive as the document; 1, or 0 after a
// message box when it cannot be reached, opened or read.
int OpenArchiveEntry(ZipArchive* archive, int32_t entryIndex);
// 1 when the file has bytes to load (the loading box is then shown); 0 after
// "This file is empty", or "File not found" when its size cannot be had.
int CheckDocumentFile(const char* path);
// "File: ... Size: ... kb", titled "Loading...", left on the screen.
void ShowLoadingBox(const char* name, int32_t size);

// One folder up: cuts the path after its last "/" but one, never down to "/".
void ParentFolderPath(char* path);

// Lists the whole folder (at most FOLDER_LIST_NAMES names) into names, a
// buffer of 256-byte slots it sizes to the folder; stored receives how many.
// The file service's result (FAT_OK also for a folder that cannot be read,
// then with no names); FAT_IO_ERROR when memory is short.
int ListFolder(const char* folder, std::unique_ptr<char[]>* names, int* stored);
