// Encoders for the two image formats the sinogram builders read.
//
// TIFF: uncompressed 16-bit grey, either byte order.  Header, IFD, the strip
// offset and byte count arrays, then the pixels; strips of about 8 KiB, as
// detectors usually write them, so a row read finds its strip through the
// offset table.
//
// HiPic ".img": the 64-byte header ("IM", comment length, width and height
// as little-endian 16-bit values, the rest zero), a comment, then the rows
// of little-endian counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simscan {

// `counts` holds height rows of width values.
void EncodeTiff(int width, int height, const std::uint16_t* counts, bool little_endian,
                std::vector<unsigned char>& out);
void EncodeHiPic(int width, int height, const std::uint16_t* counts, const std::string& comment,
                 std::vector<unsigned char>& out);

// Creates or replaces a file with these bytes; false when it cannot.
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace simscan
