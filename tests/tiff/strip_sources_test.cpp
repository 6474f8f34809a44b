// The three strip sources on their own streams, and through files where the
// row position decides whether the strip's end is checked.
#include "tiff_test_util.h"

namespace {

using namespace tiff_writer;
using namespace std::string_literals;
using tiff_test::DecodeFault;
using tiff_test::DecodeStrip;
using tiff_test::IsFault;
using tiff_test::ReadLine;
using Bytes = std::vector<int>;
using Codes = std::vector<std::pair<int, int>>;

// A one-strip 8-bit image of width x height whose strip holds `strip`.
std::string CodedImage(std::uint32_t width, std::uint32_t height, std::uint32_t compression,
                       const std::string& strip) {
  TiffImage image;
  image.width = 1;
  image.height = 1;
  image.bits = 8;
  image.pixels = {0};
  TiffFile tiff = ImageFile(image);
  tiff.Set(kImageWidth, kLong, {width});
  tiff.Set(kImageLength, kLong, {height});
  tiff.Set(kRowsPerStrip, kLong, {height});
  tiff.Set(kCompression, kShort, {compression});
  tiff.strips = {strip};
  return MakeTiff(tiff);
}

// Decodes with a byte count above the stream's size.
std::string FaultWithLargerByteCount(const StripSource& source, const std::string& bytes,
                                     std::uint32_t byte_count, std::size_t count) {
  tiff_test::MemoryStream memory(bytes);
  try {
    source.StartStrip(memory.stream(), 0, byte_count);
    for (std::size_t i = 0; i < count; ++i) source.NextStripByte(memory.stream());
  } catch (const TiffFault& fault) {
    return fault.message;
  }
  return "";
}

// ---- uncompressed ----

TEST(RawStrip, GivesTheStoredBytes) {
  EXPECT_EQ(DecodeStrip(kRawStripSource, "\x00\x7F\xFF"s, 3), (Bytes{0, 127, 255}));
  EXPECT_EQ(DecodeStrip(kRawStripSource, "", 0), Bytes{});
}

TEST(RawStrip, Faults) {
  EXPECT_EQ(DecodeFault(kRawStripSource, "ab", 3), "too few codes.");
  EXPECT_EQ(DecodeFault(kRawStripSource, "abc", 2), "too many codes.");
  EXPECT_EQ(DecodeFault(kRawStripSource, "abc", 2, false), "");
  EXPECT_EQ(FaultWithLargerByteCount(kRawStripSource, "ab", 3, 3), "unexpected end of file.");
}

TEST(RawStrip, StartsAtItsOffset) {
  tiff_test::MemoryStream memory("xyzab");
  kRawStripSource.StartStrip(memory.stream(), 3, 2);
  EXPECT_EQ(kRawStripSource.NextStripByte(memory.stream()), 'a');
  EXPECT_EQ(kRawStripSource.NextStripByte(memory.stream()), 'b');
  kRawStripSource.EndStrip(memory.stream());
}

// ---- LZW ----

// The codes with the widths a decoder reads them at: 9 bits after a clear
// code, one more bit each time the next table entry reaches 511, 1023, 2047.
Codes WithWidths(const std::vector<int>& codes) {
  Codes out;
  int width = 9;
  int next_code = 258;
  bool after_clear = false;
  for (const int code : codes) {
    out.emplace_back(code, width);
    if (code == 256) {
      width = 9;
      next_code = 258;
      after_clear = true;
    } else if (after_clear) {
      after_clear = false;  // the first code after a clear adds no entry
    } else if (code != 257) {
      ++next_code;
      if (next_code == (1 << width) - 1 && width < 12) ++width;
    }
  }
  return out;
}

std::string Lzw(const std::vector<int>& codes) { return PackLzwCodes(WithWidths(codes)); }

TEST(LzwStrip, DecodesStringsFromTheTable) {
  struct Case {
    const char* name;
    std::vector<int> codes;
    Bytes bytes;
  };
  const Case cases[] = {
      {"table entries 258 = 65 66", {256, 65, 66, 258, 257}, {65, 66, 65, 66}},
      {"and 259 = 66 65", {256, 65, 66, 258, 259, 257}, {65, 66, 65, 66, 66, 65}},
      {"a code equal to the next entry", {256, 65, 258, 257}, {65, 65, 65}},
      {"a string of a string", {256, 65, 258, 259, 257}, {65, 65, 65, 65, 65, 65}},
      {"a clear code restarts the table", {256, 65, 66, 256, 67, 258, 257}, {65, 66, 67, 67, 67}},
      {"a clear code as the last code", {256, 65, 256, 257}, {65}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeStrip(kLzwStripSource, Lzw(c.codes), c.bytes.size()), c.bytes);
  }
}

TEST(LzwStrip, Faults) {
  struct Case {
    const char* name;
    std::string strip;
    std::size_t count;
    bool end;
    const char* message;
  };
  const Case cases[] = {
      {"empty strip", "", 0, false, "LZW too few codes."},
      {"one byte", "\x80"s, 0, false, "LZW too few codes."},
      {"byte code first", Lzw({65, 256, 257}), 0, false, "LZW missing first clear code."},
      {"end code first", Lzw({257, 257}), 0, false, "LZW missing first clear code."},
      {"two clear codes", Lzw({256, 256, 65, 257}), 1, false,
       "LZW unknown code after clear code."},
      {"table code after clear", Lzw({256, 258, 257}), 1, false,
       "LZW unknown code after clear code."},
      {"end code after clear", Lzw({256, 257}), 1, false, "LZW unexpected end of code."},
      {"end code too early", Lzw({256, 65, 257}), 2, false, "LZW unexpected end of code."},
      {"code above the next entry", Lzw({256, 65, 259, 257}), 2, false, "LZW too large code."},
      {"a byte after the end code", Lzw({256, 65, 66, 257}) + "\0"s, 2, true,
       "LZW too many codes."},
      {"string longer than the rows", Lzw({256, 65, 66, 258, 257}), 3, true,
       "LZW too many codes."},
      {"no end code", Lzw({256, 65, 66, 66}), 2, true, "LZW missing end of codes."},
      {"clear code, then no end code", Lzw({256, 65, 256, 65}), 1, true,
       "LZW missing end of codes."},
      {"strip ends before the end code", Lzw({256, 65}), 1, true, "LZW too few codes."},
      {"strip ends inside a code", Lzw({256, 65, 66, 257}).substr(0, 2), 2, false,
       "LZW too few codes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeFault(kLzwStripSource, c.strip, c.count, c.end), c.message);
  }
  // Surplus bytes are fine as long as the strip's end is not checked.
  EXPECT_EQ(DecodeFault(kLzwStripSource, Lzw({256, 65, 66, 257}) + "\0"s, 2, false), "");
  EXPECT_EQ(FaultWithLargerByteCount(kLzwStripSource, Lzw({256, 65, 66}), 100, 3),
            "unexpected end of file.");
}

// The codes 256, then enough byte codes that the last one's entry raises the
// width to `width` bits.
std::vector<int> CodesRaisingWidthTo(int width) {
  std::vector<int> codes{256};
  const int count = (1 << (width - 1)) - 258;  // one entry per code but the first
  for (int i = 0; i < count; ++i) codes.push_back(i % 256);
  return codes;
}

// The end code after the entry that raised the width is expected at the old
// width; a one bit wider end code, as some writers make it, is accepted too.
TEST(LzwStrip, EndCodeAfterTheWidthWasRaised) {
  for (const int width : {10, 11, 12}) {
    SCOPED_TRACE("width " + std::to_string(width));
    const std::vector<int> data = CodesRaisingWidthTo(width);
    Codes codes = WithWidths(data);
    ASSERT_EQ(codes.back().second, width - 1);
    Bytes expected;
    for (std::size_t i = 1; i < data.size(); ++i) expected.push_back(data[i]);

    const auto decode_with = [&](const Codes& end) {
      Codes all = codes;
      all.insert(all.end(), end.begin(), end.end());
      return DecodeFault(kLzwStripSource, PackLzwCodes(all), expected.size());
    };
    EXPECT_EQ(decode_with({{257, width - 1}}), "");
    EXPECT_EQ(decode_with({{257, width}}), "");
    EXPECT_EQ(decode_with({{256, width - 1}, {257, 9}}), "");
    EXPECT_EQ(decode_with({{256, width}, {257, 9}}), "");
    EXPECT_EQ(decode_with({{0, width}}), "LZW missing end of codes.");
    EXPECT_EQ(decode_with({{258, width - 1}, {0, 9}}), "LZW missing end of codes.");
    EXPECT_EQ(decode_with({{257, width - 1}, {0, 8}}), "LZW too many codes.");
    EXPECT_EQ(decode_with({{257, width}, {0, 8}}), "LZW too many codes.");
    EXPECT_EQ(DecodeStrip(kLzwStripSource, PackLzwCodes(codes) + "\x80\x40"s, expected.size(),
                          false),
              expected);
  }
}

// Without a raised width there is only one width for the end code.
TEST(LzwStrip, EndCodeOneBitWiderIsRefusedWithoutARaise) {
  EXPECT_EQ(DecodeFault(kLzwStripSource, PackLzwCodes({{256, 9}, {65, 9}, {257, 10}}), 1),
            "LZW missing end of codes.");
}

// 3838 entries fill the table up to 4095; the next entry needs a clear code.
TEST(LzwStrip, FullTable) {
  std::vector<int> codes{256};
  for (int i = 0; i < 1 + 4096 - 258; ++i) codes.push_back((i * 7) % 256);
  Bytes expected(codes.begin() + 1, codes.end());
  Codes full = WithWidths(codes);
  ASSERT_EQ(full.back().second, 12);

  Codes overflow = full;
  overflow.emplace_back(65, 12);
  EXPECT_EQ(DecodeFault(kLzwStripSource, PackLzwCodes(overflow), expected.size() + 1, false),
            "LZW code table overflow.");

  Codes cleared = full;
  for (const auto& code : Codes{{256, 12}, {65, 9}, {66, 9}, {258, 9}, {257, 9}})
    cleared.push_back(code);
  Bytes cleared_bytes = expected;
  for (const int byte : {65, 66, 65, 66}) cleared_bytes.push_back(byte);
  EXPECT_EQ(DecodeStrip(kLzwStripSource, PackLzwCodes(cleared), cleared_bytes.size()),
            cleared_bytes);

  Codes ended = full;
  ended.emplace_back(257, 12);
  EXPECT_EQ(DecodeStrip(kLzwStripSource, PackLzwCodes(ended), expected.size()), expected);
}

// ---- PackBits ----

TEST(PackBitsStrip, Runs) {
  struct Case {
    const char* name;
    std::string strip;
    Bytes bytes;
  };
  const Case cases[] = {
      {"literal run", "\x02\x0A\x14\x1E"s, {10, 20, 30}},
      {"replicate run", "\xFE\x07"s, {7, 7, 7}},
      {"shortest replicate run", "\xFF\x05"s, {5, 5}},
      {"no-operation headers cost a byte each", "\x00\x05\x80\x80\x00\x06"s, {5, 6}},
      {"runs in a row", "\x00\x01\xFD\x02\x01\x03\x04"s, {1, 2, 2, 2, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeStrip(kPackBitsStripSource, c.strip, c.bytes.size()), c.bytes);
  }
  // The longest runs: 128 literal bytes, 128 copies.
  std::string literal = "\x7F"s;
  Bytes literal_bytes;
  for (int i = 0; i < 128; ++i) {
    literal += static_cast<char>(i);
    literal_bytes.push_back(i);
  }
  EXPECT_EQ(DecodeStrip(kPackBitsStripSource, literal, 128), literal_bytes);
  EXPECT_EQ(DecodeStrip(kPackBitsStripSource, "\x81\x09"s, 128), Bytes(128, 9));
}

TEST(PackBitsStrip, Faults) {
  struct Case {
    const char* name;
    std::string strip;
    std::size_t count;
    bool end;
    const char* message;
  };
  const Case cases[] = {
      {"empty strip", "", 1, false, "MPB too few codes."},
      {"only no-operation headers", "\x80\x80"s, 1, false, "MPB too few codes."},
      {"header without its byte", "\xFE"s, 1, false, "MPB too few codes."},
      {"literal run cut short", "\x02\x0A\x14"s, 3, false, "MPB too few codes."},
      {"replicate run longer than the rows", "\xFD\x09"s, 3, true, "MPB too many codes."},
      {"literal run longer than the rows", "\x02\x0A\x14\x1E"s, 2, true, "MPB too many codes."},
      {"trailing no-operation header", "\x00\x05\x80"s, 1, true, "MPB too many codes."},
      {"trailing run", "\x00\x05\x00\x06"s, 1, true, "MPB too many codes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeFault(kPackBitsStripSource, c.strip, c.count, c.end), c.message);
  }
  EXPECT_EQ(DecodeFault(kPackBitsStripSource, "\xFD\x09"s, 3, false), "");
  EXPECT_EQ(FaultWithLargerByteCount(kPackBitsStripSource, "\x02\x0A"s, 4, 2),
            "unexpected end of file.");
}

// A strip source resets at every StartStrip: an open run does not leak into
// the next strip.
TEST(PackBitsStrip, StartStripResetsTheRun) {
  tiff_test::MemoryStream memory("\xFD\x09\x00\x05"s);
  kPackBitsStripSource.StartStrip(memory.stream(), 0, 2);
  EXPECT_EQ(kPackBitsStripSource.NextStripByte(memory.stream()), 9);
  kPackBitsStripSource.StartStrip(memory.stream(), 2, 2);
  EXPECT_EQ(kPackBitsStripSource.NextStripByte(memory.stream()), 5);
  kPackBitsStripSource.EndStrip(memory.stream());
}

// ---- through files ----

class CodedStrips : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes) { return dir_.Write("coded.tif", bytes); }

 private:
  tiff_test::ScratchDir dir_;
};

// Row 0 of a two-row strip never checks the strip's end; row 1 does.
TEST_F(CodedStrips, EndIsCheckedAtTheStripsLastRowOnly) {
  struct Case {
    const char* name;
    std::uint32_t compression;
    std::string strip;
    const char* message;
  };
  const Case cases[] = {
      {"LZW byte after the end code", kLzw, Lzw({256, 1, 2, 3, 4, 257}) + "\0"s,
       "LZW too many codes."},
      {"LZW without end code", kLzw, Lzw({256, 1, 2, 3, 4, 5}), "LZW missing end of codes."},
      {"PackBits run beyond the rows", kPackBits, "\x03\x01\x02\x03\x04\xFE\x00"s,
       "MPB too many codes."},
      {"PackBits trailing header", kPackBits, "\x03\x01\x02\x03\x04\x80"s, "MPB too many codes."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Write(CodedImage(2, 2, c.compression, c.strip));
    EXPECT_EQ(ReadLine(path, 0).row, (std::vector<std::uint16_t>{1, 2}));
    EXPECT_TRUE(IsFault(ReadLine(path, 1), path, c.message));
  }
}

// Rows are cut out of the one byte stream: runs and strings cross them.
TEST_F(CodedStrips, RunsAndStringsCrossRows) {
  const std::string packbits = Write(CodedImage(3, 2, kPackBits, "\xFC\x09\x00\x04"s));
  EXPECT_EQ(ReadLine(packbits, 0).row, (std::vector<std::uint16_t>{9, 9, 9}));
  EXPECT_EQ(ReadLine(packbits, 1).row, (std::vector<std::uint16_t>{9, 9, 4}));

  const std::string lzw = Write(CodedImage(3, 2, kLzw, Lzw({256, 7, 258, 259, 257})));
  EXPECT_EQ(ReadLine(lzw, 0).row, (std::vector<std::uint16_t>{7, 7, 7}));
  EXPECT_EQ(ReadLine(lzw, 1).row, (std::vector<std::uint16_t>{7, 7, 7}));
}

TEST_F(CodedStrips, FaultsCarryTheFileName) {
  const std::string path = Write(CodedImage(2, 1, kLzw, Lzw({65, 66, 257})));
  EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "LZW missing first clear code."));
  const std::string short_strip = Write(CodedImage(4, 1, kPackBits, "\x02\x01\x02\x03"s));
  EXPECT_TRUE(IsFault(ReadLine(short_strip, 0), short_strip, "MPB too few codes."));
}

}  // namespace
