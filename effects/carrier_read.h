// The AM carrier from a file, read with the C library (the native tools) but
// accepted or refused by the same check as the program's loader.
#pragma once
#include <cstdint>
#include "carrier_check.h"

// Reads the whole file at `path` into one carrier block. Accepted: the
// previous carrier block (if *samples is not null) is freed, *samples :=
// the new block's first sample, *length := its data length. Refused: *samples
// and *length stay as they were. Allocates and does I/O: never call it on
// an audio thread. The caller restarts the read position.
CarrierVerdict ReadCarrierFile(const char* path, const int16_t** samples, uint32_t* length);
