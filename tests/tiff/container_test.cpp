// The TIFF container: header, IFD entries and their validation, the order in
// which faults are found, the strip tables, rows per strip, the line
// argument, the end of the file and size arithmetic that must not wrap.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "tiff_test_util.h"

namespace {

using namespace tiff_writer;
using tiff_test::IsFault;
using tiff_test::ReadAttributes;
using tiff_test::ReadLine;
using tiff_test::ReadResult;
using tiff_test::RowsOf;
using tiff_test::TestPixels;

// An 8-bit width x height image with rows_per_strip rows per strip.
TiffImage Image(std::uint32_t width, std::uint32_t height, std::uint32_t rows_per_strip = 0,
                bool little_endian = true) {
  TiffImage image;
  image.width = width;
  image.height = height;
  image.bits = 8;
  image.pixels = TestPixels(width, height, 8);
  image.rows_per_strip = rows_per_strip;
  image.little_endian = little_endian;
  return image;
}

// The tags of an 8-bit image whose size need not match real pixels: the
// strips are given as stored bytes.
TiffFile FileWithStrips(std::uint32_t width, std::uint32_t height, std::uint32_t rows_per_strip,
                        std::vector<std::string> strips) {
  TiffFile tiff = ImageFile(Image(1, 1));
  tiff.Set(kImageWidth, kLong, {width});
  tiff.Set(kImageLength, kLong, {height});
  tiff.Set(kRowsPerStrip, kLong, {rows_per_strip});
  tiff.strips = std::move(strips);
  return tiff;
}

class TiffContainer : public ::testing::Test {
 protected:
  std::string Write(const TiffFile& tiff) { return dir_.Write("image.tif", MakeTiff(tiff)); }
  std::string Write(const std::string& bytes) { return dir_.Write("image.tif", bytes); }
  std::string PathOf(const std::string& name) const { return dir_.PathOf(name); }

 private:
  tiff_test::ScratchDir dir_;
};

TEST_F(TiffContainer, MissingFileIsNotFound) {
  const std::string path = PathOf("absent.tif");
  EXPECT_TRUE(IsFault(ReadAttributes(path), path, "file not found."));
  EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "file not found."));
}

TEST_F(TiffContainer, ValidFileGivesAttributesRowsAndCloseStatus) {
  const TiffImage image = Image(5, 3);
  const std::string path = Write(ImageFile(image));
  const ReadResult attributes = ReadAttributes(path);
  EXPECT_EQ(attributes.Message(), "");
  EXPECT_EQ(attributes.width, 5);
  EXPECT_EQ(attributes.height, 3);
  EXPECT_EQ(attributes.bits, 8);
  EXPECT_EQ(attributes.status, 0);
  for (int y = 0; y < 3; ++y) {
    const ReadResult row = ReadLine(path, y);
    EXPECT_EQ(row.status, 0);
    EXPECT_EQ(row.row, RowsOf(image.pixels, 5)[static_cast<std::size_t>(y)]);
  }
}

TEST_F(TiffContainer, NullOutputsAreSkipped) {
  const TiffImage image = Image(4, 2);
  const std::string path = Write(ImageFile(image));
  int width = -1, height = -1, bits = -1;
  EXPECT_EQ(ReadTiffLine(path.c_str(), nullptr, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(ReadTiffLine(path.c_str(), &width, nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(ReadTiffLine(path.c_str(), nullptr, &height, &bits, nullptr, 0), 0);
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(bits, 8);
  std::uint16_t* row = nullptr;
  EXPECT_EQ(ReadTiffLine(path.c_str(), nullptr, nullptr, nullptr, &row, 1), 0);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(std::vector<std::uint16_t>(row, row + 4), RowsOf(image.pixels, 4)[1]);
  delete[] row;
}

TEST_F(TiffContainer, BadMagicNumber) {
  struct Case {
    const char* name;
    bool little_endian;
    std::vector<std::pair<std::size_t, char>> edits;  // (offset, new byte)
  };
  const Case cases[] = {
      {"first byte neither I nor M", true, {{0, 'X'}}},
      {"II file with M second", true, {{1, 'M'}}},
      {"MM file with I second", false, {{1, 'I'}}},
      {"MI", true, {{0, 'M'}}},
      {"43 in an II file", true, {{2, 43}}},
      {"43 in an MM file", false, {{3, 43}}},
      {"42 in the other byte order", true, {{2, 0}, {3, 42}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = MakeTiff(Image(2, 2, 0, c.little_endian));
    for (const auto& [at, byte] : c.edits) bytes[at] = byte;
    const std::string path = Write(bytes);
    EXPECT_TRUE(IsFault(ReadAttributes(path), path, "bad magic number."));
  }
}

// Every single fault of the header and the IFD with its message.
TEST_F(TiffContainer, AttributeFaults) {
  struct Case {
    const char* name;
    std::function<void(TiffFile&)> edit;
    const char* message;
  };
  const char* const kPrimary = "primary image attribute not found.";
  const Case cases[] = {
      {"no width", [](TiffFile& s) { s.Remove(kImageWidth); }, kPrimary},
      {"width 0", [](TiffFile& s) { s.Set(kImageWidth, kShort, {0}); }, kPrimary},
      {"width LONG 0", [](TiffFile& s) { s.Set(kImageWidth, kLong, {0}); }, kPrimary},
      {"width count 2", [](TiffFile& s) { s.Set(kImageWidth, kLong, {2, 2}); }, kPrimary},
      {"width count 0", [](TiffFile& s) { s.Set(kImageWidth, kShort, {2}).count = 0; }, kPrimary},
      {"width BYTE", [](TiffFile& s) { s.Set(kImageWidth, kByte, {2}); }, kPrimary},
      {"no length", [](TiffFile& s) { s.Remove(kImageLength); }, kPrimary},
      {"length 0", [](TiffFile& s) { s.Set(kImageLength, kLong, {0}); }, kPrimary},
      {"length RATIONAL", [](TiffFile& s) { s.Set(kImageLength, kRational, {2}); }, kPrimary},
      {"no photometric", [](TiffFile& s) { s.Remove(kPhotometricInterpretation); }, kPrimary},
      {"photometric LONG",
       [](TiffFile& s) { s.Set(kPhotometricInterpretation, kLong, {1}); }, kPrimary},
      {"photometric count 2",
       [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {1, 1}); }, kPrimary},
      {"width 2^31", [](TiffFile& s) { s.Set(kImageWidth, kLong, {0x80000000u}); },
       "too large image size."},
      {"length 2^32-1", [](TiffFile& s) { s.Set(kImageLength, kLong, {0xFFFFFFFFu}); },
       "too large image size."},
      {"photometric 2 (RGB)", [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {2}); },
       "bad photometric interpretation."},
      {"photometric 5", [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {5}); },
       "bad photometric interpretation."},
      {"3 samples", [](TiffFile& s) { s.Set(kSamplesPerPixel, kShort, {3}); },
       "too many samples per pixel."},
      {"17 bits", [](TiffFile& s) { s.Set(kBitsPerSample, kShort, {17}); },
       "too many bits per sample."},
      {"65535 bits", [](TiffFile& s) { s.Set(kBitsPerSample, kShort, {65535}); },
       "too many bits per sample."},
      {"planar 2", [](TiffFile& s) { s.Set(kPlanarConfiguration, kShort, {2}); },
       "bad planar configuration."},
      {"planar 0", [](TiffFile& s) { s.Set(kPlanarConfiguration, kShort, {0}); },
       "bad planar configuration."},
      {"fill order 0", [](TiffFile& s) { s.Set(kFillOrder, kShort, {0}); }, "bad fill order."},
      {"fill order 3", [](TiffFile& s) { s.Set(kFillOrder, kShort, {3}); }, "bad fill order."},
      {"compression 0", [](TiffFile& s) { s.Set(kCompression, kShort, {0}); },
       "unknown image compression method."},
      {"compression 7 (JPEG)", [](TiffFile& s) { s.Set(kCompression, kShort, {7}); },
       "unknown image compression method."},
      {"compression 32771", [](TiffFile& s) { s.Set(kCompression, kShort, {32771}); },
       "unknown image compression method."},
      {"predictor 0", [](TiffFile& s) { s.Set(kPredictor, kShort, {0}); },
       "unknown differencing predictor."},
      {"predictor 3", [](TiffFile& s) { s.Set(kPredictor, kShort, {3}); },
       "unknown differencing predictor."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TiffFile tiff = ImageFile(Image(3, 2));
    c.edit(tiff);
    const std::string path = Write(tiff);
    EXPECT_TRUE(IsFault(ReadAttributes(path), path, c.message));
    EXPECT_TRUE(IsFault(ReadLine(path, 0), path, c.message));
  }
}

// Values that pass: the photometric ones that change nothing in decoding,
// and entries of an unusable type or count, which count as absent.
TEST_F(TiffContainer, AcceptedAttributeValues) {
  struct Case {
    const char* name;
    std::function<void(TiffFile&)> edit;
    int bits;
  };
  const Case cases[] = {
      {"photometric 0 is not inverted",
       [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {0}); }, 8},
      {"photometric 3 keeps palette indices",
       [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {3}); }, 8},
      {"photometric 4", [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {4}); }, 8},
      {"0 samples per pixel", [](TiffFile& s) { s.Set(kSamplesPerPixel, kShort, {0}); }, 8},
      {"samples per pixel LONG is absent",
       [](TiffFile& s) { s.Set(kSamplesPerPixel, kLong, {3}); }, 8},
      {"planar configuration count 2 is absent",
       [](TiffFile& s) { s.Set(kPlanarConfiguration, kShort, {2, 2}); }, 8},
      {"compression LONG is absent", [](TiffFile& s) { s.Set(kCompression, kLong, {7}); }, 8},
      {"predictor BYTE is absent", [](TiffFile& s) { s.Set(kPredictor, kByte, {3}); }, 8},
      {"fill order count 0 is absent",
       [](TiffFile& s) { s.Set(kFillOrder, kShort, {3}).count = 0; }, 8},
  };
  const TiffImage image = Image(3, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TiffFile tiff = ImageFile(image);
    c.edit(tiff);
    const std::string path = Write(tiff);
    EXPECT_EQ(ReadAttributes(path).bits, c.bits);
    EXPECT_EQ(tiff_test::ReadAllRows(path), RowsOf(image.pixels, 3));
  }
}

// BitsPerSample of the wrong type or count gives the default depth 1.
TEST_F(TiffContainer, UnusableBitsPerSampleMeansOneBit) {
  for (const bool as_long : {true, false}) {
    TiffFile tiff = FileWithStrips(8, 1, 1, {"\xA5"});
    if (as_long) {
      tiff.Set(kBitsPerSample, kLong, {8});
    } else {
      tiff.Set(kBitsPerSample, kShort, {8, 8});
    }
    const std::string path = Write(tiff);
    const ReadResult result = ReadLine(path, 0);
    EXPECT_EQ(result.bits, 1);
    EXPECT_EQ(result.row, (std::vector<std::uint16_t>{1, 0, 1, 0, 0, 1, 0, 1}));
  }
}

TEST_F(TiffContainer, WithoutOptionalTagsAnImageIsOneBitUncompressedOneStrip) {
  TiffFile tiff = FileWithStrips(10, 2, 2, {std::string("\xB3\x40\x0F\xFF", 4)});
  for (std::uint16_t tag : {kBitsPerSample, kSamplesPerPixel, kPlanarConfiguration, kFillOrder,
                            kCompression, kPredictor, kRowsPerStrip})
    tiff.Remove(tag);
  const std::string path = Write(tiff);
  EXPECT_EQ(ReadAttributes(path).bits, 1);
  EXPECT_EQ(ReadLine(path, 0).row, (std::vector<std::uint16_t>{1, 0, 1, 1, 0, 0, 1, 1, 0, 1}));
  EXPECT_EQ(ReadLine(path, 1).row, (std::vector<std::uint16_t>{0, 0, 0, 0, 1, 1, 1, 1, 1, 1}));
}

TEST_F(TiffContainer, TagsInAnyOrderAndTheFirstOfTwoEntriesCounts) {
  const TiffImage image = Image(4, 3, 2);
  TiffFile tiff = ImageFile(image);
  std::reverse(tiff.entries.begin(), tiff.entries.end());
  std::rotate(tiff.entries.begin(), tiff.entries.begin() + 5, tiff.entries.end());
  EXPECT_EQ(tiff_test::ReadAllRows(Write(tiff)), RowsOf(image.pixels, 4));

  // A later duplicate is ignored...
  TiffFile later = ImageFile(image);
  later.entries.push_back(Entry(kImageWidth, kShort, {2}));
  later.entries.push_back(Entry(kBitsPerSample, kShort, {17}));
  EXPECT_EQ(tiff_test::ReadAllRows(Write(later)), RowsOf(image.pixels, 4));

  // ...and an earlier one wins, even when it is unusable.
  TiffFile earlier = ImageFile(image);
  earlier.entries.insert(earlier.entries.begin(), Entry(kBitsPerSample, kLong, {8}));
  earlier.entries.insert(earlier.entries.begin(), Entry(kImageWidth, kShort, {2}));
  const ReadResult result = ReadAttributes(Write(earlier));
  EXPECT_EQ(result.width, 2);
  EXPECT_EQ(result.bits, 1);
}

// A file with two faults reports the one found by the earlier step.  Each
// entry is a fault of a later step than the one before it.
TEST_F(TiffContainer, EarlierStepsFaultWins) {
  struct Fault {
    const char* message;
    std::function<void(TiffFile&)> edit;
    std::function<void(std::string&)> edit_bytes;
    int line;  // for faults found only with a row request
    const char* group;  // faults of one group edit the same thing
  };
  const Fault faults[] = {
      {"bad magic number.", nullptr, [](std::string& b) { b[2] = 43; }, 0, "header"},
      {"primary image attribute not found.",
       [](TiffFile& s) { s.Remove(kPhotometricInterpretation); }, nullptr, 0, "photometric"},
      {"too large image size.", [](TiffFile& s) { s.Set(kImageWidth, kLong, {0x80000000u}); },
       nullptr, 0, "width"},
      {"bad photometric interpretation.",
       [](TiffFile& s) { s.Set(kPhotometricInterpretation, kShort, {2}); }, nullptr, 0,
       "photometric"},
      {"too many samples per pixel.", [](TiffFile& s) { s.Set(kSamplesPerPixel, kShort, {3}); },
       nullptr, 0, "samples"},
      {"too many bits per sample.", [](TiffFile& s) { s.Set(kBitsPerSample, kShort, {17}); },
       nullptr, 0, "bits"},
      {"bad planar configuration.",
       [](TiffFile& s) { s.Set(kPlanarConfiguration, kShort, {2}); }, nullptr, 0, "planar"},
      {"bad fill order.", [](TiffFile& s) { s.Set(kFillOrder, kShort, {3}); }, nullptr, 0, "fill"},
      {"unknown image compression method.",
       [](TiffFile& s) { s.Set(kCompression, kShort, {7}); }, nullptr, 0, "compression"},
      {"unknown differencing predictor.", [](TiffFile& s) { s.Set(kPredictor, kShort, {3}); },
       nullptr, 0, "predictor"},
      {"bad line position.", nullptr, nullptr, 3, "line"},
      {"bad rows per strip.", [](TiffFile& s) { s.Set(kRowsPerStrip, kShort, {0}); }, nullptr, 0,
       "rows"},
      {"strip offset not found.", [](TiffFile& s) { s.Remove(kStripOffsets); }, nullptr, 0,
       "offsets"},
      {"bad number of strip offset.", [](TiffFile& s) { s.Find(kStripOffsets)->count = 2; },
       nullptr, 0, "offsets"},
      {"strip bytes count not found.",
       [](TiffFile& s) { s.Find(kStripByteCounts)->type = kRational; }, nullptr, 0, "counts"},
      {"bad number of strip bytes count.",
       [](TiffFile& s) { s.Find(kStripByteCounts)->count = 3; }, nullptr, 0, "counts"},
      {"too few codes.", [](TiffFile& s) { s.strips[0].pop_back(); }, nullptr, 2, "strip"},
  };
  // A 2 x 3 image in one strip; line 2 is its last row.
  const auto make = [](const std::vector<const Fault*>& chosen, int& line) {
    TiffFile tiff = ImageFile(Image(2, 3));
    line = 2;
    for (const Fault* f : chosen) {
      if (f->edit) f->edit(tiff);
      if (std::string(f->group) == "line") line = f->line;
    }
    std::string bytes = MakeTiff(tiff);
    for (const Fault* f : chosen) {
      if (f->edit_bytes) f->edit_bytes(bytes);
    }
    return bytes;
  };
  const std::size_t count = std::size(faults);
  for (std::size_t i = 0; i < count; ++i) {
    int line = 0;
    const std::string path = Write(make({&faults[i]}, line));
    EXPECT_TRUE(IsFault(ReadLine(path, line), path, faults[i].message)) << faults[i].message;
    for (std::size_t j = i + 1; j < count; ++j) {
      if (std::string(faults[i].group) == faults[j].group) continue;
      SCOPED_TRACE(std::string(faults[i].message) + " with " + faults[j].message);
      const std::string both = Write(make({&faults[i], &faults[j]}, line));
      EXPECT_TRUE(IsFault(ReadLine(both, line), both, faults[i].message));
    }
  }
}

TEST_F(TiffContainer, OutputsAreStoredOnlyAfterTheAttributeChecks) {
  TiffFile bad_bits = ImageFile(Image(3, 2));
  bad_bits.Set(kPredictor, kShort, {3});
  std::string path = Write(bad_bits);
  int width = -7, height = -7, bits = -7;
  EXPECT_THROW(ReadTiffLine(path.c_str(), &width, &height, &bits, nullptr, 0), TiffFault);
  EXPECT_EQ(width, -7);
  EXPECT_EQ(height, -7);
  EXPECT_EQ(bits, -7);

  // A fault in the strip comes after the attributes were handed out.
  TiffFile no_strips = ImageFile(Image(3, 2));
  no_strips.Remove(kStripOffsets);
  path = Write(no_strips);
  std::uint16_t* row = nullptr;
  EXPECT_THROW(ReadTiffLine(path.c_str(), &width, &height, &bits, &row, 0), TiffFault);
  EXPECT_EQ(width, 3);
  EXPECT_EQ(height, 2);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(row, nullptr);
}

TEST_F(TiffContainer, AttributeCallsExamineNeitherLineNorStrips) {
  TiffFile tiff = ImageFile(Image(3, 2));
  tiff.Remove(kStripOffsets);
  tiff.Remove(kStripByteCounts);
  tiff.Set(kRowsPerStrip, kShort, {0});
  const std::string path = Write(tiff);
  for (int line : {0, -1, 2, INT_MIN, INT_MAX}) {
    const ReadResult result = ReadAttributes(path, line);
    EXPECT_EQ(result.Message(), "") << line;
    EXPECT_EQ(result.width, 3);
  }
  EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "bad rows per strip."));
}

TEST_F(TiffContainer, LineOutsideTheImage) {
  const TiffImage image = Image(3, 4);
  const std::string path = Write(ImageFile(image));
  for (int line : {-1, 4, 5, INT_MIN, INT_MAX})
    EXPECT_TRUE(IsFault(ReadLine(path, line), path, "bad line position.")) << line;
  EXPECT_EQ(ReadLine(path, 3).row, RowsOf(image.pixels, 3)[3]);
}

TEST_F(TiffContainer, RowsPerStripAtOrAboveTheHeightMeansOneStrip) {
  const TiffImage image = Image(3, 4);
  struct Case {
    const char* name;
    std::uint16_t type;  // 0: no RowsPerStrip entry
    std::vector<std::uint32_t> values;
  };
  const Case cases[] = {
      {"absent", 0, {}},
      {"the height", kShort, {4}},
      {"above the height", kShort, {5}},
      {"65535", kShort, {65535}},
      {"2^32 - 1", kLong, {0xFFFFFFFFu}},
      {"count 2 is absent", kLong, {1, 1}},
      {"BYTE is absent", kByte, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TiffFile tiff = ImageFile(image);
    if (c.type == 0) {
      tiff.Remove(kRowsPerStrip);
    } else {
      tiff.Set(kRowsPerStrip, c.type, c.values);
    }
    const std::string path = Write(tiff);
    EXPECT_EQ(tiff_test::ReadAllRows(path), RowsOf(image.pixels, 3));

    // One strip means exactly one offset and one byte count.
    tiff.Find(kStripOffsets)->fill = Fill::kValues;
    tiff.Find(kStripOffsets)->values = {8, 8};
    const std::string two = Write(tiff);
    EXPECT_TRUE(IsFault(ReadLine(two, 0), two, "bad number of strip offset."));
  }
}

TEST_F(TiffContainer, RowsPerStripZeroIsRefused) {
  for (const std::uint16_t type : {kShort, kLong}) {
    TiffFile tiff = ImageFile(Image(3, 4));
    tiff.Set(kRowsPerStrip, type, {0});
    const std::string path = Write(tiff);
    EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "bad rows per strip."));
  }
}

// Strip tables of both types, with the values in the entry (one LONG, up to
// two SHORTs) or elsewhere, in both byte orders.
TEST_F(TiffContainer, StripTablesOfEveryForm) {
  for (const bool little_endian : {true, false}) {
    for (const std::uint16_t type : {kShort, kLong}) {
      for (const std::uint32_t rows_per_strip : {6u, 3u, 2u}) {  // 1, 2 and 3 strips
        SCOPED_TRACE(std::string(little_endian ? "II" : "MM") + (type == kShort ? " SHORT" : " LONG") +
                     " rows per strip " + std::to_string(rows_per_strip));
        const TiffImage image = Image(5, 6, rows_per_strip, little_endian);
        TiffFile tiff = ImageFile(image);
        tiff.Find(kStripOffsets)->type = type;
        tiff.Find(kStripByteCounts)->type = type;
        EXPECT_EQ(tiff_test::ReadAllRows(Write(tiff)), RowsOf(image.pixels, 5));
      }
    }
  }
}

TEST_F(TiffContainer, StripTableFaults) {
  struct Case {
    const char* name;
    std::function<void(TiffFile&)> edit;
    const char* message;
  };
  const Case cases[] = {
      {"no offsets", [](TiffFile& s) { s.Remove(kStripOffsets); }, "strip offset not found."},
      {"offsets BYTE", [](TiffFile& s) { s.Find(kStripOffsets)->type = kByte; },
       "strip offset not found."},
      {"2 offsets for 3 strips", [](TiffFile& s) { s.Find(kStripOffsets)->count = 2; },
       "bad number of strip offset."},
      {"4 offsets for 3 strips", [](TiffFile& s) { s.Find(kStripOffsets)->count = 4; },
       "bad number of strip offset."},
      {"no byte counts", [](TiffFile& s) { s.Remove(kStripByteCounts); },
       "strip bytes count not found."},
      {"byte counts RATIONAL", [](TiffFile& s) { s.Find(kStripByteCounts)->type = kRational; },
       "strip bytes count not found."},
      {"1 byte count for 3 strips", [](TiffFile& s) { s.Find(kStripByteCounts)->count = 1; },
       "bad number of strip bytes count."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TiffFile tiff = ImageFile(Image(3, 5, 2));
    c.edit(tiff);
    const std::string path = Write(tiff);
    EXPECT_TRUE(IsFault(ReadLine(path, 4), path, c.message));
  }
}

// Rows 0..4 in strips of 2, 2 and 1 rows.  Surplus or missing bytes in a
// strip are found only when its last row is read.
TEST_F(TiffContainer, StripEndsAreCheckedAtTheirLastRowOnly) {
  const TiffImage image = Image(3, 5, 2);
  const auto rows = RowsOf(image.pixels, 3);
  const std::string path = Write(ImageFile(image));
  for (int y = 0; y < 5; ++y) EXPECT_EQ(ReadLine(path, y).row, rows[static_cast<std::size_t>(y)]);

  for (const std::size_t strip : {std::size_t{0}, std::size_t{2}}) {
    const int first = static_cast<int>(strip) * 2;
    const int last = strip == 0 ? 1 : 4;

    TiffFile surplus = ImageFile(image);
    surplus.strips[strip] += '\0';
    const std::string surplus_path = Write(surplus);
    if (first != last) {
      EXPECT_EQ(ReadLine(surplus_path, first).row, rows[static_cast<std::size_t>(first)]);
    }
    EXPECT_TRUE(IsFault(ReadLine(surplus_path, last), surplus_path, "too many codes."));

    TiffFile short_strip = ImageFile(image);
    short_strip.strips[strip].pop_back();
    const std::string short_path = Write(short_strip);
    if (first != last) {
      EXPECT_EQ(ReadLine(short_path, first).row, rows[static_cast<std::size_t>(first)]);
    }
    EXPECT_TRUE(IsFault(ReadLine(short_path, last), short_path, "too few codes."));
  }
}

// The written file ends with the IFD.  Every cut removes a byte the reader
// needs except in the next-IFD link and, when the last entry is a SHORT that
// is found rather than passed over, the unused half of its value field.
// Without a Predictor entry the search for it passes over every entry.
TEST_F(TiffContainer, EveryCutFileIsAnUnexpectedEnd) {
  for (const bool with_predictor : {true, false}) {
    SCOPED_TRACE(with_predictor ? "last entry Predictor" : "no Predictor entry");
    TiffFile tiff = ImageFile(Image(3, 5, 2, false));
    ASSERT_EQ(tiff.entries.back().tag, kPredictor);
    if (!with_predictor) tiff.Remove(kPredictor);
    const std::string bytes = MakeTiff(tiff);
    const std::size_t needed = bytes.size() - (with_predictor ? 6 : 4);
    for (std::size_t size = 0; size < needed; ++size) {
      const std::string path = Write(bytes.substr(0, size));
      EXPECT_TRUE(IsFault(ReadAttributes(path), path, "unexpected end of file.")) << size;
      EXPECT_TRUE(IsFault(ReadLine(path, 4), path, "unexpected end of file.")) << size;
    }
    for (std::size_t size = needed; size < bytes.size(); ++size)
      EXPECT_EQ(ReadLine(Write(bytes.substr(0, size)), 4).Message(), "") << size;
  }
}

TEST_F(TiffContainer, PositionsBeyondTheEndOfTheFile) {
  // IFD beyond the end.
  std::string bytes = MakeTiff(ImageFile(Image(2, 2)));
  bytes[4] = bytes[5] = bytes[6] = bytes[7] = '\xFF';
  std::string path = Write(bytes);
  EXPECT_TRUE(IsFault(ReadAttributes(path), path, "unexpected end of file."));

  // Strip table beyond the end.
  TiffFile table = ImageFile(Image(2, 6, 2));
  table.Find(kStripByteCounts)->value_field = 0x10000;
  path = Write(table);
  EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "unexpected end of file."));

  // Strip data beyond the end, or running past it inside its byte count.
  TiffFile strip = ImageFile(Image(2, 2));
  strip.Find(kStripOffsets)->fill = Fill::kValues;
  strip.Find(kStripOffsets)->values = {0x7FFFFFF0u};
  path = Write(strip);
  EXPECT_TRUE(IsFault(ReadLine(path, 0), path, "unexpected end of file."));
  TiffFile tail = ImageFile(Image(2, 2));
  tail.Find(kStripOffsets)->fill = Fill::kValues;
  tail.Find(kStripOffsets)->values = {0};
  tail.Find(kStripByteCounts)->fill = Fill::kValues;
  tail.Find(kStripByteCounts)->values = {1000};
  // Two bytes before the end: the first row still lies in the file.
  tail.Find(kStripOffsets)->values = {static_cast<std::uint32_t>(MakeTiff(tail).size() - 2)};
  path = Write(tail);
  EXPECT_EQ(ReadLine(path, 0).Message(), "");
  EXPECT_TRUE(IsFault(ReadLine(path, 1), path, "unexpected end of file."));

  // Seeking beyond the end is no fault by itself: a 0-bit row needs no byte.
  TiffFile empty = FileWithStrips(4, 1, 1, {""});
  empty.Set(kBitsPerSample, kShort, {0});
  empty.Find(kStripOffsets)->fill = Fill::kValues;
  empty.Find(kStripOffsets)->values = {0xFFFFFFFFu};
  path = Write(empty);
  EXPECT_EQ(ReadLine(path, 0).row, std::vector<std::uint16_t>(4, 0));
}

// A strip table whose offset lies just below 2^32: the element's position
// must not wrap around to the start of the file.
TEST_F(TiffContainer, StripTableOffsetNearTheTopDoesNotWrap) {
  for (const std::uint16_t type : {kShort, kLong}) {
    TiffFile tiff = ImageFile(Image(2, 6, 2));
    tiff.Find(kStripOffsets)->type = type;
    tiff.Find(kStripOffsets)->value_field = type == kShort ? 0xFFFFFFFEu : 0xFFFFFFFCu;
    const std::string path = Write(tiff);
    EXPECT_TRUE(IsFault(ReadLine(path, 5), path, "unexpected end of file."));
  }
}

// Row 65536 of a 65536-byte-wide strip starts 2^32 bytes into the strip; a
// wrapped product would read the strip's first row and succeed.
TEST_F(TiffContainer, SkippedBytesDoNotWrap) {
  const std::uint32_t width = 65536;
  TiffFile tiff = FileWithStrips(width, width + 1, width + 1, {std::string(width, '\x11')});
  const std::string path = Write(tiff);
  EXPECT_TRUE(IsFault(ReadLine(path, static_cast<int>(width)), path, "too few codes."));
  EXPECT_EQ(ReadLine(path, 0).row, std::vector<std::uint16_t>(width, 0x11));
}

// A byte count of 2^31 or more is a large budget, not a negative one.
TEST_F(TiffContainer, ByteCountsAbove2To31) {
  TiffFile tiff = FileWithStrips(3, 2, 2, {"abcdef"});
  tiff.Find(kStripByteCounts)->fill = Fill::kValues;
  tiff.Find(kStripByteCounts)->values = {0x80000000u};
  const std::string path = Write(tiff);
  EXPECT_EQ(ReadLine(path, 0).row, (std::vector<std::uint16_t>{'a', 'b', 'c'}));
  EXPECT_TRUE(IsFault(ReadLine(path, 1), path, "too many codes."));
}

// The widest image, 2^31 - 1 samples, is valid; its row buffer needs
// 2^32 - 2 bytes, which the test below refuses the reader.
TEST_F(TiffContainer, WidestImage) {
  TiffFile tiff = FileWithStrips(0x7FFFFFFFu, 1, 1, {"x"});
  tiff.Set(kBitsPerSample, kShort, {16});
  const ReadResult result = ReadAttributes(Write(tiff));
  EXPECT_EQ(result.Message(), "");
  EXPECT_EQ(result.width, 0x7FFFFFFF);
}

// Virtual memory in use by this process, in bytes.
rlim_t AddressSpaceInUse() {
  std::ifstream statm("/proc/self/statm");
  unsigned long long pages = 0;
  statm >> pages;
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// The row buffer for the widest image cannot be had under an address-space
// limit 1 GiB above what the process uses.
TEST(TiffContainerDeathTest, RowAllocationFailure) {
  tiff_test::ScratchDir dir;
  TiffFile tiff = FileWithStrips(0x7FFFFFFFu, 1, 1, {"x"});
  tiff.Set(kBitsPerSample, kShort, {16});
  const std::string path = dir.Write("wide.tif", MakeTiff(tiff));
  const auto read_under_limit = [&path] {
    const rlimit limit{AddressSpaceInUse() + (rlim_t{1} << 30), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    std::uint16_t* row = nullptr;
    try {
      ReadTiffLine(path.c_str(), nullptr, nullptr, nullptr, &row, 0);
    } catch (const TiffFault& fault) {
      std::fprintf(stderr, "%s : %s\n", fault.file_name.c_str(), fault.message.c_str());
      std::_Exit(fault.file_name == path ? 3 : 4);
    }
    std::_Exit(5);
  };
  EXPECT_EXIT(read_under_limit(), ::testing::ExitedWithCode(3),
              "wide.tif : cell memory allocation error.");
}

}  // namespace
