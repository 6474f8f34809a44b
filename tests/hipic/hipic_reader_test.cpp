// The HiPic row reader, in-process.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e.h"
#include "hipic_reader.h"
#include "scan_fixture.h"

namespace {

struct Read {
  int status = 0;
  std::string out, err;
  std::vector<std::uint16_t> row;
  std::int16_t row_len = -7;  // a value no read sets
};

Read ReadRow(const std::string& bytes, int row_index, int capacity = 64, bool create = true) {
  e2e::WorkDir dir;
  if (create) dir.Write("x.img", bytes);
  Read r;
  r.row.assign(static_cast<std::size_t>(capacity), 0xBEEF);
  HiPic_Header header{};
  const std::string name = dir.PathOf("x.img");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  r.status = ReadHiPicRow(name.c_str(), r.row.data(), header, row_index, capacity, &r.row_len);
  std::fflush(stdout);
  std::fflush(stderr);
  r.err = testing::internal::GetCapturedStderr();
  r.out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(header.comment, nullptr);
  // Messages name the file as the caller passed it; tests compare with "F".
  for (std::string* s : {&r.out, &r.err}) {
    for (std::size_t at; (at = s->find(name)) != std::string::npos;) s->replace(at, name.size(), "F");
  }
  return r;
}

std::string Image(int width, int rows, const std::string& comment = "") {
  return fixture::HiPicImage(width, rows, [](int r, int c) {
    return static_cast<std::uint16_t>(1000 * r + c + (c == 2 ? 60000 : 0));
  }, comment);
}

TEST(HiPicReader, ReadsEveryRowAfterTheComment) {
  const std::string img = Image(5, 3, "a comment of some length");
  for (int r = 0; r < 3; ++r) {
    Read got = ReadRow(img, r);
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.row_len, 5);
    EXPECT_EQ(got.out + got.err, "");
    for (int c = 0; c < 5; ++c)
      EXPECT_EQ(got.row[static_cast<std::size_t>(c)], 1000 * r + c + (c == 2 ? 60000 : 0));
    EXPECT_EQ(got.row[5], 0xBEEF) << "nothing beyond the width is written";
  }
}

TEST(HiPicReader, NoCommentMeansPixelsRightAfterTheHeader) {
  Read got = ReadRow(fixture::HiPicRaw(0, 2, "", {0x1234, 0xFFFF}), 0);
  ASSERT_EQ(got.status, 0);
  EXPECT_EQ(got.row[0], 0x1234);
  EXPECT_EQ(got.row[1], 0xFFFF);
}

TEST(HiPicReader, ZeroWidthSucceedsWithoutTouchingTheRow) {
  Read got = ReadRow(fixture::HiPicRaw(0, 0, "", {}), 5);
  EXPECT_EQ(got.status, 0);
  EXPECT_EQ(got.row_len, 0);
  EXPECT_EQ(got.row[0], 0xBEEF);
}

// Every failure: code, standard output, standard error; row_len untouched.
struct Failure {
  const char* name;
  std::string bytes;
  int row_index;
  int status;
  const char* out;
  const char* err;
};

class HiPicFailure : public testing::TestWithParam<Failure> {};

TEST_P(HiPicFailure, ReportsItsCode) {
  const Failure& f = GetParam();
  Read got = ReadRow(f.bytes, f.row_index, 64, f.status != kHiPicCannotOpen);
  EXPECT_EQ(got.status, f.status);
  EXPECT_EQ(got.out, f.out);
  EXPECT_EQ(got.err, f.err);
  EXPECT_EQ(got.row_len, -7);
}

std::string Truncated(std::string s, std::size_t n) { return s.substr(0, n); }

INSTANTIATE_TEST_SUITE_P(
    Cases, HiPicFailure,
    testing::Values(
        Failure{"Missing", "", 0, -10, "can not open F for input\n", ""},
        Failure{"Header63Bytes", std::string(63, 'I').replace(0, 2, "IM"), 0, -1, "",
                "EOF in F (header)\n"},
        Failure{"LowerCaseId", "im" + Image(4, 1).substr(2), 0, -11, "",
                "This is not HiPIc image file.\nFile name = F\n"},
        Failure{"NegativeCommentLength", fixture::HiPicRaw(-1, 4, "", {1, 2, 3, 4}), 0, -12, "",
                "Connot allocate memory (HiPic_Header.comment)\nFile name = F\n"},
        Failure{"CommentLongerThanFile", fixture::HiPicRaw(200, 1, "short", {}), 0, -13, "",
                "EOF found (comment)\nFile name = F\n"},
        Failure{"WidthAboveCapacity", fixture::HiPicRaw(0, 65, "", {}), 0, -14, "",
                " Bad image width 65 (the row buffer holds 64 values)\nFile name = F\n"},
        Failure{"NegativeWidth", fixture::HiPicRaw(0, -3, "", {}), 0, -14, "",
                " Bad image width -3 (the row buffer holds 64 values)\nFile name = F\n"},
        Failure{"NegativeRowIndex", Image(4, 2), -1, -15, "", " Bad row index -1\nFile name = F\n"},
        Failure{"LargestRowIndex", Image(4, 2), 2147483647, -15, "",
                " Bad row index 2147483647\nFile name = F\n"},
        Failure{"RowAfterTheLast", Image(4, 3), 3, 4, "",
                " Error reading F at 3 (0)\nFile name = F\n"},
        Failure{"LastRowCutShort", Truncated(Image(4, 3), 64 + 8 * 2 + 5), 2, 3, "",
                " Error reading F at 2 (2)\nFile name = F\n"},
        Failure{"FarRowOfAWideImage", Image(8001 > 64 ? 64 : 64, 1), 100000000, 100000001, "",
                " Error reading F at 100000000 (0)\nFile name = F\n"}),
    [](const testing::TestParamInfo<Failure>& i) { return i.param.name; });

}  // namespace
