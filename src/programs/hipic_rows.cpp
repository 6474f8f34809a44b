#include "hipic_rows.h"

#include <cstdio>

void HiPicRowReader::WarnDarkAboveSample(const char* image_name, int pixel, double i0,
                                         int sample, int dark, int layer) const {
  std::printf("Warning \t");
  std::printf("jx=%d, I0=%f, I=%d, dark=%d, ln=%d\t", pixel, i0, sample, dark, layer);
  std::printf("at %s\n", image_name);
}

int HiPicRowReader::ReadRow(const char* name, DetectorCount* row, std::int32_t layer,
                            int expected_width, std::int16_t& row_len) {
  const int r = ReadHiPicRow(name, row, header_, layer, kRowCapacity, &row_len);
  if (r == 0 && expected_width >= 0 && row_len != expected_width) {
    std::fprintf(stderr, " Image width %d differs from the dark row's %d\n", row_len,
                 expected_width);
    std::fprintf(stderr, "File name = %s\n", name);
    return kHiPicWidthMismatch;
  }
  return r;
}
