// ReadHiPicRow on any file, into a row buffer of exactly the builders'
// capacity (heap-allocated, so a write past it is an overrun the sanitizer
// sees): row 0, a row chosen by the input's last bytes, and a negative row.
// Results must be 0, a negative code or row + 1, and the row length must
// change only on success and then fit the buffer.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_input.h"
#include "hipic_reader.h"

namespace {

constexpr int kCapacity = 8001;

void ReadRow(const char* path, std::int32_t row_index) {
  std::unique_ptr<std::uint16_t[]> row(new std::uint16_t[kCapacity]);
  HiPic_Header header{};
  std::int16_t row_len = -7;
  const int r = ReadHiPicRow(path, row.get(), header, row_index, kCapacity, &row_len);
  if (header.comment != nullptr) std::abort();
  if (r == 0) {
    if (row_len < 0 || row_len > kCapacity) std::abort();
  } else if (row_len != -7 || (r > 0 && r != row_index + 1)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz_input::WriteScratch(data, size);
  ReadRow(path, 0);
  const std::uint32_t chosen = fuzz_input::TailNumber(data, size, 2);
  ReadRow(path, static_cast<std::int32_t>(chosen));
  ReadRow(path, static_cast<std::int32_t>(chosen) - 65536);
  ReadRow(path, INT32_MAX);
  return 0;
}
