// simscan end to end: the scan folder it writes, its summary and its
// refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"

namespace {

struct LogLine {
  int frame;
  double coord, angle;
  int flag;
};

std::vector<LogLine> ParseLog(const std::string& text) {
  std::vector<LogLine> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    LogLine l{};
    EXPECT_EQ(std::sscanf(line.c_str(), "%d %lf %lf %d", &l.frame, &l.coord, &l.angle, &l.flag), 4)
        << line;
    lines.push_back(l);
  }
  return lines;
}

std::vector<std::string> Args(int frames, int interval, int width, int height,
                              const std::string& format, const std::string& seed = "0") {
  return {"--frames", std::to_string(frames), "--interval", std::to_string(interval),
          "--width",  std::to_string(width),  "--height",   std::to_string(height),
          "--format", format,                 "--seed",     seed,
          "."};
}

struct Plan {
  int frames, interval;
};
void PrintTo(const Plan& p, std::ostream* os) {
  *os << p.frames << " views, interval " << p.interval;
}

class ScanLog : public testing::TestWithParam<Plan> {};

// What the builders rely on: frame numbers equal line numbers, references
// first and last and at most `interval` views apart, the views evenly over
// the full turn, and time stamps that grow.
TEST_P(ScanLog, DescribesAFullTurnTheBuildersCanFold) {
  const Plan& p = GetParam();
  e2e::WorkDir dir;
  const e2e::Result r = e2e::Run("simscan", Args(p.frames, p.interval, 6, 1, "hipic"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<LogLine> log = ParseLog(r.files.at("output.log"));
  ASSERT_GE(log.size(), 3u);

  int views = 0, run = 0;
  for (std::size_t i = 0; i < log.size(); ++i) {
    const LogLine& l = log[i];
    EXPECT_EQ(l.frame, static_cast<int>(i) + 1);
    if (i > 0) {
      EXPECT_GT(l.coord, log[i - 1].coord);
    }
    if (l.flag == 0) {
      if (i > 0 && i + 1 < log.size()) {
        EXPECT_EQ(run, p.interval) << "line " << i + 1;
      }
      if (i > 0) {
        EXPECT_GT(run, 0) << "two references in a row at line " << i + 1;
      }
      run = 0;
    } else {
      EXPECT_EQ(l.flag, 1);
      EXPECT_NEAR(l.angle, 360.0 * views / p.frames, 5e-4);
      ++views;
      ++run;
    }
  }
  EXPECT_EQ(log.front().flag, 0);
  EXPECT_EQ(log.back().flag, 0);
  EXPECT_EQ(views, p.frames);
  EXPECT_GE(log.back().angle, 350.0);
  // Time stamps are not frame numbers: moving the sample out for a
  // reference takes longer than an exposure.
  for (std::size_t i = 1; i + 1 < log.size(); ++i) {
    if (log[i].flag != 0 && log[i + 1].flag != 0) {
      EXPECT_GT(log[1].coord - log[0].coord, log[i + 1].coord - log[i].coord);
    }
  }

  // Exactly the dark frame and one image per line.
  EXPECT_EQ(r.files.size(), log.size() + 2);
  EXPECT_EQ(r.files.count("dark.img"), 1u);
  for (const LogLine& l : log) {
    char name[16];
    std::snprintf(name, sizeof name, "q%03d.img", l.frame);
    EXPECT_EQ(r.files.count(name), 1u) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Plans, ScanLog,
                         testing::Values(Plan{12, 4}, Plan{10, 3}, Plan{8, 8}, Plan{6, 100},
                                         Plan{4, 1}, Plan{2, 1}));

// The builders switch to four-digit image names when the last frame number
// reaches 998; the scan must name its images the same way.
TEST(ScanNames, FourDigitsFromFrame998) {
  const struct {
    int frames, interval;
    const char* first;
    const char* last;
  } cases[] = {{994, 497, "q001.tif", "q997.tif"}, {996, 996, "q0001.tif", "q0998.tif"}};
  for (const auto& c : cases) {
    e2e::WorkDir dir;
    const e2e::Result r = e2e::Run("simscan", Args(c.frames, c.interval, 2, 1, "tiff"), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.files.count(c.first), 1u) << c.first;
    EXPECT_EQ(r.files.count(c.last), 1u) << c.last;
    EXPECT_NE(r.out.find(std::string(c.first) + " to " + c.last), std::string::npos) << r.out;
  }
}

TEST(ScanSummary, OneLineAboutTheScan) {
  e2e::WorkDir dir;
  const e2e::Result r =
      e2e::Run("simscan", {"--frames", "20", "--interval", "8", "--width", "16", "--height", "2",
                           "--offset", "13.5", "--format", "hipic", "--seed", "9", "scan"},
               dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string fixed =
      "simscan: scan: 24 frames q001.img to q024.img (20 views, 4 references), 16 x 2 "
      "pixels, HiPic, axis 13.5, noise seed 9, ";
  ASSERT_EQ(r.out.substr(0, fixed.size()), fixed);
  // Then the time taken: "<seconds with two decimals> s".
  const std::string time = r.out.substr(fixed.size());
  double seconds = -1;
  char unit[4] = {};
  EXPECT_EQ(std::sscanf(time.c_str(), "%lf %3s", &seconds, unit), 2) << time;
  EXPECT_GE(seconds, 0.0);
  EXPECT_STREQ(unit, "s");
  EXPECT_EQ(time.find('.') + 6, time.size()) << time;  // "d.dd s\n"
  EXPECT_EQ(r.files.count("scan/output.log"), 1u);
}

// Both byte orders of TIFF, and HiPic images with their header fields.
TEST(ScanImages, HeadersOfEachFormat) {
  const struct {
    const char* format;
    const char* file;
    std::string head;
  } cases[] = {{"tiff", "q001.tif", std::string("II*\0", 4)},
               {"tiff-be", "q001.tif", std::string("MM\0*", 4)},
               {"hipic", "q001.img", std::string("IM", 2)}};
  for (const auto& c : cases) {
    e2e::WorkDir dir;
    const e2e::Result r = e2e::Run("simscan", Args(4, 2, 300, 3, c.format), dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.files.at(c.file).substr(0, c.head.size()), c.head) << c.format;
  }
}

// HiPic pixels in reach: every count of a noisy scan at most 32767 (so a
// signed reader sees the same), darks near 100, samples below references.
TEST(ScanImages, CountsOfANoisyScan) {
  e2e::WorkDir dir;
  const int width = 50, height = 2;
  const e2e::Result r = e2e::Run("simscan", Args(8, 4, width, height, "hipic", "77"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  auto pixels = [&](const std::string& name) {
    const std::string& b = r.files.at(name);
    auto u16 = [&](std::size_t at) {
      return static_cast<int>(static_cast<unsigned char>(b[at]) |
                              (static_cast<unsigned char>(b[at + 1]) << 8));
    };
    EXPECT_EQ(u16(4), width);
    const std::size_t start = 64 + static_cast<std::size_t>(u16(2));
    std::vector<int> v;
    for (std::size_t at = start; at + 1 < b.size(); at += 2) v.push_back(u16(at));
    EXPECT_EQ(v.size(), static_cast<std::size_t>(width * height)) << name;
    return v;
  };
  for (int d : pixels("dark.img")) {
    EXPECT_GT(d, 80);
    EXPECT_LT(d, 125);
  }
  const std::vector<int> ref = pixels("q001.img"), sample = pixels("q003.img");
  double ref_sum = 0, sample_sum = 0;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    EXPECT_LE(ref[i], 32767);
    ref_sum += ref[i];
    sample_sum += sample[i];
  }
  EXPECT_LT(sample_sum, 0.8 * ref_sum);
}

TEST(ScanNoise, SameSeedSameScan) {
  e2e::WorkDir a, b, c, d;
  const auto run = [](const e2e::WorkDir& dir, const char* seed) {
    const e2e::Result r = e2e::Run("simscan", Args(6, 3, 20, 2, "tiff", seed), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.files;
  };
  const auto first = run(a, "5");
  EXPECT_EQ(run(b, "5"), first);
  const auto other = run(c, "6");
  const auto exact = run(d, "0");
  EXPECT_EQ(other.at("output.log"), first.at("output.log"));
  EXPECT_NE(other.at("q002.tif"), first.at("q002.tif"));
  EXPECT_NE(exact.at("q002.tif"), first.at("q002.tif"));
  EXPECT_NE(other.at("dark.tif"), first.at("dark.tif"));
}

struct BadCall {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};
void PrintTo(const BadCall& c, std::ostream* os) { *os << c.name; }

class ScanRefusal : public testing::TestWithParam<BadCall> {};

// Refused before anything is written, with the reason and the usage.
TEST_P(ScanRefusal, ExplainsAndWritesNothing) {
  const BadCall& c = GetParam();
  e2e::WorkDir dir;
  const e2e::Result r = e2e::Run("simscan", c.args, dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.find(std::string("simscan: ") + c.message), 0u) << r.err;
  EXPECT_NE(r.err.find("usage: simscan"), std::string::npos);
  EXPECT_TRUE(r.files.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ScanRefusal,
    testing::Values(
        BadCall{"NoFolder", {"--frames", "10"}, "no folder given"},
        BadCall{"TwoFolders", {"a", "b"}, "more than one folder given: b"},
        BadCall{"OddFrames", {"--frames", "11", "s"}, "--frames must be even"},
        BadCall{"NoFrames", {"--frames=0", "s"}, "--frames must be even"},
        BadCall{"NotANumber", {"--width", "12x", "s"}, "bad value of --width: '12x'"},
        BadCall{"IntervalZero", {"--interval", "0", "s"}, "--interval must be at least 1"},
        BadCall{"TooWide", {"--width", "8002", "s"}, "--width must be from 2 to 8001"},
        BadCall{"NoRows", {"--height", "0", "s"}, "--height must be from 1 to 32767"},
        BadCall{"AxisAtTheEdge", {"--offset", "0.5", "s"}, "--offset must be at least 1"},
        BadCall{"AxisOffTheRow", {"--width", "64", "--offset", "64", "s"},
                "--offset must be at least 1 and below the width 64"},
        BadCall{"NegativeAxis", {"--offset", "-3", "s"}, "bad value of --offset: '-3'"},
        BadCall{"AxisNotANumber", {"--offset", "nan", "s"}, "bad value of --offset: 'nan'"},
        BadCall{"UnknownFormat", {"--format", "png", "s"}, "bad value of --format: 'png'"},
        BadCall{"NegativeSeed", {"--seed", "-1", "s"}, "bad value of --seed: '-1'"},
        BadCall{"UnknownOption", {"--frame", "10", "s"}, "unknown option --frame"},
        BadCall{"MissingValue", {"s", "--seed"}, "missing value of --seed"},
        BadCall{"TooManyFrames", {"--frames", "9000", "--interval", "8", "s"},
                "the scan would have 10126 frames; the sinogram builders read at most 9898"},
        BadCall{"HugeInterval", {"--frames", "20000", "--interval", "9223372036854775807", "s"},
                "the scan would have 20002 frames"}),
    [](const testing::TestParamInfo<BadCall>& i) { return std::string(i.param.name); });

}  // namespace
