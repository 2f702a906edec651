// Message boxes and the choice of the user's language from two-language texts
// ("English|Spanish"). Every notice and error the user must see goes through
// MessageBox or MessageBoxWait; every interface word through LangText.
#pragma once

constexpr int LANG_TEXT_SIZE = 80;

// The variant of the language setting (0 English, 1 Spanish, n the text after
// the n-th bar); an empty or missing variant falls back to the first one. The
// result is one static 80-byte buffer shared by all calls, overwritten by the
// next call; a longer variant is cut at 79 bytes. A null text gives "".
const char* LangText(const char* text);

// Shows a framed box centred vertically (x 60, width 200) with the title and
// the body word-wrapped in white, at once. The box is left on the screen but
// in neither frame buffer, so the next picture shown replaces it. A null body
// gives an empty box of height 100. Does nothing before the Video object exists.
void MessageBox(const char* title, const char* body);

// MessageBox, then waits (200 ms, then the first button) and returns the key
// code that closed it. The box is not erased.
int MessageBoxWait(const char* title, const char* body);
