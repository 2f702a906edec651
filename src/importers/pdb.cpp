// Placeholder until the PalmDoc importer lands: the file is shown as plain text.
#include "importers/pdb.h"

void ImportPdb(Text*, char**, int32_t) {}
