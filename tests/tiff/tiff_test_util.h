// Shared helpers of the TIFF reader tests: a scratch directory, calls of
// ReadTiffLine that hand back either the row or the fault, and in-memory
// streams for driving the strip sources on their own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "e2e.h"
#include "strip_source.h"
#include "tiff_reader.h"
#include "tiff_writer.h"

namespace tiff_test {

// A fresh directory, removed with its contents at the end, whose Write
// hands back the full path for the reader calls.
class ScratchDir : public e2e::WorkDir {
 public:
  std::string Write(const std::string& name, const std::string& bytes) const {
    e2e::WorkDir::Write(name, bytes);
    return PathOf(name);
  }
};

// What one ReadTiffLine call gave.
struct ReadResult {
  std::optional<TiffFault> fault;
  std::vector<std::uint16_t> row;  // empty for attribute calls and faults
  int width = -1;
  int height = -1;
  int bits = -1;
  int status = -1;

  // The fault message, or "" after success (for readable expectations).
  std::string Message() const { return fault ? fault->message : std::string(); }
};

// A row call (all outputs given) of `line`, or an attribute call.
ReadResult ReadLine(const std::string& path, int line);
ReadResult ReadAttributes(const std::string& path, int line = 0);

// Every row of the image; fails the test on any fault.
std::vector<std::vector<std::uint16_t>> ReadAllRows(const std::string& path);

// Asserts that the result is the fault `message` about `path`.
::testing::AssertionResult IsFault(const ReadResult& result, const std::string& path,
                                   const std::string& message);

// A temporary file holding `bytes`, positioned at its start, as a
// StripStream named "strip" for the strip sources.
class MemoryStream {
 public:
  explicit MemoryStream(const std::string& bytes);
  ~MemoryStream();
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  StripStream& stream() { return stream_; }

 private:
  StripStream stream_;
};

// Decodes `count` bytes of a strip holding `bytes` through `source`, then
// (when `end`) runs EndStrip; returns the bytes or throws TiffFault.
std::vector<int> DecodeStrip(const StripSource& source, const std::string& bytes, std::size_t count,
                             bool end = true);

// The fault message of DecodeStrip, or "" when it succeeds.
std::string DecodeFault(const StripSource& source, const std::string& bytes, std::size_t count,
                        bool end = true);

// Row-major pixels of a width x height image with values below 2^bits that
// vary in every row and column.
std::vector<std::uint16_t> TestPixels(std::uint32_t width, std::uint32_t height, int bits,
                                      std::uint32_t seed = 1);

// The rows of a pixel vector.
std::vector<std::vector<std::uint16_t>> RowsOf(const std::vector<std::uint16_t>& pixels,
                                               std::uint32_t width);

}  // namespace tiff_test
