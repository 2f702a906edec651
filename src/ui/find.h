// The Find dialog: asks for the find text with the on-screen keyboard, looks
// for it in the document from the reading position on and moves the view to
// the line that holds it. The menu's Find command runs it.
#pragma once

// Opens the dialog over the screen and, when the user chooses "Ok", searches
// g_text: with offset 0, or when the find text was changed in the dialog, from
// the line at the top of the screen; with offset 1, from the line after the
// one at the reading position (the previous hit; the last line when the
// position is on or past its top). Found: the
// reading position becomes the line's top - 5, so it is the first line of the
// view, and the result is 1 (also when the line has no place to move to and
// the view stays). Not found: a message box waits for a key and the result is
// 0; cancelled: 0 without searching. The dialog is left on the screen; the
// caller redraws the page. The find text is left in the settings; saving them
// is the caller's.
int RunFindDialog(int offset);
