// Placeholder until the HTML importer lands: the page is shown as plain text.
#include "importers/html.h"

void ImportHtml(Text*, char*, int32_t) {}
