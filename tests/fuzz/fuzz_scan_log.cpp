// The scan-log reader and its checks on any file.  Whatever the log holds,
// the table must stay consistent: every line is a reference or a sample,
// never more lines than slots, and reference frame numbers stay 16-bit values
// (they size the projection table).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_input.h"
#include "scan_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = fuzz_input::WriteScratch(data, size);
  // Heap, not stack: the table is large, and the sanitizer then sees writes
  // past its end.
  auto table = std::make_unique<ScanTable>();
  if (ReadScanLog(*table, path) != 0) std::abort();
  if (table->NI0 < 0 || table->nsample < 0 ||
      table->NI0 + table->nsample >= kScanTableCapacity)
    std::abort();
  const int checked = CheckScanTable(*table);
  if (checked != 0 && checked != 1) std::abort();
  if (checked == 0) {
    if (table->total > 9900 || table->overfull) std::abort();
    if (table->nshot != table->nsample / 2) std::abort();
    // Reference frame numbers are 16-bit values, whatever the log wrote.
    for (int m = 0; m < table->NI0; ++m) {
      if (table->i0_frames[m] < -32768 || table->i0_frames[m] > 32767) std::abort();
    }
  }
  return 0;
}
