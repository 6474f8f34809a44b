// Command-line number conversion for the batch generators.
#pragma once

#include <cstdint>

// Reads an integer the way atoi does; values beyond the 32-bit range
// saturate at INT32_MIN / INT32_MAX instead of being undefined.
std::int32_t ArgToInt(const char* text);

// Reads a number the way atof does and narrows it to single precision,
// rounding to nearest as the hardware would; magnitudes past the float range
// become the largest float or infinity, NaN keeps its sign.
float ArgToSingle(const char* text);

// argv[0] for the usage text; empty when the system passed no name at all.
const char* InvocationName(int argc, const char* const* argv);
