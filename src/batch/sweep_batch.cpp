// Axis-offset sweep script: one layer is built once per offset of an
// arithmetic series, and each result is renamed after its offset so that the
// user can compare them and pick the right rotation-axis position.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "arguments.h"
#include "batch.h"

namespace {

// The number n of steps after the first offset: |trunc((from - to) / step)|.
// Returns false when there is no usable count, i.e. the quotient is not
// finite (step 0, tested before dividing) or n does not fit in an int32; the
// script is then empty.
bool CountSteps(std::int32_t from, std::int32_t to, std::int32_t step,
                CountPrecision precision, std::uint32_t* steps) {
  if (step == 0) return false;
  double whole = 0.0;
  if (precision == CountPrecision::kSingle) {
    // Each operand is rounded to float first, then subtracted and divided
    // in float; beyond 2^24 that rounding can change the count.
    const float quotient =
        (static_cast<float>(from) - static_cast<float>(to)) / static_cast<float>(step);
    whole = static_cast<double>(std::trunc(quotient));
  } else {
    // The exact difference (it needs 33 bits) divided in double precision.
    const double quotient =
        static_cast<double>(static_cast<std::int64_t>(from) - to) / static_cast<double>(step);
    whole = std::trunc(quotient);
  }
  whole = std::fabs(whole);
  // Range check before converting: a double-to-integer cast out of range
  // is undefined.
  if (!std::isfinite(whole) || whole > 2147483647.0) return false;
  *steps = static_cast<std::uint32_t>(whole);
  return true;
}

// from + i * step in 32-bit two's-complement arithmetic: an offset series
// that runs past INT32_MAX wraps around.  The sum is formed in unsigned
// arithmetic and mapped back by hand, so the wrap is well defined and no
// signed overflow or implementation-defined conversion is involved.
std::int32_t OffsetAt(std::int32_t from, std::int32_t step, std::uint32_t i) {
  const std::uint32_t bits = static_cast<std::uint32_t>(from) + i * static_cast<std::uint32_t>(step);
  if (bits <= 0x7fffffffu) return static_cast<std::int32_t>(bits);
  return -static_cast<std::int32_t>(~bits) - 1;
}

}  // namespace

int RunSweepBatch(int argc, const char* const* argv, const char* builder,
                  CountPrecision precision, std::FILE* out) {
  if (argc - 1 < 4) {
    std::fprintf(out, "usage : %s layer from to step > batch_file\n", InvocationName(argc, argv));
    return -1;
  }
  const std::int32_t layer = ArgToInt(argv[1]);
  const std::int32_t from = ArgToInt(argv[2]);
  const std::int32_t to = ArgToInt(argv[3]);
  const std::int32_t step = ArgToInt(argv[4]);

  std::uint32_t steps = 0;
  if (!CountSteps(from, to, step, precision, &steps)) return 0;

  // steps + 1 passes; the counter is 64 bits wide so that steps = INT32_MAX
  // still ends.
  for (std::uint64_t i = 0; i <= steps; ++i) {
    const int offset = static_cast<int>(OffsetAt(from, step, static_cast<std::uint32_t>(i)));
    const int layer_no = static_cast<int>(layer);
    std::fprintf(out, "%s %d %d\n", builder, layer_no, offset);
    std::fprintf(out, "sheetexport\n");
    // sheetexport leaves the layer's image as sino<layer>.tif; the new name
    // carries the layer and the offset so every offset's image is kept.
    std::fprintf(out, "ren sino%04d.tif %04d_%05d.tif\n", layer_no, layer_no, offset);
  }
  return 0;
}
