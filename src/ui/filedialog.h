// The file dialog: walks the card's folders in the list widget, browses ZIP
// archives like folders, opens the chosen document through the loader and
// records it in the recent-files list. Opened by the menu's open command and
// by the recent-files chooser; OpenRecordedDocument reopens a recorded place.
#pragma once

#include <cstdint>

#include "ui/filelist.h"

struct ZipArchive;

// Names asked of one folder listing (256 bytes each, one 32768-byte buffer),
// and rows of one archive list (its parent row included).
constexpr int FOLDER_LIST_NAMES = 128;
constexpr int ARCHIVE_LIST_ROWS = 384;

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
// opened becomes the current entry at position 0; the document left and the
// new one are added to the recent-files list.
int FileDialog();

// Reopens a recorded document (entryIndex -1: a plain file; else the entry of
// that number in the archive at path) and makes it current at position. The
// document being left is added to the recent-files list first. Returns 1 when
// the document was loaded, else 0 (an empty path does nothing).
int OpenRecordedDocument(const char* path, const char* entryName, int32_t entryIndex,
                         int32_t position);

// Rows of a folder listing: names is count 256-byte slots; list->rows is
// replaced (the old array freed; new one malloc'd, owned by the list's creator
// from then on). "." is left out, ".." becomes "<..>", folders "<name>".
// The "<..>" row is always row 0, wherever the listing returned "..", and is
// added when the listing holds none (an empty or cut listing); the other rows
// are sorted below it.
void BuildFolderList(FileList* list, const char* folder, const char* names, int count);
// Rows of the archive folder prefix (empty: the top) into list->rows, which
// must hold maxRows rows: "<..>" first, then the folders one level down and
// the files of the folder, sorted.
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
// 1 when the file has bytes to load (the loading box is then shown); 0 for an
// empty file, or after "File not found" when its size cannot be had.
int CheckDocumentFile(const char* path);
// "File: ... Size: ... kb", titled "Loading...", left on the screen.
void ShowLoadingBox(const char* name, int32_t size);

// One folder up: cuts the path after its last "/" but one, never down to "/".
void ParentFolderPath(char* path);
