// Writes the seed corpora of the fuzz targets from the test fixtures:
//   fuzz_make_seeds <corpus dir>
// into <corpus dir>/<target>/.  The LZW and PackBits TIFF seeds are made from
// the uncompressed ones with tiffcp afterwards (see tests/fuzz/CMakeLists.txt).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "scan_fixture.h"
#include "tiff_writer.h"

namespace {

namespace tw = tiff_writer;

std::string root;

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(root + "/" + target);
  tw::WriteFile(root + "/" + target + "/" + name, bytes);
}

std::vector<std::uint16_t> Ramp(std::uint32_t width, std::uint32_t height, int bits) {
  std::vector<std::uint16_t> v;
  const std::uint32_t top = bits == 0 ? 1u : (1u << bits);
  for (std::uint32_t i = 0; i < width * height; ++i)
    v.push_back(static_cast<std::uint16_t>((i * 37u + 11u) % top));
  return v;
}

void TiffSeeds() {
  struct Shape {
    const char* name;
    std::uint32_t width, height;
    int bits;
    bool little_endian;
    std::uint32_t rows_per_strip;
    int fill_order;
    bool predictor;
  };
  const Shape shapes[] = {
      {"le16", 5, 4, 16, true, 0, 1, false},      {"be16", 5, 4, 16, false, 0, 1, false},
      {"le8_strips", 7, 6, 8, true, 2, 1, false}, {"be12", 5, 3, 12, false, 0, 1, false},
      {"le1_fill2", 13, 3, 1, true, 1, 2, false}, {"le4_pred", 9, 3, 4, true, 0, 1, true},
      {"be16_pred", 6, 3, 16, false, 3, 1, true}, {"le0", 4, 2, 0, true, 0, 1, false},
  };
  for (const Shape& s : shapes) {
    tw::TiffImage image;
    image.width = s.width;
    image.height = s.height;
    image.bits = s.bits;
    image.pixels = Ramp(s.width, s.height, s.bits);
    image.little_endian = s.little_endian;
    image.rows_per_strip = s.rows_per_strip;
    image.fill_order = s.fill_order;
    image.predictor = s.predictor;
    Put("tiff_line", std::string(s.name) + ".tif", tw::MakeTiff(image));
  }
  // Short and long forms of the tags the reader accepts either way.
  tw::TiffImage image;
  image.width = 3;
  image.height = 2;
  image.bits = 16;
  image.pixels = Ramp(3, 2, 16);
  tw::TiffFile file = tw::ImageFile(image);
  file.Set(tw::kImageWidth, tw::kShort, {3});
  file.Set(tw::kImageLength, tw::kShort, {2});
  Put("tiff_line", "short_tags.tif", tw::MakeTiff(file));
}

void HiPicSeeds() {
  auto count = [](int r, int c) { return static_cast<std::uint16_t>(1000 + 17 * r + c); };
  Put("hipic_row", "plain.img", fixture::HiPicImage(6, 3, count));
  Put("hipic_row", "comment.img", fixture::HiPicImage(4, 2, count, "exposure 100 ms"));
  Put("hipic_row", "one_pixel.img", fixture::HiPicImage(1, 1, count));
  Put("hipic_row", "no_rows.img", fixture::HiPicImage(8, 0, count));
}

void LogSeeds() {
  Put("scan_log", "smooth_12.log", fixture::LogText(fixture::SmoothScan(4, 2, 12, 5).Log()));
  Put("scan_log", "smooth_40.log", fixture::LogText(fixture::SmoothScan(4, 2, 40, 9).Log()));
  // Reference frames only at the ends, and a short line ending the log.
  Put("scan_log", "ends_only.log",
      fixture::LogText({{1, 1, 0, 0}, {2, 2, 180, 1}, {3, 3, 360, 1}, {4, 4, 360, 0}}) + "\n" +
          "5 5 0 1\n");
  Put("scan_log", "four_digits.log",
      fixture::LogText({{998, 1, 350, 0}, {999, 2, 355, 1}, {1000, 3, 360, 0}}));
}

// Strip seeds: 2 bytes of image bytes to take, 1 byte of budget cut, the strip.
std::string StripInput(std::size_t take, const std::string& strip) {
  std::string s;
  s.push_back(static_cast<char>(take & 0xFF));
  s.push_back(static_cast<char>(take >> 8));
  s.push_back('\xff');
  return s + strip;
}

void StripSeeds() {
  // LZW: literal codes only, then a string built from the table, a code one
  // past the table (the string-plus-its-first-byte case), a clear code.
  Put("lzw_strip", "literals.bin",
      StripInput(4, tw::PackLzwCodes({{256, 9}, {'a', 9}, {'b', 9}, {'c', 9}, {'d', 9}, {257, 9}})));
  Put("lzw_strip", "table.bin",
      StripInput(7, tw::PackLzwCodes({{256, 9}, {'a', 9}, {'b', 9}, {258, 9}, {260, 9},
                                      {257, 9}})));
  Put("lzw_strip", "clear_mid.bin",
      StripInput(4, tw::PackLzwCodes({{256, 9}, {'x', 9}, {'y', 9}, {256, 9}, {'z', 9},
                                      {'w', 9}, {257, 9}})));
  std::vector<std::pair<int, int>> wide = {{256, 9}};
  for (int i = 0; i < 300; ++i) wide.push_back({i % 256, 258 + i < 511 ? 9 : 10});
  wide.push_back({257, 10});
  Put("lzw_strip", "width10.bin", StripInput(300, tw::PackLzwCodes(wide)));
  // PackBits: a literal run, a replicate run, a no-operation header.
  Put("packbits_strip", "runs.bin", StripInput(9, std::string("\x02" "abc" "\xfd" "z" "\x80" "\x00" "q", 9)));
  Put("packbits_strip", "long_run.bin", StripInput(128, std::string("\x81" "r", 2)));
  std::string literal(1, '\x7f');
  for (int i = 0; i < 128; ++i) literal.push_back(static_cast<char>(i * 3));
  Put("packbits_strip", "long_literal.bin", StripInput(128, literal));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
    return 2;
  }
  root = argv[1];
  TiffSeeds();
  HiPicSeeds();
  LogSeeds();
  StripSeeds();
  return 0;
}
