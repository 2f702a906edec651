// The "Recent files list" chooser: the recorded documents in the list widget,
// reopened at their stored places. Shown at start-up (with the row "Open
// another file...") and by the menu's recent-files command (without it).
#pragma once

struct RecentList;

// The row number ShowRecentMenu gives its extra row.
constexpr int RECENT_MENU_OTHER_FILE = 999;

// Lists every row of the list but the current document (with extraRow, a last
// row "Open another file..." too). Returns -1 when cancelled, the result of
// FileDialog for the extra row, else the chosen row's number in the list after
// reopening its document (OpenRecordedDocument).
int ShowRecentMenu(RecentList* list, bool extraRow);
