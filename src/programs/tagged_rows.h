// The TIFF image reader seen through the builders' RowReader interface.
// Shared by every program that reads a scan folder of TIFF images.
#pragma once

#include "row_reader.h"

class TiffRowReader : public RowReader {
 public:
  const char* DarkName() const override { return "dark.tif"; }
  const char* Extension() const override { return ".tif"; }
  bool SignedCounts() const override { return true; }
  void WarnDarkAboveSample(const char* image_name, int pixel, double i0, int sample, int dark,
                           int layer) const override;
  // Every fault in a TIFF file ends the run with "<file> : <message>".
  int ReadRow(const char* name, DetectorCount* row, std::int32_t layer, int expected_width,
              std::int16_t& row_len) override;
};
