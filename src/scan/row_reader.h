// How the shared builder code reaches the image files: each program entry
// hands in the reader of its image format.
#pragma once

#include <cstdint>
#include <cstdio>

#include "run_state.h"

class RowReader {
 public:
  virtual ~RowReader() = default;

  // "dark.tif" or "dark.img".
  virtual const char* DarkName() const = 0;
  // Extension of every projection image: ".tif" or ".img".
  virtual const char* Extension() const = 0;
  // true: counts are signed 16-bit values in the arithmetic; false: unsigned.
  virtual bool SignedCounts() const = 0;
  // Prints the once-per-frame warning for a pixel whose sample count does
  // not exceed the dark count.
  virtual void WarnDarkAboveSample(const char* image_name, int pixel, double i0,
                                   int sample, int dark, int layer) const = 0;

  // Reads row `layer` of `name` into `row`, which holds kRowCapacity counts,
  // and sets `row_len` to the row's length.  `expected_width` is the dark
  // row's length, or -1 while the dark row itself is read; a row of another
  // width is a failure.  Returns 0, or a non-zero failure code for readers
  // that leave the report to the caller; readers that end the run themselves
  // throw RunExit.
  virtual int ReadRow(const char* name, DetectorCount* row, std::int32_t layer,
                      int expected_width, std::int16_t& row_len) = 0;
};
