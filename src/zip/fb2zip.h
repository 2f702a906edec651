// FictionBook books packed in a ZIP archive (.fb2.zip): the archive's book
// opened straight from the card as the document, not browsed as a folder.
// Called by LoadDocumentFile (the file dialog, the recent files and the page
// renderer tool).
#pragma once

struct Text;

// True when name ends in ".fb2.zip", letters in any case.
bool IsFb2ZipName(const char* name);

// Opens the archive at path and loads its first entry named *.fb2 through the
// document loader. The Text object's name becomes the book's title, or the
// path when the book has none. Returns 1 when the book was loaded; 0 when the
// archive cannot be opened, holds no .fb2 entry or the entry cannot be read
// ("Error loading file" with the archive's name), or the loader refused the
// book with its own message: the document on screen then stays as it was,
// with its name.
int LoadFb2Zip(Text* text, const char* path);
