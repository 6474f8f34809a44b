// ReadTiffLine on any file: the attribute call the builders make first, then
// row calls at rows chosen by the input's last bytes, the first row and the
// last row (the last one runs the strip-end check).  Every fault must come
// back as a TiffFault; rows, when they come back, must be the reported width.
#include <cstdint>
#include <cstdlib>

#include "fuzz_input.h"
#include "tiff_reader.h"

namespace {

// The builders refuse wider images before the row call; the row buffer of a
// wider image is the caller's decision, not the reader's.
constexpr int kBuilderWidth = 8001;

void ReadRow(const char* path, int expected_width, int line) {
  int width = -1, height = -1, bits = -1;
  std::uint16_t* row = nullptr;
  try {
    ReadTiffLine(path, &width, &height, &bits, &row, line);
  } catch (const TiffFault& fault) {
    if (row != nullptr || fault.message.empty()) std::abort();
    return;
  }
  if (row == nullptr || width != expected_width || bits < 0 || bits > 16) std::abort();
  // Touch every sample: a short buffer is then an overrun the sanitizer sees.
  volatile std::uint32_t sum = 0;
  for (int i = 0; i < width; ++i) sum = sum + row[i];
  delete[] row;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz_input::WriteScratch(data, size);
  int width = -1, height = -1;
  try {
    ReadTiffLine(path, &width, &height, nullptr, nullptr, 0);
  } catch (const TiffFault& fault) {
    if (fault.message.empty()) std::abort();
    return 0;
  }
  if (width <= 0 || height <= 0) std::abort();
  if (width > kBuilderWidth) return 0;
  const std::uint32_t chosen = fuzz_input::TailNumber(data, size, 4);
  ReadRow(path, width, static_cast<int>(chosen % static_cast<std::uint32_t>(height)));
  ReadRow(path, width, 0);
  ReadRow(path, width, height - 1);
  // Rows outside the image are a fault, never a read.
  for (int line : {-1, height}) {
    std::uint16_t* row = nullptr;
    try {
      ReadTiffLine(path, nullptr, nullptr, nullptr, &row, line);
    } catch (const TiffFault&) {
      continue;
    }
    std::abort();
  }
  return 0;
}
