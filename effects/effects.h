// The seven effect operations. Each reads the 4000 samples at BlockCursor,
// writes all 4000 samples of WorkBuffers[WorkIndex] and ends with HandOver().
#pragma once
#include <cstdint>

void Pitch();
void Volume();
void Triangle();
void AM();
void Reverse();
void Crazy();
void Deeper();
