// Block kernels behind the effect operations: each reads one AudioBlock and
// writes another of AudioBlockSamples samples; they allocate nothing and keep
// no state of their own. `in` and `out` never overlap.
#pragma once
#include <cstdint>
#include "carrier.h"

void PitchKernel(const int16_t* in, int16_t* out, int32_t factor);
void TriangleKernel(const int16_t* in, int16_t* out);
void CrazyKernel(const int16_t* in, int16_t* out);
void VolumeKernel(const int16_t* in, int16_t* out, int32_t gain);
void ReverseKernel(const int16_t* in, int16_t* out);
void DeeperKernel(const int16_t* in, int16_t* out);
// Advances carrier->readPosition by one block, looping before the last sample.
void AMKernel(const int16_t* in, int16_t* out, CarrierWaveState* carrier);
