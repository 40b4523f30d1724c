// The vertical slider of the Pitch and Volume panels. Its control ID is its
// ParameterTable row; the value changes only when the thumb is released.
#pragma once
#include <cstdint>
#include "chain.h"

struct SliderState {
    int32_t thumbTop;  // y of the thumb's top row
    int32_t anchorY;   // cursor y at the last drag step
};
// Per slider ID; recomputed from the ParameterTable at each creation.
extern SliderState SliderStates[ParameterRows];
// 1 while some slider holds the capture for a thumb drag. Only the slider
// with the capture gets mouse messages, so one flag serves them all.
extern int SliderDragActive;
