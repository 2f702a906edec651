// The Find dialog: asks for the find text with the on-screen keyboard, looks
// for it in the document from the reading position on and moves the view to
// the line that holds it. The menu's Find command runs it.
#pragma once

// Opens the dialog over the screen and, when the user chooses "Ok", searches
// g_text from the line at the current entry's reading position plus offset (0
// for a new search, 1 to go on after the line of the previous hit). Found: the
// reading position becomes the line's top - 5, so it is the first line of the
// view, and the result is 1 (also when the line has no place to move to and
// the view stays). Not found: a message box waits for a key and the result is
// 0; cancelled: 0 without searching. The dialog is left on the screen; the
// caller redraws the page. The find text is left in the settings; saving them
// is the caller's.
int RunFindDialog(int offset);
