// The LZW strip source on its own (input layout in fuzz_strip.h).
#include "fuzz_strip.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return fuzz_strip::Run(kLzwStripSource, data, size);
}
