// Files written by libtiff's tiffcp (every compression, byte order, strip
// layout and depth it writes for one-channel images) read the same through
// ReadTiffLine as through libtiff itself, and both give the original pixels.
// libtiff and tiffcp are required: without them these tests fail.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tiff_test_util.h"

namespace {

using namespace tiff_writer;
using namespace std::string_literals;
using tiff_test::RowsOf;
using Row = std::vector<std::uint16_t>;
using Rows = std::vector<Row>;

// Absolute path of `program` found on PATH, or "".
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty() || dir[0] != '/') continue;
    const std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

const std::string& Tiffcp() {
  static const std::string path = FindOnPath("tiffcp");
  return path;
}

// Runs tiffcp with `options` from `in` to `out`, its messages going to
// out + ".log"; fails the test when tiffcp is missing or fails.
bool RunTiffcp(const std::vector<std::string>& options, const std::string& in,
               const std::string& out) {
  if (Tiffcp().empty()) {
    ADD_FAILURE() << "tiffcp not found on PATH (package libtiff-tools)";
    return false;
  }
  std::vector<std::string> args{Tiffcp()};
  args.insert(args.end(), options.begin(), options.end());
  args.push_back(in);
  args.push_back(out);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = out + ".log";
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::string command;
    for (const std::string& arg : args) command += arg + " ";
    ADD_FAILURE() << "failed: " << command << "(see " << log << ")";
    return false;
  }
  return true;
}

struct LibtiffImage {
  Rows rows;
  std::uint32_t rows_per_strip = 0;
  std::uint32_t strips = 0;
  std::uint16_t compression = 0;
  std::uint16_t predictor = 0;
  std::uint16_t fill_order = 0;
  bool big_endian = false;
};

// The image as libtiff reads it, one scanline at a time.
LibtiffImage ReadWithLibtiff(const std::string& path) {
  LibtiffImage image;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) {
    ADD_FAILURE() << "libtiff cannot open " << path;
    return image;
  }
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &image.rows_per_strip);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &image.compression);
  if (image.compression == COMPRESSION_LZW)
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &image.predictor);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &image.fill_order);
  image.strips = TIFFNumberOfStrips(tif);
  image.big_endian = TIFFIsBigEndian(tif) != 0;
  std::vector<unsigned char> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
  for (std::uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) != 1) {
      ADD_FAILURE() << "libtiff cannot read row " << y << " of " << path;
      break;
    }
    Row row(width);
    for (std::uint32_t x = 0; x < width; ++x) {
      if (bits == 16) {
        std::memcpy(&row[x], &line[2 * std::size_t{x}], 2);  // libtiff hands out host order
      } else {
        std::uint32_t sample = 0;
        for (std::uint32_t b = 0; b < bits; ++b) {
          const std::size_t bit = std::size_t{x} * bits + b;
          sample = (sample << 1) | ((line[bit / 8] >> (7 - bit % 8)) & 1u);
        }
        row[x] = static_cast<std::uint16_t>(sample);
      }
    }
    image.rows.push_back(std::move(row));
  }
  TIFFClose(tif);
  return image;
}

class LibtiffComparison : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TIFFSetWarningHandler(nullptr);
  }

  // An uncompressed original of the image, as tiffcp's input.
  std::string Original(const TiffImage& image, const std::string& name) {
    TiffFile tiff = ImageFile(image);
    tiff.Remove(kPredictor);  // libtiff knows no predictor for uncompressed files
    return dir_.Write(name, MakeTiff(tiff));
  }
  std::string PathOf(const std::string& name) const { return dir_.PathOf(name); }

  // Converts with tiffcp and checks that both readers give `expected`;
  // returns libtiff's view of the converted file.
  LibtiffImage ConvertAndCompare(const std::string& original,
                                 const std::vector<std::string>& options, const Rows& expected) {
    std::string trace = "tiffcp";
    for (const std::string& option : options) trace += " " + option;
    SCOPED_TRACE(trace);
    const std::string converted = PathOf("converted.tif");
    if (!RunTiffcp(options, original, converted)) return {};
    LibtiffImage reference = ReadWithLibtiff(converted);
    EXPECT_EQ(reference.rows, expected) << "libtiff";
    EXPECT_EQ(tiff_test::ReadAllRows(converted), expected) << "ReadTiffLine";
    return reference;
  }

 private:
  tiff_test::ScratchDir dir_;
};

TEST_F(LibtiffComparison, TiffcpIsInstalled) { ASSERT_FALSE(Tiffcp().empty()) << "install libtiff-tools"; }

class EveryTiffcpVariant : public LibtiffComparison, public ::testing::WithParamInterface<int> {};

// At one depth: every compression tiffcp offers for it, both byte orders,
// and strips of 1 row, of 3 rows (7 rows, so the last strip is shorter) and
// one strip for the whole image.
TEST_P(EveryTiffcpVariant, ReadsLikeLibtiff) {
  const int bits = GetParam();
  TiffImage image;
  image.width = 37;
  image.height = 7;
  image.bits = bits;
  image.pixels = tiff_test::TestPixels(37, 7, bits, static_cast<std::uint32_t>(bits));
  const std::string original = Original(image, "original.tif");
  const Rows expected = RowsOf(image.pixels, 37);

  std::vector<std::pair<std::string, std::uint16_t>> codings = {
      {"none", COMPRESSION_NONE}, {"lzw", COMPRESSION_LZW}, {"packbits", COMPRESSION_PACKBITS}};
  if (bits == 8 || bits == 16) codings.emplace_back("lzw:2", COMPRESSION_LZW);  // tiffcp's limit
  for (const auto& [coding, compression] : codings) {
    for (const std::string order : {"-B", "-L"}) {
      for (const std::uint32_t rows : {1u, 3u, 7u}) {
        const LibtiffImage converted = ConvertAndCompare(
            original, {"-c", coding, order, "-r", std::to_string(rows)}, expected);
        // The file is the variant it is meant to be.
        EXPECT_EQ(converted.compression, compression);
        if (compression == COMPRESSION_LZW) {
          EXPECT_EQ(converted.predictor,
                    coding == "lzw:2" ? PREDICTOR_HORIZONTAL : PREDICTOR_NONE);
        }
        EXPECT_EQ(converted.big_endian, order == "-B");
        EXPECT_EQ(converted.strips, (7 + rows - 1) / rows);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Bits, EveryTiffcpVariant, ::testing::Range(1, 17),
                         [](const ::testing::TestParamInfo<int>& param) {
                           return std::to_string(param.param) + "bits";
                         });

// Large strips: LZW runs through every code width and clears its table many
// times; PackBits meets long runs and long literals.
TEST_F(LibtiffComparison, LargeStrips) {
  for (const int bits : {8, 16}) {
    TiffImage image;
    image.width = 300;
    image.height = 40;
    image.bits = bits;
    const std::uint32_t mask = (1u << bits) - 1u;
    const Row noise = tiff_test::TestPixels(300, 40, bits, 7);
    for (std::uint32_t y = 0; y < 40; ++y) {
      for (std::uint32_t x = 0; x < 300; ++x) {
        const std::size_t i = std::size_t{y} * 300 + x;
        std::uint32_t value = 0;
        if (x < 100) {
          value = (x * 3 + y * 5) & mask;  // smooth: long strings, long runs
        } else if (x < 200) {
          value = (x / 20) & mask;         // flat stretches
        } else {
          value = noise[i];                // noise: short strings, literals
        }
        image.pixels.push_back(static_cast<std::uint16_t>(value));
      }
    }
    const std::string original = Original(image, "large.tif");
    const Rows expected = RowsOf(image.pixels, 300);
    for (const std::string coding : {"lzw", "lzw:2", "packbits"}) {
      for (const std::string order : {"-B", "-L"}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        for (const std::string rows : {"40", "16"})
          ConvertAndCompare(original, {"-c", coding, order, "-r", rows}, expected);
      }
    }
  }
}

// Uncompressed FillOrder 2: here both readers reverse the stored bytes.
TEST_F(LibtiffComparison, FillOrderTwoUncompressed) {
  for (const int bits : {1, 4, 8, 12, 16}) {
    TiffImage image;
    image.width = 21;
    image.height = 5;
    image.bits = bits;
    image.pixels = tiff_test::TestPixels(21, 5, bits, 3);
    const std::string original = Original(image, "original.tif");
    for (const std::string order : {"-B", "-L"}) {
      SCOPED_TRACE("bits " + std::to_string(bits));
      const LibtiffImage converted = ConvertAndCompare(
          original, {"-c", "none", "-f", "lsb2msb", "-r", "2", order}, RowsOf(image.pixels, 21));
      EXPECT_EQ(converted.fill_order, FILLORDER_LSB2MSB);
    }
  }
}

// tiffcp writes the end code of an LZW strip one bit wider when the strip's
// last code raised the width: 254 different bytes in one row make the table
// reach 511 with the last code.  The end code is then a 10-bit code, one byte
// past the 288 bytes that a 9-bit end code would take.
TEST_F(LibtiffComparison, LzwEndCodeOneBitWider) {
  TiffImage image;
  image.width = 254;
  image.height = 1;
  image.bits = 8;
  for (std::uint16_t value = 0; value < 254; ++value) image.pixels.push_back(value);
  const std::string original = Original(image, "ramp.tif");
  ConvertAndCompare(original, {"-c", "lzw"}, RowsOf(image.pixels, 254));

  TIFF* tif = TIFFOpen(PathOf("converted.tif").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_EQ(TIFFRawStripSize(tif, 0), 289) << "the file no longer shows the wider end code";
  TIFFClose(tif);
}

// Two places where this reader deliberately differs from libtiff, checked
// with fixtures of our own.
class DeliberateDifferences : public ::testing::Test {
 protected:
  std::string Write(const TiffFile& tiff) { return dir_.Write("own.tif", MakeTiff(tiff)); }

 private:
  tiff_test::ScratchDir dir_;
};

// FillOrder 2 reverses the decoded bytes, not the stored code stream: the
// LZW codes stay as they are, the bytes they give are reversed.
TEST_F(DeliberateDifferences, FillOrderTwoAppliesAfterDecoding) {
  TiffImage image;
  image.width = 3;
  image.height = 1;
  image.bits = 8;
  image.pixels = {0, 0, 0};
  image.fill_order = 2;
  for (const bool little_endian : {true, false}) {
    image.little_endian = little_endian;
    TiffFile lzw = ImageFile(image);
    lzw.Set(kCompression, kShort, {kLzw});
    lzw.strips = {PackLzwCodes({{256, 9}, {0x01, 9}, {0x03, 9}, {0xF0, 9}, {257, 9}})};
    EXPECT_EQ(tiff_test::ReadLine(Write(lzw), 0).row, (Row{0x80, 0xC0, 0x0F}));

    TiffFile packbits = ImageFile(image);
    packbits.Set(kCompression, kShort, {kPackBits});
    packbits.strips = {"\x00\x01\xFF\x03"s};
    EXPECT_EQ(tiff_test::ReadLine(Write(packbits), 0).row, (Row{0x80, 0xC0, 0xC0}));
  }
}

// The predictor works at every depth, not only at 8 and 16 bits.
TEST_F(DeliberateDifferences, PredictorAtOtherDepths) {
  for (const int bits : {1, 2, 4, 5, 12, 15}) {
    TiffImage image;
    image.width = 9;
    image.height = 3;
    image.bits = bits;
    image.pixels = tiff_test::TestPixels(9, 3, bits, 11);
    image.predictor = true;
    EXPECT_EQ(tiff_test::ReadAllRows(Write(ImageFile(image))), RowsOf(image.pixels, 9)) << bits;
  }
  // Stored 12-bit differences 4000, 200, 4095 give 4000, 104, 103.
  TiffImage stored;
  stored.width = 3;
  stored.height = 1;
  stored.bits = 12;
  stored.pixels = {4000, 200, 4095};
  TiffFile tiff = ImageFile(stored);
  tiff.Set(kPredictor, kShort, {2});
  EXPECT_EQ(tiff_test::ReadLine(Write(tiff), 0).row, (Row{4000, 104, 103}));
}

}  // namespace
