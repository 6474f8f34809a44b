#include "tiff_test_util.h"

#include <stdexcept>

namespace tiff_test {

namespace {

ReadResult Read(const std::string& path, int line, bool want_row) {
  ReadResult result;
  std::uint16_t* row = nullptr;
  try {
    result.status = ReadTiffLine(path.c_str(), &result.width, &result.height, &result.bits,
                                 want_row ? &row : nullptr, line);
  } catch (const TiffFault& fault) {
    result.fault = fault;
    EXPECT_EQ(row, nullptr) << "a row handed out by a failed call";
    return result;
  }
  if (want_row) {
    result.row.assign(row, row + result.width);
    delete[] row;
  }
  return result;
}

}  // namespace

ReadResult ReadLine(const std::string& path, int line) { return Read(path, line, true); }
ReadResult ReadAttributes(const std::string& path, int line) { return Read(path, line, false); }

std::vector<std::vector<std::uint16_t>> ReadAllRows(const std::string& path) {
  std::vector<std::vector<std::uint16_t>> rows;
  const ReadResult attributes = ReadAttributes(path);
  EXPECT_EQ(attributes.Message(), "") << path;
  for (int y = 0; y < attributes.height; ++y) {
    ReadResult result = ReadLine(path, y);
    EXPECT_EQ(result.Message(), "") << path << " row " << y;
    rows.push_back(std::move(result.row));
  }
  return rows;
}

::testing::AssertionResult IsFault(const ReadResult& result, const std::string& path,
                                   const std::string& message) {
  if (!result.fault) return ::testing::AssertionFailure() << "no fault, expected \"" << message << "\"";
  if (result.fault->file_name != path || result.fault->message != message) {
    return ::testing::AssertionFailure()
           << "fault \"" << result.fault->file_name << " : " << result.fault->message
           << "\", expected \"" << path << " : " << message << "\"";
  }
  return ::testing::AssertionSuccess();
}

MemoryStream::MemoryStream(const std::string& bytes) {
  stream_.file_name = "strip";
  stream_.stream = std::tmpfile();
  if (stream_.stream == nullptr) throw std::runtime_error("tmpfile failed");
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_.stream) != bytes.size())
    throw std::runtime_error("tmpfile write failed");
  std::rewind(stream_.stream);
}

MemoryStream::~MemoryStream() { std::fclose(stream_.stream); }

std::vector<int> DecodeStrip(const StripSource& source, const std::string& bytes, std::size_t count,
                             bool end) {
  MemoryStream memory(bytes);
  StripStream& stream = memory.stream();
  source.StartStrip(stream, 0, static_cast<std::uint32_t>(bytes.size()));
  std::vector<int> decoded;
  for (std::size_t i = 0; i < count; ++i) decoded.push_back(source.NextStripByte(stream));
  if (end) source.EndStrip(stream);
  return decoded;
}

std::string DecodeFault(const StripSource& source, const std::string& bytes, std::size_t count,
                        bool end) {
  try {
    DecodeStrip(source, bytes, count, end);
  } catch (const TiffFault& fault) {
    EXPECT_EQ(fault.file_name, "strip");
    return fault.message;
  }
  return "";
}

std::vector<std::uint16_t> TestPixels(std::uint32_t width, std::uint32_t height, int bits,
                                      std::uint32_t seed) {
  std::vector<std::uint16_t> pixels;
  const std::uint32_t mask = bits == 0 ? 0u : (1u << bits) - 1u;
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      state = state * 1103515245u + 12345u;
      pixels.push_back(static_cast<std::uint16_t>((state >> 8) & mask));
    }
  }
  return pixels;
}

std::vector<std::vector<std::uint16_t>> RowsOf(const std::vector<std::uint16_t>& pixels,
                                               std::uint32_t width) {
  std::vector<std::vector<std::uint16_t>> rows;
  for (std::size_t at = 0; at + width <= pixels.size() && width > 0; at += width)
    rows.emplace_back(pixels.begin() + static_cast<std::ptrdiff_t>(at),
                      pixels.begin() + static_cast<std::ptrdiff_t>(at + width));
  return rows;
}

}  // namespace tiff_test
