// Test fixture writer for TIFF files: well-formed images and deliberately
// broken ones.
//
// Two levels:
//  - TiffImage describes pixels (size, depth 0 to 16, byte order, strips,
//    fill order, predictor); ImageFile turns it into a TiffFile with the
//    complete tag set and the packed, uncompressed strips.
//  - TiffFile is the file itself: the byte order, the IFD entries in the
//    order they are written (any tags, types, counts, duplicates) and the
//    strip bytes.  Tests edit it before MakeTiff writes the bytes.
//
// File layout written: the 8-byte header, the strips one after the other,
// the values that do not fit in their entry (each at an even offset), and
// the IFD last (even offset, next-IFD link 0).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tiff_writer {

// Field types.
constexpr std::uint16_t kByte = 1;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kRational = 5;

// Tag numbers.
constexpr std::uint16_t kImageWidth = 256;
constexpr std::uint16_t kImageLength = 257;
constexpr std::uint16_t kBitsPerSample = 258;
constexpr std::uint16_t kCompression = 259;
constexpr std::uint16_t kPhotometricInterpretation = 262;
constexpr std::uint16_t kFillOrder = 266;
constexpr std::uint16_t kStripOffsets = 273;
constexpr std::uint16_t kSamplesPerPixel = 277;
constexpr std::uint16_t kRowsPerStrip = 278;
constexpr std::uint16_t kStripByteCounts = 279;
constexpr std::uint16_t kPlanarConfiguration = 284;
constexpr std::uint16_t kPredictor = 317;

// Compression values.
constexpr std::uint32_t kNoCompression = 1;
constexpr std::uint32_t kLzw = 5;
constexpr std::uint32_t kPackBits = 32773;

// Where an entry's values come from when the file is written.
enum class Fill {
  kValues,          // TiffEntry::values as given
  kStripPositions,  // the file offset of every strip
  kStripSizes,      // the byte count of every strip
};

// One IFD entry, written exactly as described.
struct TiffEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = kShort;  // any number; sizes: 1, 2, 6, 7 one byte, 3, 8 two, else four
  std::vector<std::uint32_t> values;
  Fill fill = Fill::kValues;
  // Count field written instead of the number of values.  Whether the values
  // lie in the entry follows this count; only the values given are written.
  std::optional<std::uint32_t> count;
  // 4-byte value field written as is (e.g. an offset beyond the file); then
  // the values are not written at all.
  std::optional<std::uint32_t> value_field;
};

// An entry with these values and no overrides.
TiffEntry Entry(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values);

struct TiffFile {
  bool little_endian = true;
  std::vector<TiffEntry> entries;   // written in this order, unsorted
  std::vector<std::string> strips;  // stored strip bytes, in strip order

  // The first entry with `tag`, or null.
  TiffEntry* Find(std::uint16_t tag);
  // Replaces the values, type and overrides of the first entry with `tag`,
  // keeping its place; appends an entry when there is none.
  TiffEntry& Set(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values);
  // Removes every entry with `tag`.
  void Remove(std::uint16_t tag);
};

struct TiffImage {
  std::uint32_t width = 1;
  std::uint32_t height = 1;
  int bits = 16;                      // 0 to 16
  std::vector<std::uint16_t> pixels;  // width * height samples, row by row, each below 2^bits
  bool little_endian = true;
  std::uint32_t rows_per_strip = 0;   // 0: every row in one strip
  int fill_order = 1;                 // 2: the bits of every stored byte reversed
  bool predictor = false;             // store differences of neighbours (Predictor 2)
};

// The full tag set of `image` (width, length, bits, compression 1,
// photometric 1, fill order, strip offsets, samples per pixel 1, rows per
// strip, strip byte counts, planar configuration 1, predictor), with width,
// length and rows per strip as LONG, strip offsets and byte counts as LONG
// filled from the strips, and the packed strips.  Throws
// std::invalid_argument for a pixel count or value that does not fit.
TiffFile ImageFile(const TiffImage& image);

// The bytes of the file.
std::string MakeTiff(const TiffFile& tiff);
std::string MakeTiff(const TiffImage& image);

// Creates or replaces `path` with `bytes`; throws std::runtime_error.
void WriteFile(const std::string& path, const std::string& bytes);
void WriteTiff(const std::string& path, const TiffFile& tiff);

// A single-strip, uncompressed, grey image.
void WriteSimpleTiff(const std::string& path, std::uint32_t width, std::uint32_t height,
                     std::vector<std::uint16_t> pixels, int bits = 16,
                     bool little_endian = true);

// One row of samples packed most significant bit first, ending on a byte
// boundary; 16-bit samples in the given byte order, other depths unswapped.
std::string PackRow(const std::vector<std::uint16_t>& samples, int bits, bool little_endian);

// The bytes with the bit order of each reversed (0x01 <-> 0x80).
std::string ReverseBitsOfBytes(std::string bytes);

// LZW code stream from (code, width in bits) pairs, most significant bit
// first, the last byte padded with zero bits.
std::string PackLzwCodes(const std::vector<std::pair<int, int>>& codes);

}  // namespace tiff_writer
