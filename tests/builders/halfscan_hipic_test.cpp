// halfscan_hipic end to end: generated scans in a temporary directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "builder_case.h"
#include "e2e.h"
#include "scan_fixture.h"

namespace {

using builder_test::ExpectCompleteRun;
using builder_test::ExpectFailure;
using builder_test::Failure;
using builder_test::Remove;

const char* kProgram = "halfscan_hipic";

// Frames 1 to 41, references every 10 frames: 36 samples, 18 sinogram rows.
fixture::Scan SmallScan() { return fixture::SmoothScan(12, 3, 41, 10); }

struct Geometry {
  const char* name;
  int layer;
  float offset;
  int sino_width;
};

class HiPicGeometry : public testing::TestWithParam<Geometry> {};

// Integral offsets fill 2o + 1 values; from a fraction of one half on the row
// is 2o + 2 wide and its last value is 0.0; an axis at pixel 0 keeps one value.
TEST_P(HiPicGeometry, SinogramMatchesTheModel) {
  const Geometry& g = GetParam();
  e2e::WorkDir dir;
  const fixture::Scan scan = SmallScan();
  fixture::WriteHiPicScan(dir.path(), scan);
  char offset_text[32];
  std::snprintf(offset_text, sizeof offset_text, "%g", static_cast<double>(g.offset));
  const e2e::Result r = e2e::Run(kProgram, {std::to_string(g.layer), offset_text}, dir);
  const fixture::Expected e = fixture::Model(scan, g.layer, g.offset, false);
  ASSERT_EQ(e.sino_width, g.sino_width);
  ExpectCompleteRun(r, scan, g.layer, g.offset, e);
}

INSTANTIATE_TEST_SUITE_P(Cases, HiPicGeometry,
                         testing::Values(Geometry{"Integral", 1, 4.0f, 9},
                                         Geometry{"Half", 1, 4.5f, 10},
                                         Geometry{"AlmostHalf", 0, 4.49f, 9},
                                         Geometry{"AxisAtPixelZero", 2, 0.4f, 1},
                                         Geometry{"Zero", 0, 0.0f, 1},
                                         Geometry{"AxisAtLastPixel", 2, 11.0f, 23}),
                         [](const testing::TestParamInfo<Geometry>& i) { return i.param.name; });

TEST(HiPicBuilder, FoldsViewTWithViewTPlusNshotMirrored) {
  // Spot checks of the fold on top of the model: index o is view t's axis
  // pixel, index o + 1 is view t + n's pixel o - 1, the last filled value is
  // view t + n's pixel 0.
  e2e::WorkDir dir;
  const fixture::Scan scan = SmallScan();
  fixture::WriteHiPicScan(dir.path(), scan);
  const e2e::Result r = e2e::Run(kProgram, {"1", "4.5"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<double> v = fixture::DecodeSinogram(r.files.at("s0001.sin"));
  ASSERT_EQ(v.size(), 18u * 10u);
  // Table rows 0 and 18 hold frames 2 and 22 (references 1, 11, 21 skipped).
  auto absorption = [&scan](int frame, int col) {
    const int d = scan.count(0, 1, col);
    const int a = frame < 11 ? 1 : frame < 21 ? 11 : frame < 31 ? 21 : 31, b = a + 10;
    const double ra = scan.count(a, 1, col) - d, rb = scan.count(b, 1, col) - d;
    const double i0 = ra + (rb - ra) * (frame - a) / (b - a);
    return std::log(i0 / (scan.count(frame, 1, col) - d));
  };
  EXPECT_NEAR(v[4], absorption(2, 4), 1e-12);
  EXPECT_NEAR(v[5], absorption(22, 3), 1e-12);
  EXPECT_NEAR(v[8], absorption(22, 0), 1e-12);
  EXPECT_EQ(v[9], 0.0);
  EXPECT_GT(v[4], 0.1) << "absorbing sample gives positive values";
}

TEST(HiPicBuilder, TypicalRun) {
  // Frames 1 to 1802 with a reference every 100 frames, layer 512, offset 600.
  // Images are sparse: only row 512 is stored.
  e2e::WorkDir dir;
  const int layer = 512;
  fixture::Scan scan = fixture::SmoothScan(640, 513, 1802, 100);
  dir.Write("output.log", fixture::LogText(scan.Log()));
  fixture::WriteSparseHiPic(dir.PathOf("dark.img"), scan.width, layer,
                            [&](int c) { return scan.count(0, layer, c); });
  for (int f = 1; f <= scan.last_frame; ++f) {
    fixture::WriteSparseHiPic(dir.PathOf(fixture::ImageName(scan, f, ".img")), scan.width, layer,
                              [&](int c) { return scan.count(f, layer, c); });
  }
  ASSERT_EQ(fixture::ImageName(scan, 7, ".img"), "q0007.img");
  const e2e::Result r = e2e::Run(kProgram, {"512", "600"}, dir);
  const fixture::Expected e = fixture::Model(scan, layer, 600.0f, false);
  ASSERT_EQ(e.nshot, 891);
  ExpectCompleteRun(r, scan, layer, 600.0f, e);
  EXPECT_EQ(r.files.at("sino.tmp").substr(0, 25), "1201\n891\n0512\n600.500000\n");
}

TEST(HiPicBuilder, CountsAbove32767AreUnsigned) {
  e2e::WorkDir dir;
  fixture::Scan scan = SmallScan();
  const auto base = scan.count;
  scan.count = [base](int f, int r, int c) {
    return static_cast<std::uint16_t>(f == 0 ? base(f, r, c) : base(f, r, c) + 30000);
  };
  fixture::WriteHiPicScan(dir.path(), scan);
  const e2e::Result r = e2e::Run(kProgram, {"1", "5"}, dir);
  ExpectCompleteRun(r, scan, 1, 5.0f, fixture::Model(scan, 1, 5.0f, false));
}

TEST(HiPicBuilder, WarnsOncePerFrameWhereTheDarkReachesTheSample) {
  e2e::WorkDir dir;
  fixture::Scan scan = SmallScan();
  const auto base = scan.count;
  // Frame 5: pixel 3 equals the dark, pixel 7 is below it.  Frame 6: only
  // pixel 9.  The next frames are clean again.
  scan.count = [base](int f, int r, int c) -> std::uint16_t {
    if ((f == 5 && c == 3) || (f == 6 && c == 9)) return base(0, r, c);
    if (f == 5 && c == 7) return static_cast<std::uint16_t>(base(0, r, c) - 1);
    return base(f, r, c);
  };
  fixture::WriteHiPicScan(dir.path(), scan);
  const e2e::Result r = e2e::Run(kProgram, {"1", "5"}, dir);
  const fixture::Expected e = fixture::Model(scan, 1, 5.0f, false);
  ASSERT_EQ(e.warnings.size(), 2u);
  std::string out;
  for (const auto& w : e.warnings) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "Warning \tjx=%d, I0=%f, I=%d, dark=%d, ln=%d\tat q%03d.img\n",
                  w.pixel, w.i0, w.sample, w.dark, 1, w.frame);
    out += buf;
  }
  EXPECT_NE(out.find("jx=3,"), std::string::npos);
  EXPECT_NE(out.find("jx=9,"), std::string::npos);
  ExpectCompleteRun(r, scan, 1, 5.0f, e, out);
  // The zeroed frame (table row 3) is all 0.0: its view sits in sinogram row 3.
  const std::vector<double> v = fixture::DecodeSinogram(r.files.at("s0001.sin"));
  for (int c = 0; c <= 5; ++c) EXPECT_EQ(v[3 * 11 + c], 0.0);
}

TEST(HiPicBuilder, NoSampleLinesGivesNotANumberStatistics) {
  // Only references are listed; frames 2 to 4 lie between two of them and
  // are still read and processed, but nsample is 0: no sinogram rows,
  // undefined statistics.
  e2e::WorkDir dir;
  fixture::Scan scan = fixture::SmoothScan(6, 2, 5, 4);
  fixture::WriteHiPicScan(dir.path(), scan);
  dir.Write("output.log", "1 1.0 0.0 0\n5 5.0 0.0 0\n5 5.0 0.0 0\n5 5.0 0.0 0\n5 5.0 360.0 0\n");
  const e2e::Result r = e2e::Run(kProgram, {"0", "2"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(fixture::MaskTime(r.err),
            " nshot = 0, NI0 = 5, total = 7 \n TA mean\tnan\tTASD\tnan\n TASD/TA mean\tnan\n"
            " Store Sinogram \tT / sec\n");
  EXPECT_EQ(r.files.at("s0000.sin"), "");
  EXPECT_EQ(r.files.at("sino.tmp"), "5\n0\n0000\n2.500000\nnan\nnan\n");
}

TEST(HiPicBuilder, SingleReferenceReadsNoImage) {
  // With one reference there is no pair: only the dark image is read, and
  // every sinogram value is 0.0.
  e2e::WorkDir dir;
  fixture::Scan scan = fixture::SmoothScan(6, 2, 9, 100);
  scan.references = {1};
  dir.Write("output.log", fixture::LogText(scan.Log()));
  dir.Write("dark.img", fixture::HiPicImage(6, 2, [](int, int) { return 100; }));
  const e2e::Result r = e2e::Run(kProgram, {"1", "2"}, dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(fixture::MaskTime(r.err),
            " nshot = 4, NI0 = 1, total = 11 \n TA mean\t0.000000\tTASD\t0.000000\n"
            " TASD/TA mean\tnan\n Store Sinogram \tT / sec\n");
  EXPECT_EQ(r.files.at("s0001.sin"), std::string(4 * 5 * 8, '\0'));
}

TEST(HiPicBuilder, RefusesAProjectionTableBeyondMemory) {
  // 350 reference pairs from frame -32768 to 32767 put 65534 frames between
  // each: 22936900 rows of 8001 doubles, far more than any machine holds.
  e2e::WorkDir dir;
  std::string log;
  for (int i = 0; i < 700; ++i) log += i % 2 ? "32767 1.0 0.0 0\n" : "-32768 0.0 0.0 0\n";
  log += "701 2.0 360.0 1\n";
  dir.Write("output.log", log);
  dir.Write("dark.img", fixture::HiPicImage(8001, 2, [](int, int) { return 100; }));
  const e2e::Result r = e2e::Run(kProgram, {"1", "4"}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "something wrong in StoreProjection (-12)\n");
  // A sanitizer build notes the refused allocation on its own line; that
  // line is the sanitizer's, not the program's.
  std::string err = r.err;
  const std::size_t note = err.find("==");
  if (note != std::string::npos && err.find("failed to allocate", note) != std::string::npos)
    err.erase(note, err.find('\n', note) + 1 - note);
  EXPECT_EQ(err, " nshot = 0, NI0 = 700, total = 703 \n"
                   " Cannot allocate memory for 22936900 rows of 8001 values (s0001.sin)\n");
  EXPECT_EQ(r.files.at("s0001.sin"), "");
  EXPECT_EQ(r.files.count("sino.tmp"), 0u);
}

// Failures: each row damages a good small scan and names what the run prints.
class HiPicFailure : public testing::TestWithParam<Failure> {};

TEST_P(HiPicFailure, EndsAsSpecified) {
  const Failure& f = GetParam();
  e2e::WorkDir dir;
  const fixture::Scan scan = SmallScan();
  fixture::WriteHiPicScan(dir.path(), scan);
  if (f.damage) f.damage(dir);
  const e2e::Result r = e2e::Run(kProgram, f.args, dir);
  ExpectFailure(r, f, scan, fixture::Model(scan, 1, 4.0f, false));
}

const std::vector<std::string> kArgs = {"1", "4"};
const char* kUsage = "parameter was wrong!!!\nusage : halfscan_hipic layer offset\n";
const char* kEmpty = "";

INSTANTIATE_TEST_SUITE_P(
    Cases, HiPicFailure,
    testing::Values(
        Failure{"NoArguments", nullptr, {}, "", kUsage, 1, nullptr},
        Failure{"OneArgument", nullptr, {"1"}, "", kUsage, 1, nullptr},
        Failure{"ThreeArguments", nullptr, {"1", "4", "5"}, "", kUsage, 1, nullptr},
        Failure{"NegativeOffset", nullptr, {"1", "-1"}, "",
                "bad offset -1: it must be at least 0 and below 8001\n", 1, nullptr},
        Failure{"OffsetNotANumber", nullptr, {"1", "nan"}, "",
                "bad offset nan: it must be at least 0 and below 8001\n", 1, nullptr},
        Failure{"OffsetAtCapacity", nullptr, {"1", "8001"}, "",
                "bad offset 8001: it must be at least 0 and below 8001\n", 1, nullptr},
        Failure{"OffsetBeyondFloat", nullptr, {"1", "1e300"}, "",
                "bad offset 1e300: it must be at least 0 and below 8001\n", 1, nullptr},
        Failure{"NoLog", [](const e2e::WorkDir& d) { Remove(d, "output.log"); }, kArgs,
                "cannot open output.log \n", "canot read 'output.log' ! (-10)\n", 1, nullptr},
        Failure{"TooManyProjections",
                [](const e2e::WorkDir& d) { d.Write("output.log", "9899 1.0 360.0 1\n"); }, kArgs,
                "", "Too many projections!canot read 'output.log' ! (1)\n", 1, nullptr},
        Failure{"NotAFullTurn",
                [](const e2e::WorkDir& d) {
                  d.Write("output.log", "1 1.0 0.0 0\n2 2.0 349.99 1\n");
                },
                kArgs, "",
                "It seems it's not a offset CT data.\n349.989990\ncanot read 'output.log' ! (1)\n",
                1, nullptr},
        Failure{"NoDark", [](const e2e::WorkDir& d) { Remove(d, "dark.img"); }, kArgs,
                "can not open dark.img for input\n", "%Csomething wrong in dark file (-10)\n", 1,
                nullptr},
        Failure{"DarkShortHeader", [](const e2e::WorkDir& d) { d.Write("dark.img", "IM"); }, kArgs,
                "", "%CEOF in dark.img (header)\nsomething wrong in dark file (-1)\n", 1, nullptr},
        Failure{"DarkNotHiPic",
                [](const e2e::WorkDir& d) { d.Write("dark.img", std::string(100, 'x')); }, kArgs,
                "",
                "%CThis is not HiPIc image file.\nFile name = dark.img\n"
                "something wrong in dark file (-11)\n",
                1, nullptr},
        Failure{"DarkNegativeComment",
                [](const e2e::WorkDir& d) { d.Write("dark.img", fixture::HiPicRaw(-2, 12, "", {})); },
                kArgs, "",
                "%CConnot allocate memory (HiPic_Header.comment)\nFile name = dark.img\n"
                "something wrong in dark file (-12)\n",
                1, nullptr},
        Failure{"DarkCommentCut",
                [](const e2e::WorkDir& d) { d.Write("dark.img", fixture::HiPicRaw(9, 12, "ab", {})); },
                kArgs, "",
                "%CEOF found (comment)\nFile name = dark.img\nsomething wrong in dark file (-13)\n",
                1, nullptr},
        Failure{"DarkWiderThanTheBuffers",
                [](const e2e::WorkDir& d) { d.Write("dark.img", fixture::HiPicRaw(0, 8002, "", {})); },
                kArgs, "",
                "%C Bad image width 8002 (the row buffer holds 8001 values)\nFile name = dark.img\n"
                "something wrong in dark file (-14)\n",
                1, nullptr},
        Failure{"NegativeLayer", nullptr, {"-1", "4"}, "",
                "%C Bad row index -1\nFile name = dark.img\nsomething wrong in dark file (-15)\n", 1,
                nullptr},
        Failure{"LayerBelowTheImage", nullptr, {"3", "4"}, "",
                "%C Error reading dark.img at 3 (0)\nFile name = dark.img\n"
                "something wrong in dark file (4)\n",
                1, nullptr},
        Failure{"OffsetBeyondTheRow", nullptr, {"1", "12"}, "",
                "%Cbad offset 12: the detector row has 12 pixels (dark.img)\n", 1, nullptr},
        Failure{"SinogramCannotBeCreated", [](const e2e::WorkDir& d) { d.MakeDir("s0001.sin"); },
                kArgs, "can not open s0001.sin for input\nsomething wrong in StoreProjection (-10)\n",
                "%C", 1, nullptr},
        Failure{"FirstReferenceMissing", [](const e2e::WorkDir& d) { Remove(d, "q001.img"); }, kArgs,
                "can not open q001.img for input\nsomething wrong -- return value is -10(II01)", "%C",
                255, kEmpty},
        Failure{"SecondReferenceMissing", [](const e2e::WorkDir& d) { Remove(d, "q011.img"); },
                kArgs,
                "can not open q011.img for input\nsomething wrong -- return value is -10(II02)", "%C",
                255, kEmpty},
        Failure{"LaterReferenceNotHiPic",
                [](const e2e::WorkDir& d) { d.Write("q031.img", std::string(64, 'M')); }, kArgs,
                "something wrong -- return value is -11(II02)",
                "%CThis is not HiPIc image file.\nFile name = q031.img\n", 255, kEmpty},
        Failure{"SampleMissing", [](const e2e::WorkDir& d) { Remove(d, "q005.img"); }, kArgs,
                "can not open q005.img for input\nsomething wrong -- return value is -10(II01)", "%C",
                255, kEmpty},
        Failure{"SampleRowCut",
                [](const e2e::WorkDir& d) {
                  d.Write("q005.img", fixture::HiPicImage(12, 1, [](int, int) { return 500; }) +
                                          std::string(7, '\1'));
                },
                kArgs, "something wrong -- return value is 2(II01)",
                "%C Error reading q005.img at 1 (3)\nFile name = q005.img\n", 255, kEmpty},
        Failure{"SampleOfAnotherWidth",
                [](const e2e::WorkDir& d) {
                  d.Write("q005.img", fixture::HiPicImage(11, 3, [](int, int) { return 500; }));
                },
                kArgs, "something wrong -- return value is -16(II01)",
                "%C Image width 11 differs from the dark row's 12\nFile name = q005.img\n", 255,
                kEmpty},
        Failure{"SinogramWriteFails",
                [](const e2e::WorkDir& d) { d.Symlink("/dev/full", "s0001.sin"); }, kArgs,
                "something wrong in StoreProjection (2)\n",
                "%C Error writing data to s0001.sin at 1\n", 1, nullptr},
        Failure{"SummaryCannotBeOpened", [](const e2e::WorkDir& d) { d.MakeDir("sino.tmp"); },
                kArgs, "can not open sino.tmp for input\n", "%C%S", 1, "*"},
        Failure{"SummaryWriteFails",
                [](const e2e::WorkDir& d) { d.Symlink("/dev/full", "sino.tmp"); }, kArgs, "",
                "%C%S Error writing data to sino.tmp\n", 1, "*"}),
    [](const testing::TestParamInfo<Failure>& i) { return i.param.name; });

}  // namespace
