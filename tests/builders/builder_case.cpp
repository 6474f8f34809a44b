#include "builder_case.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace builder_test {
namespace {

std::string Fixed(double v) {
  if (std::isnan(v)) return "nan";
  char buf[400];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

void SinoName(int layer, char (&buf)[32]) { std::snprintf(buf, sizeof buf, "s%04d.sin", layer); }

}  // namespace

std::string CountLine(const fixture::Scan& scan) {
  int ni0 = static_cast<int>(scan.references.size());
  int nsample = scan.last_frame - ni0;
  return " nshot = " + std::to_string(nsample / 2) + ", NI0 = " + std::to_string(ni0) +
         ", total = " + std::to_string(scan.last_frame + 2) + " \n";
}

std::string StatisticsLines(const fixture::Expected& e) {
  return " TA mean\t" + Fixed(e.ta_mean) + "\tTASD\t" + Fixed(e.ta_sd) + "\n TASD/TA mean\t" +
         Fixed(e.ta_sd / e.ta_mean) + "\n";
}

std::string CompleteRunErr(const fixture::Scan& scan, const fixture::Expected& e) {
  return CountLine(scan) + StatisticsLines(e) + " Store Sinogram \tT / sec\n";
}

std::string RunSummary(const fixture::Expected& e, int layer, float offset) {
  char buf[600];
  std::snprintf(buf, sizeof buf, "%d\n%d\n%04d\n%f\n%s\n%s\n", e.sino_width, e.nshot, layer,
                static_cast<double>(offset) + 0.5, Fixed(e.ta_mean).c_str(),
                Fixed(e.ta_sd).c_str());
  return buf;
}

void ExpectCompleteRun(const e2e::Result& r, const fixture::Scan& scan, int layer,
                       float offset, const fixture::Expected& e, const std::string& out) {
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(fixture::MaskTime(r.err), CompleteRunErr(scan, e));
  char name[32];
  SinoName(layer, name);
  ASSERT_EQ(r.files.count(name), 1u) << name;
  const std::string& bytes = r.files.at(name);
  ASSERT_EQ(bytes.size(), e.sinogram.size() * 8);
  const std::vector<double> got = fixture::DecodeSinogram(bytes);
  for (std::size_t i = 0; i < got.size(); ++i) {
    // Same formulas, same order: the values must agree to the bit.
    ASSERT_EQ(got[i], e.sinogram[i]) << "value " << i << " (row " << i / e.sino_width
                                     << ", column " << i % e.sino_width << ")";
  }
  ASSERT_EQ(r.files.count("sino.tmp"), 1u);
  EXPECT_EQ(r.files.at("sino.tmp"), RunSummary(e, layer, offset));
}

void ExpectFailure(const e2e::Result& r, const Failure& f, const fixture::Scan& scan,
                   const fixture::Expected& e, const std::string& sino_name) {
  std::string err = f.err;
  for (std::size_t at; (at = err.find("%C")) != std::string::npos;)
    err.replace(at, 2, CountLine(scan));
  for (std::size_t at; (at = err.find("%S")) != std::string::npos;)
    err.replace(at, 2, StatisticsLines(e) + " Store Sinogram \tT / sec\n");
  EXPECT_EQ(r.status, f.status);
  EXPECT_EQ(r.out, f.out);
  EXPECT_EQ(fixture::MaskTime(r.err), err);
  if (f.sino) {
    ASSERT_EQ(r.files.count(sino_name), 1u);
    if (std::string(f.sino) != "*") {
      EXPECT_EQ(r.files.at(sino_name), f.sino);
    }
  } else {
    EXPECT_EQ(r.files.count(sino_name), 0u);
  }
  EXPECT_EQ(r.files.count("sino.tmp"), 0u);
}

void Remove(const e2e::WorkDir& dir, const char* name) { std::remove(dir.PathOf(name).c_str()); }

}  // namespace builder_test
