// The AM carrier from a file, read with the C library but accepted or
// refused by the same check as the program's loader.
#pragma once
#include "carrier_check.h"

// Reads the whole file into one carrier block and installs it as the
// CarrierWave, read position at its first sample; on refusal the carrier
// stays as it was. CarrierMessage() gives the user's text for a refusal.
CarrierVerdict LoadCarrierFromPath(const char* path);
