// Placeholder until PDF extraction lands: the file is shown as plain text.
#include "pdf/pdf.h"

void ImportPdf(Text*, char**, int32_t) {}
