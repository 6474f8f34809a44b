// One strip source on its own.  Input layout: two bytes (little-endian) with
// the number of image bytes to take before the strip-end check, one byte
// that, when below 128, shortens the strip's byte budget by that much, then
// the stored strip.  The source must never take more bytes from the file than
// the budget allows, and every fault must come back as a TiffFault.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "strip_source.h"

namespace fuzz_strip {

inline int Run(const StripSource& source, const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint32_t take = data[0] | (static_cast<std::uint32_t>(data[1]) << 8);
  const std::uint32_t stored = static_cast<std::uint32_t>(size - 3);
  const std::uint32_t cut = data[2] < 128 ? data[2] : 0;
  const std::uint32_t budget = cut < stored ? stored - cut : 0;
  const char* path = fuzz_input::WriteScratch(data, size);
  StripStream file;
  file.file_name = "strip";
  file.stream = std::fopen(path, "rb");
  if (file.stream == nullptr) std::abort();
  try {
    source.StartStrip(file, 3, budget);
    for (std::uint32_t i = 0; i < take; ++i) {
      const int byte = source.NextStripByte(file);
      if (byte < 0 || byte > 255) std::abort();
    }
    source.EndStrip(file);
  } catch (const TiffFault& fault) {
    if (fault.file_name != "strip" || fault.message.empty()) std::abort();
  }
  const long position = std::ftell(file.stream);
  if (position < 0 || static_cast<std::uint64_t>(position) > 3u + budget) std::abort();
  std::fclose(file.stream);
  return 0;
}

}  // namespace fuzz_strip
