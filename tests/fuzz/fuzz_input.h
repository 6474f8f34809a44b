// Shared plumbing of the fuzz targets: the readers under test take file
// names, so every input goes through one scratch file per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz_input {

// Replaces the scratch file's contents with the input and returns its path.
// The file lives in /dev/shm when that exists (no disk traffic per run) and
// is removed when the process ends.
const char* WriteScratch(const std::uint8_t* data, std::size_t size);

// A little-endian number made of up to `bytes` bytes taken from the end of
// the input: a cheap way to let the input choose row numbers without
// changing the bytes the reader sees.
std::uint32_t TailNumber(const std::uint8_t* data, std::size_t size, std::size_t bytes);

}  // namespace fuzz_input

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
