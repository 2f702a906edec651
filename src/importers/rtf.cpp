// Placeholder until the RTF importer lands: the document is left as it is.
#include "importers/rtf.h"

int ImportRtf(Text*, char**, int32_t) { return 0; }
