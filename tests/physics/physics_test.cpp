// Both sinogram builders on simulated offset scans, checked against the
// phantom's exact line integrals.
//
// Row t of a sinogram must be the projection of the layer at the angle of
// sample view t, sampled at the rays s_j: index j <= o comes from pixel j of
// view t (s = j - axis); index j > o from pixel 2o - j of view t + nshot,
// half a turn later, whose ray (theta + 180, c - axis) is the ray
// (theta, axis - c).  For an integral offset that is s_j = j - o throughout.
//
// Tolerance.  With no noise the simulated dark levels are integers and the
// counts above the dark are the expected values I0 (reference) and
// Is = I0 exp(-A) (sample) rounded to integers, each off by at most 0.5.
// The builders interpolate the reference linearly between two references,
// exactly where the beam itself is linear, so their I0 is off by at most 0.5
// as well (a convex combination of two such errors).  Hence
//   |ln(I0'/Is') - A| <= |ln(1 + d0/I0)| + |ln(1 + ds/Is)|
//                     <= 0.5/(I0 - 0.5) + 0.5/(Is - 0.5),
// using |ln(1 + x)| <= |x| / (1 - |x|).  The worst values of a scan come
// within a few per cent of this bound, so the test allows 10 per cent more,
// plus 1e-9 for the floating-point arithmetic.  With I0 about 2e4 and Is
// down to about 1e3 the tolerance stays below about 6e-4, while a ray one
// pixel away differs by 1e-2 or more over most of the phantom.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"
#include "scan_model.h"

namespace {

std::vector<double> Doubles(const std::string& bytes) {
  std::vector<double> v(bytes.size() / 8);
  for (std::size_t i = 0; i < v.size(); ++i) {
    std::uint64_t bits = 0;
    for (int b = 7; b >= 0; --b) bits = (bits << 8) | static_cast<unsigned char>(bytes[8 * i + static_cast<std::size_t>(b)]);
    std::memcpy(&v[i], &bits, 8);
  }
  return v;
}

struct ScanSize {
  int frames, interval, width, height;
};

std::vector<std::string> SimscanArgs(const ScanSize& z, const std::string& offset,
                                     const std::string& format, const std::string& seed = "0") {
  return {"--frames", std::to_string(z.frames), "--interval", std::to_string(z.interval),
          "--width",  std::to_string(z.width),  "--height",   std::to_string(z.height),
          "--offset", offset,                   "--format",   format,
          "--seed",   seed,                     "."};
}

// What each sinogram value must be: the exact line integral, and how far
// count rounding may take the builders from it.
struct Truth {
  int sino_width = 0, nshot = 0, o = 0;
  std::vector<double> value;
  std::vector<double> bound;      // what count rounding allows; 0: exactly 0.0
  std::vector<double> tolerance;  // what the test allows
};

Truth ExpectedSinogram(const simscan::ScanModel& m, int layer, double axis) {
  Truth truth;
  truth.o = static_cast<int>(axis);
  truth.sino_width = static_cast<int>(1.0f + static_cast<float>(axis) + static_cast<float>(axis));
  truth.nshot = m.views() / 2;
  std::vector<const simscan::Frame*> view_frame(static_cast<std::size_t>(m.views()));
  for (const simscan::Frame& f : m.frames())
    if (!f.reference) view_frame[static_cast<std::size_t>(f.view)] = &f;

  const int o = truth.o;
  for (int t = 0; t < truth.nshot; ++t) {
    const double theta = m.ViewAngle(t);
    for (int j = 0; j < truth.sino_width; ++j) {
      if (j > 2 * o) {  // the fold fills 2o + 1 values; a last one is 0.0
        truth.value.push_back(0.0);
        truth.bound.push_back(0.0);
        truth.tolerance.push_back(0.0);
        continue;
      }
      const bool first_half = j <= o;
      const int pixel = first_half ? j : 2 * o - j;
      const double s = first_half ? j - axis : axis - pixel;
      const double a = m.LineIntegral(layer, theta, s);
      const simscan::Frame& f = *view_frame[static_cast<std::size_t>(first_half ? t : t + truth.nshot)];
      const double i0 = m.Beam(layer, pixel, f.coord);
      const double is = i0 * std::exp(-a);
      truth.value.push_back(a);
      const double bound = 0.5 / (i0 - 0.5) + 0.5 / (is - 0.5);
      truth.bound.push_back(bound);
      truth.tolerance.push_back(1.1 * bound + 1e-9);
    }
  }
  return truth;
}

// Values outside the tolerance; the first few are described in `report`.
std::size_t Mismatches(const std::vector<double>& got, const Truth& truth, std::string* report) {
  if (got.size() != truth.value.size()) {
    if (report) *report = "size " + std::to_string(got.size()) + " instead of " +
                          std::to_string(truth.value.size());
    return got.size() > truth.value.size() ? got.size() : truth.value.size();
  }
  std::size_t bad = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool exact = truth.tolerance[i] == 0.0;
    const bool ok = exact ? got[i] == truth.value[i]
                          : std::fabs(got[i] - truth.value[i]) <= truth.tolerance[i];
    if (ok) continue;
    if (report && bad < 5) {
      char line[200];
      std::snprintf(line, sizeof line, "row %zu index %zu: %.9g, expected %.9g +- %.3g\n",
                    i / static_cast<std::size_t>(truth.sino_width),
                    i % static_cast<std::size_t>(truth.sino_width), got[i], truth.value[i],
                    truth.tolerance[i]);
      *report += line;
    }
    ++bad;
  }
  return bad;
}

struct PhysicsCase {
  const char* name;
  const char* format;   // of simscan
  const char* builder;
  ScanSize size;
  const char* offset;   // as typed on both command lines
  int layer;
};
void PrintTo(const PhysicsCase& c, std::ostream* os) { *os << c.name; }

class Physics : public testing::TestWithParam<PhysicsCase> {};

TEST_P(Physics, SinogramIsTheProjectionOfThePhantom) {
  const PhysicsCase& c = GetParam();
  e2e::WorkDir dir;
  const e2e::Result sim = e2e::Run("simscan", SimscanArgs(c.size, c.offset, c.format), dir);
  ASSERT_EQ(sim.status, 0) << sim.err;

  const e2e::Result run = e2e::Run(c.builder, {std::to_string(c.layer), c.offset}, dir);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");  // no pixel at or below the dark

  const double axis = std::stod(c.offset);
  const simscan::ScanModel model(c.size.width, c.size.height, axis, c.size.frames,
                                 c.size.interval);
  const Truth truth = ExpectedSinogram(model, c.layer, axis);
  char sin_name[16];
  std::snprintf(sin_name, sizeof sin_name, "s%04d.sin", c.layer);
  ASSERT_EQ(run.files.count(sin_name), 1u);
  std::string report;
  EXPECT_EQ(Mismatches(Doubles(run.files.at(sin_name)), truth, &report), 0u) << report;

  const std::string summary = run.files.at("sino.tmp");
  EXPECT_EQ(summary.substr(0, summary.find('\n')), std::to_string(truth.sino_width));
}

// Integral offsets give rows of 2o + 1 values, half-integral ones 2o + 2
// with a last value of 0.0; the last case has four-digit image names.
INSTANTIATE_TEST_SUITE_P(
    BothBuilders, Physics,
    testing::Values(
        PhysicsCase{"HiPicIntegral", "hipic", "halfscan_hipic", {120, 12, 96, 4}, "80", 1},
        PhysicsCase{"HiPicHalf", "hipic", "halfscan_hipic", {120, 12, 96, 4}, "80.5", 2},
        PhysicsCase{"TiffLittleEndianIntegral", "tiff", "halfscan_tagged", {120, 12, 96, 4}, "80", 0},
        PhysicsCase{"TiffBigEndianHalf", "tiff-be", "halfscan_tagged", {120, 7, 90, 5}, "70.5", 3},
        PhysicsCase{"HiPicAxisNearTheMiddle", "hipic", "halfscan_hipic", {64, 64, 80, 3}, "41", 1},
        PhysicsCase{"TiffFourDigitNames", "tiff", "halfscan_tagged", {1000, 250, 40, 1}, "33", 0}),
    [](const testing::TestParamInfo<PhysicsCase>& i) { return std::string(i.param.name); });

// The same scan written in both formats: the two builders must agree bit for
// bit, since every count is below 32768 and so reads the same as signed or
// unsigned.
TEST(PhysicsFormats, BothBuildersWriteTheSameSinogram) {
  const ScanSize size{80, 9, 64, 2};
  e2e::WorkDir tiff, hipic;
  ASSERT_EQ(e2e::Run("simscan", SimscanArgs(size, "55.5", "tiff-be", "11"), tiff).status, 0);
  ASSERT_EQ(e2e::Run("simscan", SimscanArgs(size, "55.5", "hipic", "11"), hipic).status, 0);
  const e2e::Result a = e2e::Run("halfscan_tagged", {"1", "55.5"}, tiff);
  const e2e::Result b = e2e::Run("halfscan_hipic", {"1", "55.5"}, hipic);
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(a.files.at("s0001.sin"), b.files.at("s0001.sin"));
  EXPECT_EQ(a.files.at("sino.tmp"), b.files.at("sino.tmp"));
}

// The comparison itself: sinograms from the exact projections pass, and the
// faults it is there to catch do not.
TEST(PhysicsCheck, RejectsTheUsualFoldingFaults) {
  const ScanSize z{120, 12, 96, 4};
  const int layer = 1;
  for (const double axis : {80.0, 80.5}) {
    SCOPED_TRACE(axis);
    const simscan::ScanModel m(z.width, z.height, axis, z.frames, z.interval);
    const Truth truth = ExpectedSinogram(m, layer, axis);
    const int o = truth.o, n = truth.nshot;
    // Pixel c of view v as the detector sees it (no rounding).
    auto p = [&](int v, int c) { return m.LineIntegral(layer, m.ViewAngle(v), c - axis); };
    using Fold = std::function<double(int t, int j)>;
    auto build = [&](const Fold& fold) {
      std::vector<double> s;
      for (int t = 0; t < n; ++t)
        for (int j = 0; j < truth.sino_width; ++j) s.push_back(j > 2 * o ? 0.0 : fold(t, j));
      return s;
    };
    const Fold right = [&](int t, int j) { return j <= o ? p(t, j) : p(t + n, 2 * o - j); };
    EXPECT_EQ(Mismatches(build(right), truth, nullptr), 0u);

    const struct {
      const char* name;
      Fold fold;
    } faults[] = {
        {"mirror not reversed", [&](int t, int j) { return j <= o ? p(t, j) : p(t + n, j - o - 1); }},
        {"mirror starts at the axis pixel", [&](int t, int j) { return j <= o ? p(t, j) : p(t + n, 2 * o - j + 1); }},
        {"mirror skips a pixel", [&](int t, int j) { return j <= o ? p(t, j) : p(t + n, 2 * o - j - 1); }},
        {"paired with the view one step early", [&](int t, int j) { return j <= o ? p(t, j) : p(t + n - 1, 2 * o - j); }},
        {"halves swapped", [&](int t, int j) { return j <= o ? p(t + n, j) : p(t, 2 * o - j); }},
        {"wrong sign", [&](int t, int j) { return -right(t, j); }},
        {"first half one pixel off", [&](int t, int j) { return j <= o ? p(t, j + 1) : p(t + n, 2 * o - j); }},
    };
    const std::size_t filled = static_cast<std::size_t>(n) * static_cast<std::size_t>(2 * o + 1);
    for (const auto& f : faults) {
      // Most values inside the phantom must give the fault away.
      EXPECT_GT(Mismatches(build(f.fold), truth, nullptr), filled / 4) << f.name;
    }
  }
}

// With noise the sinogram scatters around the line integrals as counting
// statistics say: the error of ln(I0/I) has a standard deviation of about
// sqrt(1/Is + 1/I0) (somewhat less, as the reference is interpolated).
TEST(PhysicsNoise, ScatterFollowsCountingStatistics) {
  const ScanSize z{120, 12, 96, 3};
  e2e::WorkDir dir;
  ASSERT_EQ(e2e::Run("simscan", SimscanArgs(z, "80", "hipic", "2024"), dir).status, 0);
  const e2e::Result run = e2e::Run("halfscan_hipic", {"1", "80"}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const simscan::ScanModel m(z.width, z.height, 80.0, z.frames, z.interval);
  const Truth truth = ExpectedSinogram(m, 1, 80.0);
  const std::vector<double> got = Doubles(run.files.at("s0001.sin"));
  ASSERT_EQ(got.size(), truth.value.size());

  double sum = 0, sum_sq = 0;
  for (std::size_t i = 0; i < got.size(); ++i) {
    // The rounding bound 0.5/(I0 - 0.5) + 0.5/(Is - 0.5) is about half of
    // 1/Is + 1/I0.
    const double var = 2.0 * truth.bound[i];
    const double r = (got[i] - truth.value[i]) / std::sqrt(var);
    sum += r;
    sum_sq += r * r;
  }
  const double count = static_cast<double>(got.size());
  const double mean = sum / count, rms = std::sqrt(sum_sq / count);
  EXPECT_LT(std::fabs(mean), 0.05);
  EXPECT_GT(rms, 0.75);
  EXPECT_LT(rms, 1.1);
}

}  // namespace
