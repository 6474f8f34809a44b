// Row reader for single-channel, strip-organised TIFF images.
//
// File layout read (offsets from the start of the file, multi-byte values
// in the file's byte order):
//
//   0  2  byte-order mark "II" (little-endian) or "MM" (big-endian)
//   2  2  42
//   4  4  offset of the first image file directory (IFD)
//
// IFD: a 16-bit entry count n, then n entries of 12 bytes; the link to a
// next IFD is never followed.
//
//   0  2  tag
//   2  2  field type: 3 SHORT (16-bit), 4 LONG (32-bit); others are unusable
//   4  4  count of values
//   8  4  the values when they fit in 4 bytes (from the field's first byte),
//         else the 32-bit offset of the values
//
// Tags, in the order they are examined:
//
//   256 ImageWidth, 257 ImageLength   SHORT or LONG, not 0, below 2^31
//   262 PhotometricInterpretation     0, 1, 3 or 4 (validated only)
//   277 SamplesPerPixel               at most 1, default 1
//   258 BitsPerSample                 0 to 16, default 1
//   284 PlanarConfiguration           1, default 1
//   266 FillOrder                     1 (bits from 0x80 down) or 2 (from 0x01 up)
//   259 Compression                   1 none, 5 LZW, 32773 PackBits
//   317 Predictor                     1 none, 2 horizontal differencing
//   278 RowsPerStrip                  SHORT or LONG, default the image height
//   273 StripOffsets, 279 StripByteCounts
//                                     SHORT or LONG, one value per strip
//
// Single-valued tags must have count 1; an entry of another type or count is
// treated as absent.  Of two entries with the same tag the first counts.
//
// Rows are packed most significant bit first and start on a byte boundary;
// 16-bit samples are stored in the file's byte order, other depths are never
// swapped.  A row request decodes its strip from the first byte up to and
// including the row; the rest of the strip is checked only when the row is
// the strip's last.
#include "tiff_reader.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <optional>

#include "strip_source.h"

void TiffFail(const StripStream& file, const char* message) {
  throw TiffFault{file.file_name, message};
}

int ReadFileByte(StripStream& file) {
  const int byte = std::getc(file.stream);
  if (byte == EOF) TiffFail(file, "unexpected end of file.");
  return byte;
}

void SeekFile(StripStream& file, std::uint64_t offset) {
  // An offset the stream cannot express lies beyond any file it can read, so
  // it is treated like any other position past the end.
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) {
    if (std::fseek(file.stream, 0, SEEK_END) != 0) TiffFail(file, "unexpected end of file.");
    return;
  }
  if (std::fseek(file.stream, static_cast<long>(offset), SEEK_SET) != 0)
    TiffFail(file, "unexpected end of file.");
}

namespace {

constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

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

constexpr std::uint32_t kTopBit = 0x80000000u;

struct TiffReaderState {
  StripStream file;                      // name, open stream and strip_budget
  bool little_endian = false;            // "II" file; decides ReadU16/ReadU32 and 16-bit samples
  std::uint32_t ifd_offset = 0;          // offset of the first IFD
  const StripSource* source = nullptr;   // chosen by Compression
};

TiffReaderState state;

[[noreturn]] void TiffFail(const char* message) { ::TiffFail(state.file, message); }

// Closes the stream however the call ends.
struct StreamCloser {
  ~StreamCloser() {
    if (state.file.stream != nullptr) std::fclose(state.file.stream);
    state.file.stream = nullptr;
  }
};

std::uint16_t ReadU16() {
  const auto first = static_cast<std::uint16_t>(ReadFileByte(state.file));
  const auto second = static_cast<std::uint16_t>(ReadFileByte(state.file));
  return state.little_endian ? static_cast<std::uint16_t>(first | (second << 8))
                             : static_cast<std::uint16_t>((first << 8) | second);
}

std::uint32_t ReadU32() {
  const std::uint32_t first = ReadU16();
  const std::uint32_t second = ReadU16();
  return state.little_endian ? (first | (second << 16)) : ((first << 16) | second);
}

// The field type of the first entry with `tag`, the stream left at its count
// field; 0 when no entry has the tag.
std::uint16_t FindTag(std::uint16_t tag) {
  SeekFile(state.file, state.ifd_offset);
  const std::uint16_t entries = ReadU16();
  for (std::uint16_t i = 0; i < entries; ++i) {
    if (ReadU16() == tag) return ReadU16();
    // Read, not seek, over the rest: an IFD cut short is a fault.
    for (int skip = 0; skip < 10; ++skip) ReadFileByte(state.file);
  }
  return 0;
}

// The single value of `tag`, or nothing when it is absent or unusable.
std::optional<std::uint32_t> ReadTagScalar(std::uint16_t tag, bool long_allowed) {
  const std::uint16_t type = FindTag(tag);
  if (type == kShort) {
    if (ReadU32() != 1) return std::nullopt;
    return ReadU16();
  }
  if (type == kLong && long_allowed) {
    if (ReadU32() != 1) return std::nullopt;
    return ReadU32();
  }
  return std::nullopt;
}

std::uint32_t ReadTagScalarOr(std::uint16_t tag, std::uint32_t fallback) {
  return ReadTagScalar(tag, false).value_or(fallback);
}

enum class ElementOutcome { kFound, kNotFound, kBadCount };

struct TagElement {
  ElementOutcome outcome = ElementOutcome::kNotFound;
  std::uint32_t value = 0;
};

// Value number `index` of `tag`, which must hold `expected_count` values.
TagElement ReadTagElement(std::uint16_t tag, std::uint64_t expected_count, std::uint64_t index) {
  const std::uint16_t type = FindTag(tag);
  if (type != kShort && type != kLong) return {};
  if (ReadU32() != expected_count) return {ElementOutcome::kBadCount, 0};
  const std::uint64_t size = type == kShort ? 2 : 4;
  if (expected_count * size > 4) {
    // 64-bit sum: an offset near 2^32 plus the index must not wrap.
    SeekFile(state.file, ReadU32() + index * size);
  } else {
    // The values lie in the entry; index is 0, or 1 for the second SHORT.
    for (std::uint64_t i = 0; i < index; ++i) ReadU16();
  }
  return {ElementOutcome::kFound, type == kShort ? ReadU16() : ReadU32()};
}

std::uint32_t ReverseBits(int byte) {
  std::uint32_t reversed = 0;
  for (int bit = 0; bit < 8; ++bit)
    reversed |= static_cast<std::uint32_t>((byte >> bit) & 1) << (7 - bit);
  return reversed;
}

// Unpacks `width` samples of `bits` bits, most significant bit first, from
// the strip's next bytes.  FillOrder 2 stores each byte's bits the other way
// round, so its decoded bytes are reversed first.  Fetches a byte only when
// another bit is needed, so the row takes exactly ceil(width * bits / 8) bytes.
void AssembleRow(std::uint16_t* row, std::uint32_t width, int bits, bool reversed) {
  auto next_byte = [reversed]() -> std::uint32_t {
    const int byte = state.source->NextStripByte(state.file);
    return reversed ? ReverseBits(byte) : static_cast<std::uint32_t>(byte);
  };
  if (bits == 0) {
    for (std::uint32_t i = 0; i < width; ++i) row[i] = 0;
  } else if (bits == 8) {
    for (std::uint32_t i = 0; i < width; ++i) row[i] = static_cast<std::uint16_t>(next_byte());
  } else if (bits == 16) {
    for (std::uint32_t i = 0; i < width; ++i) {
      const std::uint32_t high = next_byte();
      row[i] = static_cast<std::uint16_t>((high << 8) | next_byte());
    }
  } else {
    const std::uint32_t mask = (1u << bits) - 1u;
    std::uint32_t held = 0;  // recent bytes; only the low `held_bits` bits are unread
    int held_bits = 0;
    for (std::uint32_t i = 0; i < width; ++i) {
      while (held_bits < bits) {
        held = (held << 8) | next_byte();
        held_bits += 8;
      }
      held_bits -= bits;
      row[i] = static_cast<std::uint16_t>((held >> held_bits) & mask);
    }
  }
}

}  // namespace

int ReadTiffLine(const char* name, int* width_out, int* height_out, int* bits_out,
                 std::uint16_t** row_out, int line) {
  // 1. Open.
  state.file.file_name = name != nullptr ? name : "";
  state.file.stream = name != nullptr ? std::fopen(name, "rb") : nullptr;
  if (state.file.stream == nullptr) TiffFail("file not found.");
  StreamCloser closer;

  // 2. Header.
  const int mark = ReadFileByte(state.file);
  if (mark != 'I' && mark != 'M') TiffFail("bad magic number.");
  state.little_endian = mark == 'I';
  if (ReadFileByte(state.file) != mark) TiffFail("bad magic number.");
  if (ReadU16() != 42) TiffFail("bad magic number.");
  state.ifd_offset = ReadU32();

  // 3. Image size and type.
  const std::uint32_t width = ReadTagScalar(kImageWidth, true).value_or(0);
  if (width == 0) TiffFail("primary image attribute not found.");
  const std::uint32_t height = ReadTagScalar(kImageLength, true).value_or(0);
  if (height == 0) TiffFail("primary image attribute not found.");
  const std::optional<std::uint32_t> photometric = ReadTagScalar(kPhotometricInterpretation, false);
  if (!photometric) TiffFail("primary image attribute not found.");
  if ((width & kTopBit) != 0 || (height & kTopBit) != 0) TiffFail("too large image size.");
  if (*photometric != 0 && *photometric != 1 && *photometric != 3 && *photometric != 4)
    TiffFail("bad photometric interpretation.");

  // 4. Sample layout.
  if (ReadTagScalarOr(kSamplesPerPixel, 1) > 1) TiffFail("too many samples per pixel.");
  const std::uint32_t bits = ReadTagScalarOr(kBitsPerSample, 1);
  if (bits > 16) TiffFail("too many bits per sample.");
  if (ReadTagScalarOr(kPlanarConfiguration, 1) != 1) TiffFail("bad planar configuration.");
  const std::uint32_t fill_order = ReadTagScalarOr(kFillOrder, 1);
  if (fill_order != 1 && fill_order != 2) TiffFail("bad fill order.");
  switch (ReadTagScalarOr(kCompression, 1)) {
    case 1: state.source = &kRawStripSource; break;
    case 5: state.source = &kLzwStripSource; break;
    case 32773: state.source = &kPackBitsStripSource; break;
    default: TiffFail("unknown image compression method.");
  }
  std::uint32_t predictor_mask = 0;
  switch (ReadTagScalarOr(kPredictor, 1)) {
    case 1: break;
    case 2: predictor_mask = (1u << bits) - 1u; break;
    default: TiffFail("unknown differencing predictor.");
  }

  // 5. The attributes, all valid now (both below 2^31, so they fit an int).
  if (width_out != nullptr) *width_out = static_cast<int>(width);
  if (height_out != nullptr) *height_out = static_cast<int>(height);
  if (bits_out != nullptr) *bits_out = static_cast<int>(bits);

  // 6. Attributes only.
  if (row_out == nullptr) {
    std::FILE* stream = state.file.stream;
    state.file.stream = nullptr;
    return std::fclose(stream);
  }

  // 7. The row asked for.
  if (line < 0 || static_cast<std::uint32_t>(line) >= height) TiffFail("bad line position.");
  const auto row_index = static_cast<std::uint32_t>(line);

  // 8. The row buffer; it goes to the caller only when the row is complete.
  if (std::uint64_t{width} > std::numeric_limits<std::size_t>::max() / sizeof(std::uint16_t))
    TiffFail("cell memory allocation error.");
  std::unique_ptr<std::uint16_t[]> row(new (std::nothrow) std::uint16_t[width]);
  if (!row) TiffFail("cell memory allocation error.");

  // 9. Strips, in 64-bit arithmetic: height + RowsPerStrip may exceed 2^32.
  const std::uint32_t rows_per_strip = ReadTagScalar(kRowsPerStrip, true).value_or(height);
  if (rows_per_strip == 0) TiffFail("bad rows per strip.");
  const std::uint64_t strips = (std::uint64_t{height} + rows_per_strip - 1) / rows_per_strip;
  const std::uint64_t strip_index = row_index / rows_per_strip;
  const std::uint64_t row_in_strip = row_index % rows_per_strip;

  // 10. Where the strip lies.
  const TagElement offset = ReadTagElement(kStripOffsets, strips, strip_index);
  if (offset.outcome == ElementOutcome::kNotFound) TiffFail("strip offset not found.");
  if (offset.outcome == ElementOutcome::kBadCount) TiffFail("bad number of strip offset.");
  const TagElement byte_count = ReadTagElement(kStripByteCounts, strips, strip_index);
  if (byte_count.outcome == ElementOutcome::kNotFound) TiffFail("strip bytes count not found.");
  if (byte_count.outcome == ElementOutcome::kBadCount) TiffFail("bad number of strip bytes count.");

  // 11 to 13. Decode the strip from its start up to and including the row.
  // Width below 2^31 and bits at most 16 keep both products below 2^63.
  state.source->StartStrip(state.file, offset.value, byte_count.value);
  const std::uint64_t bytes_per_row = (std::uint64_t{width} * bits + 7) / 8;
  const std::uint64_t skipped = row_in_strip * bytes_per_row;
  for (std::uint64_t i = 0; i < skipped; ++i) state.source->NextStripByte(state.file);
  AssembleRow(row.get(), width, static_cast<int>(bits), fill_order == 2);

  // 14. Only a strip's last row checks the strip's end.
  if (row_index + 1 == height || (row_index + 1) % rows_per_strip == 0)
    state.source->EndStrip(state.file);

  // 15. 16-bit samples of an "II" file were assembled first byte high.
  if (state.little_endian && bits == 16) {
    for (std::uint32_t i = 0; i < width; ++i)
      row[i] = static_cast<std::uint16_t>((row[i] >> 8) | (row[i] << 8));
  }

  // 16. Undo horizontal differencing, on sample values, whatever the compression.
  if (predictor_mask != 0) {
    for (std::uint32_t i = 1; i < width; ++i)
      row[i] = static_cast<std::uint16_t>((row[i - 1] + row[i]) & predictor_mask);
  }

  // 17. Close and hand over the row.
  std::FILE* stream = state.file.stream;
  state.file.stream = nullptr;
  *row_out = row.release();
  return std::fclose(stream);
}
