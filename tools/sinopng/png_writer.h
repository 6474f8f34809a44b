// A minimal PNG encoder: 8-bit greyscale, no interlacing, the image data in
// a zlib stream of stored (uncompressed) deflate blocks.  Pictures of a
// sinogram are small enough that compression is not worth a dependency.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sinopng {

// CRC-32 as PNG chunks use it (polynomial 0xEDB88320, reflected).
std::uint32_t Crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);
// Adler-32 of a zlib stream.
std::uint32_t Adler32(const unsigned char* data, std::size_t size);

// The bytes of a PNG file of `height` rows of `width` grey levels.
std::vector<unsigned char> EncodeGreyPng(std::uint32_t width, std::uint32_t height,
                                         const std::vector<std::uint8_t>& pixels);

}  // namespace sinopng
