// The reading place kept across layouts: the line at the top of the screen is
// held as a byte offset in the formatted text, which no zoom level or re-layout
// changes, where a pixel position holds only for the layout it was taken in.
// Used by the zoom commands, the file dialog, the recent files and the exit.
#pragma once

#include <cstdint>

struct RecentEntry;
struct Text;

// Byte offset in text's formatted text of the line at the top of the screen at
// position (the line LineAtPosition gives; the last line on or past its top).
// -1 without lines.
int32_t TopLineOffset(const Text* text, int32_t position);
// The line holding byte offset (the last line starting at or before it), and
// the position that shows it whole at the top: its y minus 5, as Find shows a
// hit (0 for the first line). -1 and 0 without lines.
int32_t LineOfOffset(const Text* text, int32_t offset);
int32_t LineTopPosition(const Text* text, int32_t line);

// Writes entry's place in text (laid out at the current zoom level) into its
// reserved bytes: the top line at its position, the pixels below that line's
// top, the zoom level. An offset already kept there that still lies in the
// top line is kept, so that zooming out and in again does not drift back. An
// entry of a text without lines loses its place.
void NotePlace(RecentEntry* entry, const Text* text);
// The position in text (laid out at the current zoom level) of the entry's
// place: the kept line whole at the top, plus the pixels below it when the
// place was taken at this zoom level. The entry's own position when it has no
// place.
int32_t PlacePosition(const RecentEntry& entry, const Text* text);

// Makes the document just loaded into text the current entry, at the place
// that recorded (may be null; copied before use) keeps, else at its start.
void SetCurrentDocumentAt(const char* path, const char* entryName, int32_t entryIndex,
                          const RecentEntry* recorded, const Text* text);
// Notes the current entry's place and adds it to the recent-files list (when
// there is one); the Text object must still hold that document.
void RecordCurrentDocument();

// Sets the zoom level, gives g_text its font and lays it out again: the line at
// the top stays there, shown whole, and its byte is kept in the current entry.
void ChangeZoomLevel(int level);
// Lays g_text out again with its font (after a change of its text that keeps
// byte offsets) keeping the current entry's top line and the pixels below it.
void RelayoutCurrentDocument();
