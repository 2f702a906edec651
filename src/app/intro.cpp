// The introduction document: what the reader opens, how it is driven, and the
// notice that it is free and comes without warranty. Written as RTF so that it
// shows bold, italic, colour, sizes and every paragraph alignment.
#include "app/intro.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "importers/load.h"
#include "platform/trace.h"

const char intromsg[] =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0"
    "{\\fonttbl{\\f0\\fswiss Sans;}}"
    "{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"
    "\\pard\\qc\\b\\cf1\\fs32 !Quillo 2x\\b0\\cf0\\fs24\\par\n"
    "\\pard\\qc\\i\\cf2 (beta release 0.86)\\i0\\cf0\\par\n"
    "\\pard\\par\n"
    "\\pard\\qj Welcome to !Quillo, a reader for books and documents on your handheld. "
    "It opens plain text ({\\b TXT}), {\\b RTF}, {\\b HTM/PDB} and {\\b PalmDoc} "
    "e-books, and the text of PDF files. Documents are laid out for the screen in the font "
    "size you choose, and the formatting they carry is kept: {\\b bold}, {\\i italic}, "
    "{\\cf1 colour} {\\cf2 text} and the alignment of every paragraph, left, centred, right "
    "or justified like this one.\\par\n"
    "\\pard\\par\n"
    "\\pard\\qj A few hints to start with:\\par\n"
    "\\pard\\qj 1. Press {\\b START} to open the menu: open files, move through the text, "
    "change the font, the colours and the other options.\\par\n"
    "2. Documents are also read from inside {\\b ZIP} files, which you browse like folders.\\par\n"
    "3. At the next start a list of recent files is offered: each document opens again at "
    "the place where you left it when you opened another file or left with the "
    "{\\i Exit} command.\\par\n"
    "4. HTML support is limited to the text of a page: pictures, tables and links are not "
    "shown.\\par\n"
    "\\pard\\par\n"
    "\\pard\\qc\\b Enjoy your reading!\\b0\\par\n"
    "\\pard\\par\n"
    "\\pard\\qr\\i Written by the !Quillo developers\\i0\\par\n"
    "\\pard\\qr Fonts drawn for this program\\par\n"
    "\\pard\\qc ____________\\par\n"
    "\\pard\\qj This program is {\\b free}: you may use it and pass it on without paying "
    "anything. It is offered as it is, {\\b without any warranty}, not even that it "
    "suits a particular purpose.\\par\n"
    "}";

const size_t INTROMSG_SIZE = sizeof intromsg;

void LoadIntroduction(Text* text) {
  char* copy = static_cast<char*>(std::malloc(INTROMSG_SIZE));
  if (!copy) {
    GpTrace("Error en malloc intromsg\n");
    return;
  }
  std::memcpy(copy, intromsg, INTROMSG_SIZE);
  copy[INTROMSG_SIZE - 1] = 0;
  LoadFromMemory(text, copy);
}
