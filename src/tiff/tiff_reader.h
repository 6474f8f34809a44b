// Row reader for single-channel, strip-organised TIFF images.
#pragma once

#include <cstdint>
#include <string>

// A fault in a TIFF file.  The reader prints nothing; whoever ends the run
// prints "<file name> : <message>" and exits with status 1.
struct TiffFault {
  std::string file_name;
  std::string message;  // e.g. "bad magic number."
};

// Reads the attributes of `name` and, when `row_out` is not null, row `line`
// (counted from 0) as 16-bit samples in a buffer allocated with new[] that
// the caller owns and releases with delete[].  Null output pointers are
// skipped.  Returns the status of closing the file (0 on success); every
// fault throws TiffFault.
int ReadTiffLine(const char* name, int* width_out, int* height_out,
                 int* bits_out, std::uint16_t** row_out, int line);
