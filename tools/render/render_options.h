// The renderer's command line: the chain's options and the two operands.
#pragma once
#include <string>
#include "chain_options.h"

struct RenderOptions {
    ChainOptions chain;
    const char* input;
    const char* output;
};

// Reads argv into *options. On ParseError *error holds one line saying what
// is wrong.
ParseOutcome ParseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

extern const char RenderUsage[];
