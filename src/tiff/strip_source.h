// The byte sources behind the TIFF row reader: the open file with the byte
// budget of the current strip, and the three strip sources (uncompressed,
// LZW, PackBits) that turn a strip's stored bytes into its image bytes.
//
// The sources work on any StripStream, not only on the one the reader opened,
// so tests and fuzzers can drive a source on a stream of their own: open a
// std::FILE* in byte mode, call StartStrip with an offset and a byte count,
// then NextStripByte as often as needed and EndStrip once.  Every fault
// throws TiffFault with the stream's file name.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tiff_reader.h"

// The file the reader and its strip sources take their bytes from.
struct StripStream {
  std::FILE* stream = nullptr;     // opened for reading in byte mode
  std::string file_name;           // only for fault messages
  std::uint32_t strip_budget = 0;  // bytes of the current strip not yet taken from the file
};

// Throws TiffFault{file.file_name, message}; never returns.
[[noreturn]] void TiffFail(const StripStream& file, const char* message);

// The next byte of the file, 0 to 255.  The end of the file (or a read
// error) is the fault "unexpected end of file.", never a value.
int ReadFileByte(StripStream& file);

// Positions the stream `offset` bytes from the start of the file.  A position
// beyond the end is accepted; the next read reports it.
void SeekFile(StripStream& file, std::uint64_t offset);

// One way of decoding strips, chosen by the Compression tag.
struct StripSource {
  // Seeks to the strip's first stored byte, sets strip_budget to the strip's
  // byte count and resets the decoder.
  void (*StartStrip)(StripStream& file, std::uint32_t offset, std::uint32_t byte_count);
  // The next image byte of the strip, 0 to 255; never takes more than
  // strip_budget bytes from the file.
  int (*NextStripByte)(StripStream& file);
  // After a strip's last row: checks that the strip held exactly its rows.
  void (*EndStrip)(StripStream& file);
};

extern const StripSource kRawStripSource;       // Compression 1
extern const StripSource kLzwStripSource;       // Compression 5
extern const StripSource kPackBitsStripSource;  // Compression 32773
