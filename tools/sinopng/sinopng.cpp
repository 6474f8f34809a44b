// sinopng SINOGRAM WIDTH PICTURE: a picture of a sinogram file, one image
// row per sinogram row, as an 8-bit greyscale PNG scaled to the sinogram's
// range (black at the smallest value, white at the largest).
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "png_writer.h"

namespace {

const char kUsage[] =
    "usage: sinopng SINOGRAM WIDTH PICTURE\n"
    "Writes PICTURE, a greyscale PNG of the sinogram file SINOGRAM (rows of WIDTH\n"
    "little-endian doubles, as in s%04d.sin; WIDTH is the first line of sino.tmp).\n"
    "Black is the smallest value, white the largest; values that are not numbers\n"
    "are black.\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "sinopng: %s\n", message.c_str());
  return 1;
}

bool ReadAll(const char* path, std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  unsigned char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

double LittleEndianDouble(const unsigned char* p) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  errno = 0;
  char* end = nullptr;
  const long long width = std::strtoll(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || errno != 0 || width < 1 || width > 0x7FFFFFFF) {
    std::fprintf(stderr, "sinopng: bad width '%s'\n%s", argv[2], kUsage);
    return 2;
  }

  std::vector<unsigned char> bytes;
  if (!ReadAll(argv[1], bytes)) return Fail(std::string("cannot read ") + argv[1]);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 8;
  if (bytes.empty() || bytes.size() % row_bytes != 0) {
    return Fail(std::string(argv[1]) + " holds " + std::to_string(bytes.size()) +
                " bytes, not a whole number of rows of " + std::to_string(width) + " doubles");
  }
  const std::size_t rows = bytes.size() / row_bytes;
  if (rows > 0x7FFFFFFF) return Fail("too many rows for a picture");

  std::vector<double> values(bytes.size() / 8);
  double lo = INFINITY, hi = -INFINITY;
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = LittleEndianDouble(&bytes[8 * i]);
    if (std::isfinite(values[i])) {
      if (values[i] < lo) lo = values[i];
      if (values[i] > hi) hi = values[i];
    }
  }
  const bool any_finite = lo <= hi;
  const double span = any_finite ? hi - lo : 0.0;

  std::vector<std::uint8_t> grey(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    double g = 0;
    if (v == INFINITY) g = 255;
    else if (std::isfinite(v) && span > 0) g = std::floor(255.0 * ((v - lo) / span) + 0.5);
    grey[i] = static_cast<std::uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
  }

  const std::vector<unsigned char> png = sinopng::EncodeGreyPng(
      static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(rows), grey);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (!out) return Fail(std::string("cannot write ") + argv[3]);
  const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
  if (std::fclose(out) != 0 || !written) {
    std::remove(argv[3]);
    return Fail(std::string("cannot write ") + argv[3]);
  }
  if (any_finite) {
    std::printf("sinopng: %s: %lld x %zu pixels, black %g, white %g\n", argv[3], width, rows, lo,
                hi);
  } else {
    std::printf("sinopng: %s: %lld x %zu pixels, no finite values\n", argv[3], width, rows);
  }
  return 0;
}
