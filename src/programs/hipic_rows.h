// The HiPic image reader seen through the builders' RowReader interface.
// Shared by every program that reads a scan folder of HiPic images.
#pragma once

#include "hipic_reader.h"
#include "row_reader.h"

// ReadRow's code for an image whose row is not as wide as the dark row.
constexpr int kHiPicWidthMismatch = -16;

class HiPicRowReader : public RowReader {
 public:
  const char* DarkName() const override { return "dark.img"; }
  const char* Extension() const override { return ".img"; }
  bool SignedCounts() const override { return false; }
  void WarnDarkAboveSample(const char* image_name, int pixel, double i0, int sample, int dark,
                           int layer) const override;
  int ReadRow(const char* name, DetectorCount* row, std::int32_t layer, int expected_width,
              std::int16_t& row_len) override;

 private:
  HiPic_Header header_{};  // scratch record handed to every read
};
