#include "png_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace sinopng {
namespace {

const std::array<std::uint32_t, 256>& CrcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void PutU32(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v >> 24));
  out.push_back(static_cast<unsigned char>(v >> 16));
  out.push_back(static_cast<unsigned char>(v >> 8));
  out.push_back(static_cast<unsigned char>(v));
}

void Chunk(std::vector<unsigned char>& out, const char* type,
           const std::vector<unsigned char>& data) {
  if (data.size() > 0x7FFFFFFFu) throw std::length_error("PNG chunk too large");
  PutU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutU32(out, Crc32(&out[start], out.size() - start));
}

}  // namespace

std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc) {
  const auto& table = CrcTable();
  crc ^= 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const unsigned char* data, std::size_t size) {
  std::uint32_t a = 1, b = 0;
  for (std::size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521u;
    b = (b + a) % 65521u;
  }
  return (b << 16) | a;
}

std::vector<unsigned char> EncodeGreyPng(std::uint32_t width, std::uint32_t height,
                                         const std::vector<std::uint8_t>& pixels) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
    throw std::invalid_argument("PNG sizes must be from 1 to 2^31 - 1");
  if (pixels.size() != static_cast<std::size_t>(width) * height)
    throw std::invalid_argument("pixel count does not match the PNG size");

  // Scanlines, each led by filter type 0 (none).
  std::vector<unsigned char> raw;
  raw.reserve((static_cast<std::size_t>(width) + 1) * height);
  for (std::uint32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(y) * width);
    raw.insert(raw.end(), row, row + width);
  }

  // zlib: deflate with a 32 KiB window, no dictionary, fastest level; the
  // header's check bits make 0x7801 a multiple of 31.
  std::vector<unsigned char> z = {0x78, 0x01};
  std::size_t pos = 0;
  do {
    const std::size_t len = std::min<std::size_t>(65535, raw.size() - pos);
    const bool final_block = pos + len == raw.size();
    z.push_back(final_block ? 1 : 0);  // BFINAL, BTYPE 00: stored
    z.push_back(static_cast<unsigned char>(len & 0xFF));
    z.push_back(static_cast<unsigned char>(len >> 8));
    z.push_back(static_cast<unsigned char>(~len & 0xFF));
    z.push_back(static_cast<unsigned char>((~len >> 8) & 0xFF));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos),
             raw.begin() + static_cast<std::ptrdiff_t>(pos + len));
    pos += len;
  } while (pos < raw.size());
  PutU32(z, Adler32(raw.data(), raw.size()));

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<unsigned char> ihdr;
  PutU32(ihdr, width);
  PutU32(ihdr, height);
  ihdr.push_back(8);  // bit depth
  ihdr.push_back(0);  // colour type: greyscale
  ihdr.push_back(0);  // compression: deflate
  ihdr.push_back(0);  // filter method 0
  ihdr.push_back(0);  // no interlacing
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace sinopng
