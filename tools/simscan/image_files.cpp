#include "image_files.h"

#include <cstdio>

namespace simscan {
namespace {

class Encoder {
 public:
  Encoder(std::vector<unsigned char>& out, bool little_endian)
      : out_(out), little_(little_endian) {}

  void U16(std::uint32_t v) {
    const unsigned char lo = static_cast<unsigned char>(v & 0xFF);
    const unsigned char hi = static_cast<unsigned char>((v >> 8) & 0xFF);
    if (little_) {
      out_.push_back(lo);
      out_.push_back(hi);
    } else {
      out_.push_back(hi);
      out_.push_back(lo);
    }
  }
  void U32(std::uint32_t v) {
    if (little_) {
      U16(v & 0xFFFF);
      U16(v >> 16);
    } else {
      U16(v >> 16);
      U16(v & 0xFFFF);
    }
  }

 private:
  std::vector<unsigned char>& out_;
  bool little_;
};

constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

}  // namespace

void EncodeTiff(int width, int height, const std::uint16_t* counts, bool little_endian,
                std::vector<unsigned char>& out) {
  const std::uint32_t w = static_cast<std::uint32_t>(width);
  const std::uint32_t h = static_cast<std::uint32_t>(height);
  const std::uint32_t row_bytes = 2 * w;
  std::uint32_t rows_per_strip = 8192 / row_bytes;
  if (rows_per_strip < 1) rows_per_strip = 1;
  if (rows_per_strip > h) rows_per_strip = h;
  const std::uint32_t strips = (h + rows_per_strip - 1) / rows_per_strip;

  constexpr std::uint32_t kEntries = 10;
  const std::uint32_t ifd = 8;
  const std::uint32_t ifd_end = ifd + 2 + 12 * kEntries + 4;
  // With one strip its offset and byte count sit in their entries.
  const std::uint32_t offsets_at = ifd_end;
  const std::uint32_t counts_at = offsets_at + (strips > 1 ? 4 * strips : 0);
  const std::uint32_t pixels_at = counts_at + (strips > 1 ? 4 * strips : 0);

  out.clear();
  out.reserve(pixels_at + row_bytes * h);
  Encoder e(out, little_endian);
  out.push_back(little_endian ? 'I' : 'M');
  out.push_back(little_endian ? 'I' : 'M');
  e.U16(42);
  e.U32(ifd);

  e.U16(kEntries);
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value) {
    e.U16(tag);
    e.U16(type);
    e.U32(count);
    if (type == kShort && count == 1) {
      e.U16(value);  // left-justified in the value field
      e.U16(0);
    } else {
      e.U32(value);
    }
  };
  // Entries in ascending tag order.
  entry(256, kLong, 1, w);                 // ImageWidth
  entry(257, kLong, 1, h);                 // ImageLength
  entry(258, kShort, 1, 16);               // BitsPerSample
  entry(259, kShort, 1, 1);                // Compression: none
  entry(262, kShort, 1, 1);                // PhotometricInterpretation: black is zero
  entry(273, kLong, strips, strips > 1 ? offsets_at : pixels_at);  // StripOffsets
  entry(277, kShort, 1, 1);                // SamplesPerPixel
  entry(278, kLong, 1, rows_per_strip);    // RowsPerStrip
  entry(279, kLong, strips, strips > 1 ? counts_at : rows_per_strip * row_bytes);  // StripByteCounts
  entry(284, kShort, 1, 1);                // PlanarConfiguration: contiguous
  e.U32(0);                                // no further IFD

  if (strips > 1) {
    for (std::uint32_t s = 0; s < strips; ++s) e.U32(pixels_at + s * rows_per_strip * row_bytes);
    for (std::uint32_t s = 0; s < strips; ++s) {
      const std::uint32_t rows = s + 1 < strips ? rows_per_strip : h - s * rows_per_strip;
      e.U32(rows * row_bytes);
    }
  }
  const std::size_t n = static_cast<std::size_t>(w) * h;
  for (std::size_t i = 0; i < n; ++i) e.U16(counts[i]);
}

void EncodeHiPic(int width, int height, const std::uint16_t* counts, const std::string& comment,
                 std::vector<unsigned char>& out) {
  out.assign(64, 0);
  out[0] = 'I';
  out[1] = 'M';
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    out[at] = static_cast<unsigned char>(v & 0xFF);
    out[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
  };
  put16(2, static_cast<std::uint32_t>(comment.size()));
  put16(4, static_cast<std::uint32_t>(width));
  put16(6, static_cast<std::uint32_t>(height));
  out.insert(out.end(), comment.begin(), comment.end());
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  out.reserve(out.size() + 2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(static_cast<unsigned char>(counts[i] & 0xFF));
    out.push_back(static_cast<unsigned char>(counts[i] >> 8));
  }
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  return written && closed;
}

}  // namespace simscan
