// From strip bytes to samples: every depth from 0 to 16 with the bit cursor,
// both fill orders, both byte orders, and the differencing predictor.
#include "tiff_test_util.h"

namespace {

using namespace tiff_writer;
using tiff_test::ReadLine;
using tiff_test::RowsOf;
using tiff_test::TestPixels;
using Row = std::vector<std::uint16_t>;
using namespace std::string_literals;

// A one-strip image of `width` x (rows in `strip`) with these stored bytes.
TiffFile StoredImage(std::uint32_t width, std::uint32_t height, int bits, const std::string& strip,
                     bool little_endian = true, int fill_order = 1, bool predictor = false) {
  TiffImage image;
  image.width = 1;
  image.height = 1;
  image.bits = 0;
  image.pixels = {0};
  image.little_endian = little_endian;
  TiffFile tiff = ImageFile(image);
  tiff.Set(kImageWidth, kLong, {width});
  tiff.Set(kImageLength, kLong, {height});
  tiff.Set(kRowsPerStrip, kLong, {height});
  tiff.Set(kBitsPerSample, kShort, {static_cast<std::uint32_t>(bits)});
  tiff.Set(kFillOrder, kShort, {static_cast<std::uint32_t>(fill_order)});
  tiff.Set(kPredictor, kShort, {predictor ? 2u : 1u});
  tiff.strips = {strip};
  return tiff;
}

class TiffSamples : public ::testing::Test {
 protected:
  std::string Write(const TiffFile& tiff) { return dir_.Write("image.tif", MakeTiff(tiff)); }
  Row Row0(const TiffFile& tiff) {
    const tiff_test::ReadResult result = ReadLine(Write(tiff), 0);
    EXPECT_EQ(result.Message(), "");
    return result.row;
  }

 private:
  tiff_test::ScratchDir dir_;
};

// Stored bytes and the row they give, worked out by hand.
TEST_F(TiffSamples, StoredBytesToSamples) {
  struct Case {
    const char* name;
    int bits;
    bool little_endian;
    int fill_order;
    std::string strip;
    Row row;
  };
  const Case cases[] = {
      {"12 bits", 12, true, 1, "\xAB\xCD\xEF"s, {0xABC, 0xDEF}},
      {"16 bits II", 16, true, 1, "\x34\x12"s, {0x1234}},
      {"16 bits MM", 16, false, 1, "\x12\x34"s, {0x1234}},
      {"8 bits", 8, false, 1, "\x01\xFE"s, {1, 254}},
      {"1 bit", 1, true, 1, "\xA5\xC0"s, {1, 0, 1, 0, 0, 1, 0, 1, 1, 1}},
      {"3 bits across a byte", 3, true, 1, "\xAC\x80"s, {5, 3, 1}},
      {"4 bits, low nibble dropped", 4, true, 1, "\x12\x34"s, {1, 2, 3}},
      {"9 bits not swapped in II", 9, true, 1, "\xFF\x00"s, {0x1FE}},
      {"9 bits in MM", 9, false, 1, "\xFF\x00"s, {0x1FE}},
      {"15 bits", 15, false, 1, "\x80\x01\x00\x06"s, {0x4000, 0x4001}},
      {"fill order 2, 8 bits", 8, true, 2, "\x01\x80"s, {128, 1}},
      {"fill order 2, 1 bit", 1, true, 2, "\x0F"s, {1, 1, 1, 1, 0, 0, 0, 0}},
      {"fill order 2, 4 bits", 4, true, 2, "\x12"s, {4, 8}},
      {"fill order 2, 16 bits MM", 16, false, 2, "\x01\x02"s, {0x8040}},
      {"fill order 2, 16 bits II", 16, true, 2, "\x01\x02"s, {0x4080}},
      {"fill order 2, 12 bits", 12, false, 2, "\x01\x02\x03"s, {0x804, 0x0C0}},
      {"0 bits", 0, true, 1, ""s, {0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Row0(StoredImage(static_cast<std::uint32_t>(c.row.size()), 1, c.bits, c.strip,
                               c.little_endian, c.fill_order)),
              c.row);
  }
}

// Each row starts on a fresh byte: 3 samples of 12 bits take 5 bytes, and
// the last 4 bits of each row are dropped.
TEST_F(TiffSamples, RowsStartOnAByteBoundary) {
  const TiffFile tiff =
      StoredImage(3, 2, 12, "\xAB\xCD\xEF\x12\x3F" "\x45\x67\x89\xAB\xCF", false);
  const std::string path = Write(tiff);
  EXPECT_EQ(ReadLine(path, 0).row, (Row{0xABC, 0xDEF, 0x123}));
  EXPECT_EQ(ReadLine(path, 1).row, (Row{0x456, 0x789, 0xABC}));
}

// Every depth, both byte orders, both fill orders, with and without the
// predictor: the rows written are the rows read.
TEST_F(TiffSamples, EveryDepthRoundTrips) {
  for (int bits = 0; bits <= 16; ++bits) {
    for (const bool little_endian : {true, false}) {
      for (const int fill_order : {1, 2}) {
        for (const bool predictor : {false, true}) {
          SCOPED_TRACE("bits " + std::to_string(bits) + (little_endian ? " II" : " MM") +
                       " fill order " + std::to_string(fill_order) +
                       (predictor ? " predictor" : ""));
          TiffImage image;
          image.width = 13;
          image.height = 5;
          image.bits = bits;
          image.pixels = TestPixels(13, 5, bits, static_cast<std::uint32_t>(bits));
          image.little_endian = little_endian;
          image.rows_per_strip = 2;
          image.fill_order = fill_order;
          image.predictor = predictor;
          const std::string path = Write(ImageFile(image));
          EXPECT_EQ(tiff_test::ReadAttributes(path).bits, bits);
          EXPECT_EQ(tiff_test::ReadAllRows(path), RowsOf(image.pixels, 13));
        }
      }
    }
  }
}

// Stored differences and the samples they give; the sum is kept to the depth.
TEST_F(TiffSamples, PredictorUndoesDifferences) {
  struct Case {
    const char* name;
    int bits;
    bool little_endian;
    int fill_order;
    std::string strip;
    Row row;
  };
  const Case cases[] = {
      {"8 bits, 300 kept to 44", 8, true, 1, "\xC8\x64"s, {200, 44}},
      {"16 bits MM wraps at 65536", 16, false, 1, "\xFD\xE8\x03\xE8"s, {65000, 464}},
      {"16 bits II wraps at 65536", 16, true, 1, "\xE8\xFD\xE8\x03"s, {65000, 464}},
      // Swapped first: 0x00FF + 0x0002, not 0xFF00 + 0x0200 swapped afterwards.
      {"16 bits II adds swapped samples", 16, true, 1, "\xFF\x00\x02\x00"s,
       {0x00FF, 0x0101}},
      {"12 bits kept to 4095", 12, false, 1, "\xFA\x00\xC8"s, {4000, 104}},
      {"1 bit", 1, true, 1, "\xE0"s, {1, 0, 1}},
      {"4 bits", 4, true, 1, "\x9A\x70"s, {9, 3, 10}},
      {"fill order 2, 8 bits", 8, true, 2, "\x13\x26"s, {200, 44}},
      {"0 bits switches it off", 0, true, 1, ""s, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Row0(StoredImage(static_cast<std::uint32_t>(c.row.size()), 1, c.bits, c.strip,
                               c.little_endian, c.fill_order, true)),
              c.row);
  }
}

// The predictor works on samples whatever the compression.
TEST_F(TiffSamples, PredictorAfterDecompression) {
  TiffFile packbits = StoredImage(3, 1, 8, "\xFE\x0A", true, 1, true);  // 10, 10, 10
  packbits.Set(kCompression, kShort, {kPackBits});
  EXPECT_EQ(Row0(packbits), (Row{10, 20, 30}));

  TiffFile lzw = StoredImage(3, 1, 8, PackLzwCodes({{256, 9}, {10, 9}, {258, 9}, {257, 9}}), true,
                             1, true);  // 10, 10, 10
  lzw.Set(kCompression, kShort, {kLzw});
  EXPECT_EQ(Row0(lzw), (Row{10, 20, 30}));
}

}  // namespace
