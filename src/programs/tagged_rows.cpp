#include "tagged_rows.h"

#include <algorithm>
#include <cstdio>

#include "tiff_reader.h"

void TiffRowReader::WarnDarkAboveSample(const char* image_name, int, double, int, int,
                                        int) const {
  std::printf("Warning \t");
  std::printf("  %s\tareare\n", image_name);
}

int TiffRowReader::ReadRow(const char* name, DetectorCount* row, std::int32_t layer,
                           int expected_width, std::int16_t& row_len) {
  try {
    int width = 0, height = 0;
    ReadTiffLine(name, &width, &height, nullptr, nullptr, 0);
    if (width > kRowCapacity) throw TiffFault{name, "image wider than 8001 pixels."};
    if (expected_width >= 0 && width != expected_width)
      throw TiffFault{name, "image width differs from the dark image."};
    std::uint16_t* data = nullptr;
    ReadTiffLine(name, nullptr, nullptr, nullptr, &data, layer);
    std::copy(data, data + width, row);
    delete[] data;
    row_len = static_cast<std::int16_t>(width);
    return 0;
  } catch (const TiffFault& fault) {
    std::fprintf(stderr, "%s : %s\n", fault.file_name.c_str(), fault.message.c_str());
    throw RunExit{1};
  }
}
