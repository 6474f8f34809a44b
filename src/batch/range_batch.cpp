// Layer-range script: the rotation-axis offset is known at two layers and is
// interpolated on the straight line through them for every layer in between.
#include <cstdint>
#include <cstdio>

#include "arguments.h"
#include "batch.h"

int RunRangeBatch(int argc, const char* const* argv, const char* builder,
                  std::FILE* out, std::FILE* err) {
  const int arg_count = argc - 1;
  if (arg_count < 4) {
    std::fprintf(err, "usage : %s from axis1 to axis2 (delta) (theta0)> output_file\n",
                 InvocationName(argc, argv));
    return -1;
  }
  const std::int32_t from = ArgToInt(argv[1]);
  const float axis1 = ArgToSingle(argv[2]);
  const std::int32_t to = ArgToInt(argv[3]);
  const float axis2 = ArgToSingle(argv[4]);
  // The optional values are only taken with exactly five or six arguments;
  // any other count leaves both at their defaults.
  float delta = 1.0f;
  float theta0 = 0.0f;
  if (arg_count == 5 || arg_count == 6) delta = ArgToSingle(argv[5]);
  if (arg_count == 6) theta0 = ArgToSingle(argv[6]);

  // All of the line arithmetic stays in single precision, so the scripts
  // carry the float offsets (1000.3 prints as 1000.299988) that the
  // builders receive anyway.  A single layer has no slope: the line is then
  // taken flat through axis1, which avoids dividing by zero (or 0 by 0).
  float slope = 0.0f;
  float intercept = axis1;
  if (from != to) {
    // The layer difference is taken in 64 bits so that the extremes of the
    // 32-bit range cannot overflow before it is rounded to single precision.
    const float layer_span = static_cast<float>(static_cast<std::int64_t>(from) - to);
    slope = (axis1 - axis2) / layer_span;
    intercept = axis1 - static_cast<float>(from) * slope;
  }
  std::fprintf(err, "%f\t%f\n", static_cast<double>(slope), static_cast<double>(intercept));

  if (from > to) {
    std::fprintf(out, "parameter is wrong. from %d to %d", static_cast<int>(from), static_cast<int>(to));
    return 1;
  }

  // A 64-bit layer counter, so that a range ending at INT32_MAX terminates.
  for (std::int64_t layer = from; layer <= to; ++layer) {
    const float offset = from == to ? axis1 : slope * static_cast<float>(layer) + intercept;
    std::fprintf(out, "%s %d %f\n", builder, static_cast<int>(layer), static_cast<double>(offset));
    // The filter takes the offset shifted by half a pixel, added in double
    // precision to the single-precision offset.
    std::fprintf(out, "rowfilter %f\n", static_cast<double>(offset) + 0.5);
    std::fprintf(out, "slicebuild %f\n", static_cast<double>(theta0));
    std::fprintf(out, "sliceexport 16 %f\n", static_cast<double>(delta));
  }
  return 0;
}
