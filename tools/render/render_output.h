// The WAV file the renderer writes: made under a temporary name in the
// folder of the output and renamed to it only when complete, so that an
// error or an interruption never leaves a partial file under that name.
#pragma once
#include <sndfile.h>
#include <cstdint>
#include <string>

struct RenderOutput {
    SNDFILE* file;
    std::string path;       // the name it gets when complete
    std::string temporary;  // the name it is written under
};

bool CreateOutput(const char* path, RenderOutput* output, std::string* error);
bool WriteOutput(RenderOutput* output, const int16_t* samples, long count, std::string* error);
// Closes the file and gives it its name.
bool CommitOutput(RenderOutput* output, std::string* error);
// Closes and removes the temporary file, if any.
void AbandonOutput(RenderOutput* output);
