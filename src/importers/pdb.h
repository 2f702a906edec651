// PalmDoc import: decodes a PalmDoc e-book into plain text. Called by the
// document loader; the Kindle book reader shares the record decompression.
#pragma once

#include <cstdint>

struct Text;

// buffer: in/out. On entry the malloc'd file of length bytes, which is always
// freed; on return a new malloc'd NUL-terminated text, or null on failure.
void ImportPdb(Text* text, char** buffer, int32_t length);

// The bytes DecompressPalmDoc may write: at most PALMDOC_RECORD_BYTES decoded
// bytes, plus room for the word moves that copy back references.
constexpr int32_t PALMDOC_RECORD_BYTES = 6000;
constexpr int32_t PALMDOC_SCRATCH_BYTES = PALMDOC_RECORD_BYTES + 16;

// Undoes the PalmDoc compression of one record (length bytes at in) into out
// (PALMDOC_SCRATCH_BYTES bytes) and returns the decoded length, at most
// PALMDOC_RECORD_BYTES. A broken record keeps what decoded before the fault.
int32_t DecompressPalmDoc(const uint8_t* in, int32_t length, uint8_t* out);
