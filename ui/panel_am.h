// The AM panel's carrier operations, as a table that tests may replace.
#pragma once
#include <windows.h>
#include <cstdint>

struct AMCarrierOps {
    bool (*createDefault)();  // the built-in square wave; false when out of memory
    void (*release)();        // frees the carrier and marks it absent
    void (*loadFile)(HWND owner, const char* path, const int16_t** samples, uint32_t* length);
};
extern AMCarrierOps AMCarrier;
