// sinopng end to end: the picture is a valid PNG (checked by a decoder
// written here, bit by bit, not by the encoder's own code) with the sinogram
// scaled to its range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"

namespace {

std::uint32_t BitwiseCrc(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::uint32_t Be32(const std::string& b, std::size_t at) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at))) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 1))) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 2))) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b.at(at + 3)));
}

struct Picture {
  std::uint32_t width = 0, height = 0;
  std::vector<int> grey;
};

// Decodes an 8-bit greyscale PNG whose zlib stream holds stored blocks;
// every structural fault is a test failure.
Picture Decode(const std::string& png) {
  Picture pic;
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::string idat;
  std::vector<std::string> order;
  for (std::size_t at = 8; at < png.size();) {
    const std::uint32_t len = Be32(png, at);
    const std::string type = png.substr(at + 4, 4);
    const std::string data = png.substr(at + 8, len);
    EXPECT_EQ(Be32(png, at + 8 + len), BitwiseCrc(type + data)) << type;
    order.push_back(type);
    if (type == "IHDR") {
      EXPECT_EQ(len, 13u);
      pic.width = Be32(data, 0);
      pic.height = Be32(data, 4);
      EXPECT_EQ(data.substr(8), std::string("\x08\0\0\0\0", 5));  // 8-bit grey, plain
    } else if (type == "IDAT") {
      idat += data;
    }
    at += 12 + len;
  }
  EXPECT_EQ(order.front(), "IHDR");
  EXPECT_EQ(order.back(), "IEND");

  // zlib header: deflate, check bits, no preset dictionary.
  EXPECT_EQ((static_cast<unsigned char>(idat[0]) & 0x0F), 8);
  EXPECT_EQ((static_cast<unsigned char>(idat[0]) * 256 + static_cast<unsigned char>(idat[1])) % 31, 0);
  EXPECT_EQ(static_cast<unsigned char>(idat[1]) & 0x20, 0);
  std::string raw;
  std::size_t at = 2;
  for (bool last = false; !last;) {
    const unsigned char head = static_cast<unsigned char>(idat.at(at));
    last = head & 1;
    EXPECT_EQ(head >> 1, 0) << "only stored blocks expected";
    const unsigned len = static_cast<unsigned char>(idat.at(at + 1)) |
                         (static_cast<unsigned char>(idat.at(at + 2)) << 8);
    const unsigned nlen = static_cast<unsigned char>(idat.at(at + 3)) |
                          (static_cast<unsigned char>(idat.at(at + 4)) << 8);
    EXPECT_EQ(len ^ 0xFFFFu, nlen);
    raw += idat.substr(at + 5, len);
    at += 5 + len;
  }
  std::uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  EXPECT_EQ(Be32(idat, at), (b << 16) | a);
  EXPECT_EQ(at + 4, idat.size());

  EXPECT_EQ(raw.size(), (static_cast<std::size_t>(pic.width) + 1) * pic.height);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (i % (pic.width + 1) == 0) {
      EXPECT_EQ(raw[i], 0) << "filter of row " << i / (pic.width + 1);
    } else {
      pic.grey.push_back(static_cast<unsigned char>(raw[i]));
    }
  }
  return pic;
}

std::string SinogramBytes(const std::vector<double>& values) {
  std::string s;
  for (double v : values) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
  }
  return s;
}

struct PictureCase {
  const char* name;
  int width;
  std::vector<double> values;
  std::vector<int> grey;
};
void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

class SinogramPicture : public testing::TestWithParam<PictureCase> {};

TEST_P(SinogramPicture, ScaledToTheRange) {
  const PictureCase& c = GetParam();
  e2e::WorkDir dir;
  dir.Write("s0001.sin", SinogramBytes(c.values));
  const e2e::Result r = e2e::Run("sinopng", {"s0001.sin", std::to_string(c.width), "p.png"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const Picture pic = Decode(r.files.at("p.png"));
  EXPECT_EQ(pic.width, static_cast<std::uint32_t>(c.width));
  EXPECT_EQ(pic.height, c.values.size() / static_cast<std::size_t>(c.width));
  EXPECT_EQ(pic.grey, c.grey);
}

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, SinogramPicture,
    testing::Values(
        PictureCase{"Ramp", 5, {0, 0.25, 0.5, 0.75, 1}, {0, 64, 128, 191, 255}},
        PictureCase{"TwoRowsNegative", 2, {-3, -1, -2, -2.5}, {0, 255, 128, 64}},
        PictureCase{"Constant", 3, {1.5, 1.5, 1.5}, {0, 0, 0}},
        PictureCase{"NotNumbers", 5, {kNan, 1, 2, kInf, -kInf}, {0, 0, 255, 255, 0}}),
    [](const testing::TestParamInfo<PictureCase>& i) { return std::string(i.param.name); });

// More image data than one stored block holds (65535 bytes).
TEST(SinogramPictureSize, SpansSeveralBlocks) {
  const int width = 401, rows = 300;
  std::vector<double> values;
  for (int t = 0; t < rows; ++t)
    for (int j = 0; j < width; ++j) values.push_back((t * 7 + j) % 256);
  e2e::WorkDir dir;
  dir.Write("s.sin", SinogramBytes(values));
  const e2e::Result r = e2e::Run("sinopng", {"s.sin", std::to_string(width), "p.png"}, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "sinopng: p.png: 401 x 300 pixels, black 0, white 255\n");
  const Picture pic = Decode(r.files.at("p.png"));
  ASSERT_EQ(pic.grey.size(), values.size());
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(pic.grey[i], values[i]) << i;
}

struct BadInput {
  const char* name;
  std::string bytes;  // of s.sin; empty name below: no file
  std::vector<std::string> args;
  int status;
  const char* message;
};
void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

class SinogramPictureRefusal : public testing::TestWithParam<BadInput> {};

TEST_P(SinogramPictureRefusal, ExplainsAndWritesNoPicture) {
  const BadInput& c = GetParam();
  e2e::WorkDir dir;
  if (!c.bytes.empty()) dir.Write("s.sin", c.bytes);
  const e2e::Result r = e2e::Run("sinopng", c.args, dir);
  EXPECT_EQ(r.status, c.status);
  EXPECT_EQ(r.err.find(c.message), 0u) << r.err;
  EXPECT_EQ(r.files.count("p.png"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, SinogramPictureRefusal,
    testing::Values(
        BadInput{"PartRow", std::string(24, '\0'), {"s.sin", "2", "p.png"}, 1,
                 "sinopng: s.sin holds 24 bytes, not a whole number of rows of 2 doubles"},
        BadInput{"Missing", "", {"s.sin", "2", "p.png"}, 1, "sinopng: cannot read s.sin"},
        BadInput{"ZeroWidth", std::string(8, '\0'), {"s.sin", "0", "p.png"}, 2,
                 "sinopng: bad width '0'"},
        BadInput{"WidthNotANumber", std::string(8, '\0'), {"s.sin", "2x", "p.png"}, 2,
                 "sinopng: bad width '2x'"},
        BadInput{"TwoArguments", std::string(8, '\0'), {"s.sin", "1"}, 2, "usage: sinopng"},
        BadInput{"NoPlaceForThePicture", std::string(8, '\0'), {"s.sin", "1", "no/p.png"}, 1,
                 "sinopng: cannot write no/p.png"}),
    [](const testing::TestParamInfo<BadInput>& i) { return std::string(i.param.name); });

}  // namespace
