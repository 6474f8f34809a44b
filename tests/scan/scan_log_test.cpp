// The log reader and its checks, in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "e2e.h"
#include "scan_log.h"

namespace {

struct Parsed {
  std::unique_ptr<ScanTable> table = std::make_unique<ScanTable>();
  int read_status = 0;
  int check_status = 0;
  std::string out, err;
};

Parsed ParseLog(const std::string& text) {
  e2e::WorkDir dir;
  dir.Write("output.log", text);
  Parsed p;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  p.read_status = ReadScanLog(*p.table, dir.PathOf("output.log").c_str());
  if (p.read_status == 0) p.check_status = CheckScanTable(*p.table);
  std::fflush(stdout);
  std::fflush(stderr);
  p.err = testing::internal::GetCapturedStderr();
  p.out = testing::internal::GetCapturedStdout();
  return p;
}

// n lines "f f*0.2 angle flag" with the last angle 360 and references every 10.
std::string Lines(int first, int last, float last_angle = 360.0f) {
  std::string s;
  char buf[100];
  for (int f = first; f <= last; ++f) {
    const double angle = f == last ? last_angle : 360.0 * f / last;
    std::snprintf(buf, sizeof buf, "%d %f %f %d\n", f, f * 0.2, angle, f % 10 == 1 ? 0 : 1);
    s += buf;
  }
  return s;
}

TEST(ScanLog, WellFormedLogFillsTheTable) {
  Parsed p = ParseLog(Lines(1, 21));
  ASSERT_EQ(p.check_status, 0);
  const ScanTable& t = *p.table;
  EXPECT_EQ(t.NI0, 3);
  EXPECT_EQ(t.nsample, 18);
  EXPECT_EQ(t.total, 23);
  EXPECT_EQ(t.nshot, 9);
  EXPECT_EQ(t.four_digit_names, 0);
  EXPECT_EQ(t.i0_frames[0], 1);
  EXPECT_EQ(t.i0_frames[1], 11);
  EXPECT_EQ(t.i0_frames[2], 21);
  EXPECT_FLOAT_EQ(t.coord[5], 1.0f);
  EXPECT_EQ(t.coord[0], 0.0f);
  EXPECT_EQ(t.coord[22], 0.0f);
  EXPECT_EQ(t.angle[21], 360.0f);
  EXPECT_EQ(p.err, " nshot = 9, NI0 = 3, total = 23 \n");
  EXPECT_EQ(p.out, "");
}

TEST(ScanLog, MissingLog) {
  auto table = std::make_unique<ScanTable>();
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadScanLog(*table, "/nonexistent/output.log"), kScanLogOpenFailed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "cannot open output.log \n");
}

// Logs the checks refuse, with what standard error shows.
struct Refusal {
  const char* name;
  std::string log;
  const char* err;
};

class ScanLogRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(ScanLogRefusal, EndsWithItsMessage) {
  Parsed p = ParseLog(GetParam().log);
  EXPECT_EQ(p.read_status, 0);
  EXPECT_EQ(p.check_status, 1);
  EXPECT_EQ(p.err, GetParam().err);
}

std::string ManyLines(int n, int frame) {
  std::string s;
  for (int i = 0; i < n; ++i) s += std::to_string(frame) + " 1.0 360.0 1\n";
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanLogRefusal,
    testing::Values(
        Refusal{"Empty", "", "It seems it's not a offset CT data.\n0.000000\n"},
        Refusal{"ShortFirstLine", "1\n2 0.0 360.0 1\n",
                "It seems it's not a offset CT data.\n0.000000\n"},
        Refusal{"LastAngleJustBelow", Lines(1, 30, 349.99f),
                "It seems it's not a offset CT data.\n349.989990\n"},
        Refusal{"LastFrame9899", Lines(9899, 9899), "Too many projections!"},
        // Line count beyond the table although the frame numbers stay small.
        Refusal{"MoreLinesThanSlots", ManyLines(9899, 5), "Too many projections!"},
        Refusal{"NegativeLastFrame", "1 0.0 360.0 0\n-5 1.0 360.0 1\n",
                "It seems it's not a offset CT data.\n0.000000\n"},
        // 65534 + 2 wraps to 0 in 16 bits: slot -2 is before the table.
        Refusal{"LastFrameWrapsTotal", "65534 1.0 360.0 1\n",
                "It seems it's not a offset CT data.\n0.000000\n"}),
    [](const testing::TestParamInfo<Refusal>& i) { return i.param.name; });

TEST(ScanLog, FrameCountLimits) {
  // 9898 lines fill the table exactly; the last frame 9898 gives total 9900.
  Parsed full = ParseLog(ManyLines(9897, 1) + "9898 1.0 360.0 1\n");
  EXPECT_EQ(full.check_status, 0);
  EXPECT_EQ(full.table->total, 9900);
  EXPECT_EQ(full.table->nsample, 9898);
}

TEST(ScanLog, AngleExactly350Passes) {
  Parsed p = ParseLog(Lines(1, 30, 350.0f));
  EXPECT_EQ(p.check_status, 0);
}

TEST(ScanLog, NotANumberAnglePasses) {
  Parsed p = ParseLog("1 0.0 0.0 0\n2 1.0 nan 1\n");
  EXPECT_EQ(p.check_status, 0);
}

TEST(ScanLog, ImageNameDigitsFollowTheLastFrame) {
  EXPECT_EQ(ParseLog(Lines(997, 997)).table->four_digit_names, 0);
  EXPECT_EQ(ParseLog(Lines(997, 997)).table->total, 999);
  EXPECT_EQ(ParseLog(Lines(998, 998)).table->four_digit_names, 1);
}

TEST(ScanLog, BlankOrShortLineEndsTheLog) {
  for (const char* stop : {"\n", "7\n", " \n"}) {
    Parsed p = ParseLog("1 0.0 0.0 0\n2 1.0 360.0 1\n" + std::string(stop) + "900 2.0 10.0 1\n");
    EXPECT_EQ(p.table->total, 4) << stop;
    EXPECT_EQ(p.table->nsample, 1) << stop;
    EXPECT_EQ(p.check_status, 0) << stop;
  }
}

TEST(ScanLog, LongLineIsReadInPiecesOf99) {
  // 99 characters of one line, then its remainder "3 1.5 360.0 1" as a line
  // of its own.
  std::string head = "2 0.5 10.0 0";
  head += std::string(99 - head.size(), ' ');
  Parsed p = ParseLog("1 0.0 0.0 0\n" + head + "3 1.5 360.0 1\n");
  const ScanTable& t = *p.table;
  EXPECT_EQ(t.NI0, 2);
  EXPECT_EQ(t.nsample, 1);
  EXPECT_EQ(t.total, 5);
  EXPECT_FLOAT_EQ(t.coord[2], 0.5f);
  EXPECT_FLOAT_EQ(t.coord[3], 1.5f);
  EXPECT_EQ(t.angle[3], 360.0f);
}

TEST(ScanLog, FieldsThatDoNotConvertKeepEarlierValues) {
  // Line 2 has no flag: it takes line 1's (reference).  Line 3 has no
  // number at all: frame and flag stay, its slots stay 0.  Line 4 stops at a
  // bad coord: the frame converts, coord, angle and flag do not.
  Parsed p = ParseLog("1 0.5 0.0 0\n2 0.7 1.0\nabc def\n4 x 9.0 1\n5 1.0 360.0 1\n");
  const ScanTable& t = *p.table;
  EXPECT_EQ(t.NI0, 4);
  EXPECT_EQ(t.i0_frames[1], 2);
  EXPECT_EQ(t.i0_frames[2], 2);
  EXPECT_EQ(t.i0_frames[3], 4);
  EXPECT_FLOAT_EQ(t.coord[2], 0.7f);
  EXPECT_EQ(t.coord[3], 0.0f);
  EXPECT_EQ(t.coord[4], 0.0f);
  EXPECT_EQ(t.angle[4], 0.0f);
  EXPECT_EQ(t.nsample, 1);
}

TEST(ScanLog, FirstLineWithoutFlagIsASample) {
  Parsed p = ParseLog("1 0.5 0.0\n2 1.0 360.0 0\n");
  EXPECT_EQ(p.table->nsample, 1);
  EXPECT_EQ(p.table->NI0, 1);
}

TEST(ScanLog, FrameNumbersKeepTheirLow16Bits) {
  Parsed p = ParseLog("32768 0.0 0.0 0\n65537 0.0 0.0 0\n-1 0.0 0.0 0\n4294967298 0 0 0\n");
  const ScanTable& t = *p.table;
  ASSERT_EQ(t.NI0, 4);
  EXPECT_EQ(t.i0_frames[0], -32768);
  EXPECT_EQ(t.i0_frames[1], 1);
  EXPECT_EQ(t.i0_frames[2], -1);
  EXPECT_EQ(t.i0_frames[3], 2);
  EXPECT_EQ(t.total, 4);
}

TEST(ScanLog, HugeFlagIsStillNonZero) {
  Parsed p = ParseLog("1 0.0 0.0 4294967296\n2 0.0 360.0 00\n");
  EXPECT_EQ(p.table->nsample, 1);
  EXPECT_EQ(p.table->NI0, 1);
}

TEST(ScanLog, OddSampleCountIsTruncated) {
  std::string s = "1 0 0 0\n";
  for (int f = 2; f <= 902; ++f) s += std::to_string(f) + " 0 360 1\n";
  s += "903 0 360 0\n";
  Parsed p = ParseLog(s);
  EXPECT_EQ(p.table->nsample, 901);
  EXPECT_EQ(p.table->nshot, 450);
}

TEST(ScanLog, BinaryGarbageEndsTheLogQuietly) {
  std::string s = "1 0.0 0.0 0\n2 1.0 360.0 1\n";
  s += std::string("\0\0\xff\xfe\n", 5);
  s += "3 2.0 10.0 1\n";
  Parsed p = ParseLog(s);
  EXPECT_EQ(p.table->total, 4);
  EXPECT_EQ(p.check_status, 0);
}

}  // namespace
