#include "tiff_writer.h"

#include <fstream>
#include <stdexcept>

namespace tiff_writer {
namespace {

std::size_t TypeSize(std::uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    default: return 4;
  }
}

class ByteWriter {
 public:
  explicit ByteWriter(bool little_endian) : little_endian_(little_endian) {}

  void Value(std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      const std::size_t shift = 8 * (little_endian_ ? i : size - 1 - i);
      bytes_.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
  }
  void U16(std::uint32_t value) { Value(value, 2); }
  void U32(std::uint32_t value) { Value(value, 4); }
  void Raw(const std::string& bytes) { bytes_ += bytes; }
  void AlignEven() {
    if (bytes_.size() % 2 != 0) bytes_.push_back('\0');
  }
  std::uint32_t Offset() const {
    if (bytes_.size() > 0xFFFFFFFFu) throw std::invalid_argument("TIFF file above 4 GiB");
    return static_cast<std::uint32_t>(bytes_.size());
  }
  void PatchU32(std::size_t at, std::uint32_t value) {
    ByteWriter patch(little_endian_);
    patch.U32(value);
    bytes_.replace(at, 4, patch.bytes_);
  }
  std::string& bytes() { return bytes_; }

 private:
  bool little_endian_;
  std::string bytes_;
};

std::vector<std::uint32_t> ValuesOf(const TiffEntry& entry,
                                    const std::vector<std::uint32_t>& strip_offsets,
                                    const std::vector<std::string>& strips) {
  switch (entry.fill) {
    case Fill::kStripPositions: return strip_offsets;
    case Fill::kStripSizes: {
      std::vector<std::uint32_t> sizes;
      for (const std::string& strip : strips) sizes.push_back(static_cast<std::uint32_t>(strip.size()));
      return sizes;
    }
    case Fill::kValues: break;
  }
  return entry.values;
}

void CheckImage(const TiffImage& image) {
  if (image.bits < 0 || image.bits > 16) throw std::invalid_argument("bits must be 0 to 16");
  if (std::uint64_t{image.width} * image.height != image.pixels.size())
    throw std::invalid_argument("pixel count differs from width * height");
  for (std::uint16_t pixel : image.pixels) {
    if (image.bits < 16 && pixel >> image.bits != 0)
      throw std::invalid_argument("pixel value does not fit the depth");
  }
}

}  // namespace

TiffEntry Entry(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
  TiffEntry entry;
  entry.tag = tag;
  entry.type = type;
  entry.values = std::move(values);
  return entry;
}

TiffEntry* TiffFile::Find(std::uint16_t tag) {
  for (TiffEntry& entry : entries) {
    if (entry.tag == tag) return &entry;
  }
  return nullptr;
}

TiffEntry& TiffFile::Set(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
  TiffEntry* entry = Find(tag);
  if (entry == nullptr) {
    entries.push_back(TiffEntry{});
    entry = &entries.back();
  }
  *entry = Entry(tag, type, std::move(values));
  return *entry;
}

void TiffFile::Remove(std::uint16_t tag) {
  std::vector<TiffEntry> kept;
  for (TiffEntry& entry : entries) {
    if (entry.tag != tag) kept.push_back(std::move(entry));
  }
  entries = std::move(kept);
}

std::string PackRow(const std::vector<std::uint16_t>& samples, int bits, bool little_endian) {
  std::string bytes;
  if (bits == 16) {
    for (std::uint16_t sample : samples) {
      const char high = static_cast<char>(sample >> 8);
      const char low = static_cast<char>(sample & 0xFF);
      bytes += little_endian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
  }
  std::uint32_t pending = 0;  // bits not yet written, at the low end
  int pending_bits = 0;
  for (std::uint16_t sample : samples) {
    pending = (pending << bits) | sample;
    pending_bits += bits;
    while (pending_bits >= 8) {
      pending_bits -= 8;
      bytes.push_back(static_cast<char>((pending >> pending_bits) & 0xFF));
    }
  }
  if (pending_bits > 0) bytes.push_back(static_cast<char>((pending << (8 - pending_bits)) & 0xFF));
  return bytes;
}

std::string ReverseBitsOfBytes(std::string bytes) {
  for (char& c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    unsigned reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((byte >> bit) & 1u) << (7 - bit);
    c = static_cast<char>(reversed);
  }
  return bytes;
}

std::string PackLzwCodes(const std::vector<std::pair<int, int>>& codes) {
  std::string bytes;
  std::uint32_t pending = 0;
  int pending_bits = 0;
  for (const auto& [code, width] : codes) {
    if (width < 1 || width > 16 || code < 0 || code >> width != 0)
      throw std::invalid_argument("LZW code does not fit its width");
    pending = (pending << width) | static_cast<std::uint32_t>(code);
    pending_bits += width;
    while (pending_bits >= 8) {
      pending_bits -= 8;
      bytes.push_back(static_cast<char>((pending >> pending_bits) & 0xFF));
    }
  }
  if (pending_bits > 0) bytes.push_back(static_cast<char>((pending << (8 - pending_bits)) & 0xFF));
  return bytes;
}

TiffFile ImageFile(const TiffImage& image) {
  CheckImage(image);
  const std::uint32_t rows_per_strip =
      image.rows_per_strip == 0 ? image.height : image.rows_per_strip;

  TiffFile tiff;
  tiff.little_endian = image.little_endian;
  std::string strip;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    std::vector<std::uint16_t> row(image.pixels.begin() + std::ptrdiff_t{y} * image.width,
                                   image.pixels.begin() + std::ptrdiff_t{y + 1} * image.width);
    if (image.predictor && image.bits > 0) {
      const std::uint32_t mask = (1u << image.bits) - 1u;
      for (std::size_t x = row.size(); x-- > 1;)
        row[x] = static_cast<std::uint16_t>((row[x] - row[x - 1]) & mask);
    }
    strip += PackRow(row, image.bits, image.little_endian);
    if ((y + 1) % rows_per_strip == 0 || y + 1 == image.height) {
      tiff.strips.push_back(image.fill_order == 2 ? ReverseBitsOfBytes(strip) : strip);
      strip.clear();
    }
  }

  const auto fill = [&tiff](std::uint16_t tag, Fill source) {
    TiffEntry& entry = tiff.Set(tag, kLong, {});
    entry.fill = source;
  };
  tiff.Set(kImageWidth, kLong, {image.width});
  tiff.Set(kImageLength, kLong, {image.height});
  tiff.Set(kBitsPerSample, kShort, {static_cast<std::uint32_t>(image.bits)});
  tiff.Set(kCompression, kShort, {kNoCompression});
  tiff.Set(kPhotometricInterpretation, kShort, {1});
  tiff.Set(kFillOrder, kShort, {static_cast<std::uint32_t>(image.fill_order)});
  fill(kStripOffsets, Fill::kStripPositions);
  tiff.Set(kSamplesPerPixel, kShort, {1});
  tiff.Set(kRowsPerStrip, kLong, {rows_per_strip});
  fill(kStripByteCounts, Fill::kStripSizes);
  tiff.Set(kPlanarConfiguration, kShort, {1});
  tiff.Set(kPredictor, kShort, {image.predictor ? 2u : 1u});
  return tiff;
}

std::string MakeTiff(const TiffFile& tiff) {
  ByteWriter out(tiff.little_endian);
  out.Raw(tiff.little_endian ? "II" : "MM");
  out.U16(42);
  out.U32(0);  // IFD offset, patched below

  std::vector<std::uint32_t> strip_offsets;
  for (const std::string& strip : tiff.strips) {
    strip_offsets.push_back(out.Offset());
    out.Raw(strip);
  }

  // Value fields of the entries: the values themselves or where they lie.
  std::vector<std::string> fields;
  for (const TiffEntry& entry : tiff.entries) {
    const std::vector<std::uint32_t> values = ValuesOf(entry, strip_offsets, tiff.strips);
    const std::uint64_t count = entry.count.value_or(static_cast<std::uint32_t>(values.size()));
    const std::size_t size = TypeSize(entry.type);
    ByteWriter field(tiff.little_endian);
    if (entry.value_field) {
      field.U32(*entry.value_field);
    } else if (count * size <= 4) {
      for (std::uint32_t value : values) field.Value(value, size);
      field.bytes().resize(4, '\0');
    } else {
      out.AlignEven();
      field.U32(out.Offset());
      for (std::uint32_t value : values) out.Value(value, size);
    }
    fields.push_back(field.bytes().substr(0, 4));
  }

  out.AlignEven();
  out.PatchU32(4, out.Offset());
  out.U16(static_cast<std::uint32_t>(tiff.entries.size()));
  for (std::size_t i = 0; i < tiff.entries.size(); ++i) {
    const TiffEntry& entry = tiff.entries[i];
    out.U16(entry.tag);
    out.U16(entry.type);
    out.U32(entry.count.value_or(
        static_cast<std::uint32_t>(ValuesOf(entry, strip_offsets, tiff.strips).size())));
    out.Raw(fields[i]);
  }
  out.U32(0);  // no next IFD
  return out.bytes();
}

std::string MakeTiff(const TiffImage& image) { return MakeTiff(ImageFile(image)); }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

void WriteTiff(const std::string& path, const TiffFile& tiff) { WriteFile(path, MakeTiff(tiff)); }

void WriteSimpleTiff(const std::string& path, std::uint32_t width, std::uint32_t height,
                     std::vector<std::uint16_t> pixels, int bits, bool little_endian) {
  TiffImage image;
  image.width = width;
  image.height = height;
  image.bits = bits;
  image.pixels = std::move(pixels);
  image.little_endian = little_endian;
  WriteFile(path, MakeTiff(image));
}

}  // namespace tiff_writer
