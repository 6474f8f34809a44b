// StoreProjection: reads row `layer` of every reference image and of every
// image between two references, turns each sample row into absorption values
//   ln(I0 / I),  I0 interpolated linearly in coord between the two
//                references, both counts dark-corrected,
// keeps the 360-degree rows in the projection table, and folds view t with
// view t + nshot (half a turn later, mirrored) into the 180-degree sinogram.
#include "store_projection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

struct FreeDeleter {
  void operator()(double* p) const { std::free(p); }
};
using DoubleBlock = std::unique_ptr<double[], FreeDeleter>;

// Zero-filled block of `count` doubles, or null when the size cannot be
// represented or the memory is not there.  Zero-filled so that table rows no
// frame fills, and the unfilled last value of a 2o + 2 wide row, are 0.0.
DoubleBlock ZeroDoubles(std::uint64_t count) {
  if (count == 0) count = 1;
  if (count > SIZE_MAX / sizeof(double)) return nullptr;
  return DoubleBlock(static_cast<double*>(std::calloc(static_cast<std::size_t>(count),
                                                      sizeof(double))));
}

void ImageName(char (&name)[64], const RunState& state, const RowReader& reader,
               std::int32_t frame) {
  std::snprintf(name, sizeof name, state.table.four_digit_names ? "%s%04d%s" : "%s%03d%s",
                state.image_prefix, frame, reader.Extension());
}

// The counts as the build's arithmetic sees them.
void ToCounts(const DetectorCount* raw, int width, bool is_signed, std::int32_t* counts) {
  for (int k = 0; k < width; ++k) {
    counts[k] = is_signed ? static_cast<std::int32_t>(static_cast<std::int16_t>(raw[k]))
                          : static_cast<std::int32_t>(raw[k]);
  }
}

// Reads one image row; a reader that reports a failure ends the run here with
// the message of the pair member that failed.
void ReadImageRow(RowReader& reader, const char* name, DetectorCount* row, int layer,
                  int width, std::int16_t& row_len, const char* which) {
  const int r = reader.ReadRow(name, row, layer, width, row_len);
  if (r != 0) {
    std::printf("something wrong -- return value is %d(%s)", r, which);
    throw RunExit{-1};
  }
}

void PutLittleEndian(double v, unsigned char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

}  // namespace

std::int64_t CountFramesBetweenReferences(const ScanTable& table) {
  std::int64_t frames = 0;
  for (int m = 0; m + 1 < table.NI0; ++m) {
    const std::int64_t gap =
        static_cast<std::int64_t>(table.i0_frames[m + 1]) - table.i0_frames[m] - 1;
    if (gap > 0) frames += gap;
  }
  return frames;
}

int StoreProjection(int layer, RunState& state, RowReader& reader) {
  char sino_name[32];
  std::snprintf(sino_name, sizeof sino_name, "s%04d.sin", layer);
  state.sino_name = sino_name;
  std::unique_ptr<std::FILE, FileCloser> sino(std::fopen(sino_name, "wb"));
  if (!sino) {
    std::printf("can not open %s for input\n", sino_name);
    return kStoreCannotCreate;
  }

  const ScanTable& table = state.table;
  const int width = std::max<int>(state.row_len, 0);  // every image must match the dark row
  const int o = state.offset_px;
  const int nshot = table.nshot;
  // Rows for every frame the walk below can process, and at least nsample so
  // that the fold (rows 0 to 2 * nshot - 1) stays inside.
  const std::uint64_t rows = static_cast<std::uint64_t>(
      std::max<std::int64_t>(table.nsample, CountFramesBetweenReferences(table)));
  const int sino_width = std::max<int>(state.sino_width, 2 * o + 1);

  DoubleBlock projections;
  if (width == 0 || rows <= UINT64_MAX / static_cast<std::uint64_t>(width)) {
    projections = ZeroDoubles(rows * static_cast<std::uint64_t>(width));
  }
  DoubleBlock sino_row = ZeroDoubles(static_cast<std::uint64_t>(sino_width));
  if (!projections || !sino_row) {
    std::fprintf(stderr, " Cannot allocate memory for %llu rows of %d values (%s)\n",
                 static_cast<unsigned long long>(rows), width, sino_name);
    return kStoreNoMemory;
  }

  state.ta_sum = 0;
  state.ta_sq_sum = 0;

  const bool is_signed = reader.SignedCounts();
  std::vector<std::int32_t> dark(static_cast<std::size_t>(width) + 1);
  std::vector<std::int32_t> ref_a(dark.size()), ref_b(dark.size()), sample(dark.size());
  std::vector<double> slope(dark.size()), intercept(dark.size());
  std::vector<DetectorCount> raw(kRowCapacity);
  ToCounts(state.dark, width, is_signed, dark.data());

  std::uint64_t t = 0;
  char name[64];
  for (int m = 0; m + 1 < table.NI0; ++m) {
    const std::int32_t a = table.i0_frames[m], b = table.i0_frames[m + 1];
    ImageName(name, state, reader, a);
    ReadImageRow(reader, name, raw.data(), layer, width, state.row_len, "II01");
    ToCounts(raw.data(), width, is_signed, ref_a.data());
    ImageName(name, state, reader, b);
    ReadImageRow(reader, name, raw.data(), layer, width, state.row_len, "II02");
    ToCounts(raw.data(), width, is_signed, ref_b.data());

    const double xa = table.CoordOf(a), xb = table.CoordOf(b);
    const double dx = xb - xa;
    for (int k = 0; k < width; ++k) {
      const double d = dark[k];
      const double ra = ref_a[k] - d, rb = ref_b[k] - d;
      slope[k] = (rb - ra) / dx;
      intercept[k] = (ra * xb - rb * xa) / dx;
    }

    for (std::int32_t f = a + 1; f < b; ++f) {
      ImageName(name, state, reader, f);
      ReadImageRow(reader, name, raw.data(), layer, width, state.row_len, "II01");
      ToCounts(raw.data(), width, is_signed, sample.data());

      double* p = projections.get() + t * static_cast<std::uint64_t>(width);
      const double x = table.CoordOf(f);
      bool warned = false;
      for (int k = 0; k < width; ++k) {
        const double i0 = x * slope[k] + intercept[k];
        const std::int32_t n = sample[k] - dark[k];
        if (n <= 0 && !warned) {
          reader.WarnDarkAboveSample(name, k, i0, sample[k], dark[k], layer);
          warned = true;
        }
        p[k] = std::log(i0 / static_cast<double>(n));
      }
      if (warned) std::fill(p, p + width, 0.0);
      double ta = 0;
      for (int k = 0; k < width; ++k) ta += p[k];
      state.ta_sum += ta;
      state.ta_sq_sum += ta * ta;
      ++t;
    }
  }

  // Fold: view t from pixel 0 up to the axis pixel o, then view t + nshot from
  // pixel o - 1 back down to 0.
  std::vector<unsigned char> bytes(static_cast<std::size_t>(sino_width) * 8);
  const std::size_t items = static_cast<std::size_t>(std::max<int>(state.sino_width, 0));
  for (int r = 0; r < nshot; ++r) {
    const double* view = projections.get() + static_cast<std::uint64_t>(r) * width;
    const double* mirror = projections.get() + static_cast<std::uint64_t>(r + nshot) * width;
    double* v = sino_row.get();
    // The driver keeps the axis on the row; should it not, nothing is read
    // outside the table and the row stays 0.0.
    if (o >= 0 && o < width) {
      for (int c = 0; c <= o; ++c) v[c] = view[c];
      for (int w = 1; w <= o; ++w) v[o + w] = mirror[o - w];
    }
    for (std::size_t i = 0; i < items; ++i) PutLittleEndian(v[i], &bytes[8 * i]);
    if (std::fwrite(bytes.data(), 8, items, sino.get()) != items) {
      std::fprintf(stderr, " Error writing data to %s at %d\n", sino_name, 1);
      return kStoreWriteFailed;
    }
  }
  // Small files may only meet a full disk when the stream is flushed.
  const bool flushed = std::fflush(sino.get()) == 0;
  const bool closed = std::fclose(sino.release()) == 0;
  if (!flushed || !closed) {
    std::fprintf(stderr, " Error writing data to %s at %d\n", sino_name, 1);
    return kStoreWriteFailed;
  }
  return kStoreOk;
}
