// HTML import: converts an HTML page into the formatted text in place.
// Called by the document loader.
#pragma once

#include <cstdint>

struct Text;

// Converts the NUL-terminated page in buffer in place (the result is never
// longer than the input) and terminates it. Cannot fail.
void ImportHtml(Text* text, char* buffer, int32_t length);

// Book chapters (EPUB, Kindle) mark their titles with headings and their
// stress with <em>, which the HTML importer treats as text without structure:
// a chapter's title would run into its first paragraph. Rewritten in place,
// byte for byte of the same length, headings become line breaks around their
// text and <em> becomes <i>. Reads and writes only [0, length).
void MarkHtmlStructure(char* chapter, int32_t length);
