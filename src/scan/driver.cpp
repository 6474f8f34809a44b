#include "driver.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scan_log.h"
#include "store_projection.h"

namespace {

// Wall-clock time since the process started, in seconds.
const auto process_start = std::chrono::steady_clock::now();
double SecondsSinceStart() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - process_start);
  return static_cast<double>(ms.count()) / 1000.0;
}

// atoi for every text, but saturating instead of undefined when the number
// does not fit.
std::int32_t ToInt32(const char* text) {
  const long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// atof narrowed to the nearest float.  Values beyond the float range (whose
// conversion would be undefined) become infinite; the offset check refuses
// them anyway.
float ToFloat(const char* text) {
  const double v = std::strtod(text, nullptr);
  if (v > FLT_MAX) return HUGE_VALF;
  if (v < -FLT_MAX) return -HUGE_VALF;
  return static_cast<float>(v);
}

// "%f" / "%lf", but an undefined value always reads "nan", whatever its sign.
std::string Fixed(double v) {
  if (std::isnan(v)) return "nan";
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

int WriteRunSummary(const RunState& state) {
  const char* name = "sino.tmp";
  std::FILE* f = std::fopen(name, "w");
  if (!f) {
    std::printf("can not open %s for input\n", name);
    return 1;
  }
  std::fprintf(f, "%d\n", state.sino_width);
  std::fprintf(f, "%d\n", state.table.nshot);
  std::fprintf(f, "%04d\n", state.layer);
  std::fprintf(f, "%f\n", static_cast<double>(state.offset) + 0.5);
  std::fprintf(f, "%s\n", Fixed(state.ta_mean).c_str());
  std::fprintf(f, "%s\n", Fixed(state.ta_sd).c_str());
  const bool written = std::fflush(f) == 0 && !std::ferror(f);
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    // A half-written summary would mark a run as complete.
    std::remove(name);
    std::fprintf(stderr, " Error writing data to %s\n", name);
    return 1;
  }
  return 0;
}

int Run(int argc, char** argv, RowReader& reader, RunState& state) {
  if (argc != 3) {
    std::fprintf(stderr, "parameter was wrong!!!\n");
    std::fprintf(stderr, "usage : %s layer offset\n", argc > 0 ? argv[0] : "");
    return 1;
  }
  state.offset = ToFloat(argv[2]);
  state.layer = ToInt32(argv[1]);
  // The fold needs the axis on the detector row; beyond the row buffers, or
  // negative or not a number, no sinogram can be built (and turning such a
  // value into a pixel index would be undefined).
  if (!(state.offset >= 0.0f && state.offset < static_cast<float>(kRowCapacity))) {
    std::fprintf(stderr, "bad offset %s: it must be at least 0 and below %d\n", argv[2],
                 kRowCapacity);
    return 1;
  }
  state.sino_width = static_cast<std::int16_t>(1.0f + state.offset + state.offset);
  state.offset_px = static_cast<std::int32_t>(state.offset);

  if (int r = ReadScanLog(state.table); r != 0) {
    std::fprintf(stderr, "canot read 'output.log' ! (%d)\n", r);
    return 1;
  }
  if (int r = CheckScanTable(state.table); r != 0) {
    std::fprintf(stderr, "canot read 'output.log' ! (%d)\n", r);
    return 1;
  }

  if (int r = reader.ReadRow(reader.DarkName(), state.dark, state.layer, -1, state.row_len);
      r != 0) {
    std::fprintf(stderr, "something wrong in dark file (%d)\n", r);
    return 1;
  }
  if (state.offset_px >= state.row_len) {
    std::fprintf(stderr, "bad offset %d: the detector row has %d pixels (%s)\n",
                 state.offset_px, state.row_len, reader.DarkName());
    return 1;
  }

  const double start = SecondsSinceStart();
  if (int r = StoreProjection(state.layer, state, reader); r != 0) {
    std::printf("something wrong in StoreProjection (%d)\n", r);
    return 1;
  }

  const int nsample = state.table.nsample;
  if (nsample == 0) {
    state.ta_mean = state.ta_sd = std::nan("");
  } else {
    const double ns = nsample;
    state.ta_mean = state.ta_sum / ns;
    const double variance = state.ta_sq_sum / ns - state.ta_mean * state.ta_mean;
    // Rounding can take the variance of nearly equal values below zero.
    state.ta_sd = variance < 0 ? 0.0 : std::sqrt(variance);
  }
  std::fprintf(stderr, " TA mean\t%s\tTASD\t%s\n", Fixed(state.ta_mean).c_str(),
               Fixed(state.ta_sd).c_str());
  std::fprintf(stderr, " TASD/TA mean\t%s\n", Fixed(state.ta_sd / state.ta_mean).c_str());
  const double end = SecondsSinceStart();
  std::fprintf(stderr, " Store Sinogram \t%s / sec\n", Fixed(end - start).c_str());

  return WriteRunSummary(state);
}

}  // namespace

int RunBuilder(int argc, char** argv, RowReader& reader, RunState& state) {
  try {
    return Run(argc, argv, reader, state);
  } catch (const RunExit& e) {
    return e.status;
  }
}
