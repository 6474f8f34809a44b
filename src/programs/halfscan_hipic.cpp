// halfscan_hipic layer offset: the sinogram of one layer from HiPic images.
#include <cstdio>

#include "driver.h"
#include "hipic_reader.h"

namespace {

constexpr int kHiPicWidthMismatch = -16;

class HiPicRowReader : public RowReader {
 public:
  const char* DarkName() const override { return "dark.img"; }
  const char* Extension() const override { return ".img"; }
  bool SignedCounts() const override { return false; }

  void WarnDarkAboveSample(const char* image_name, int pixel, double i0, int sample, int dark,
                           int layer) const override {
    std::printf("Warning \t");
    std::printf("jx=%d, I0=%f, I=%d, dark=%d, ln=%d\t", pixel, i0, sample, dark, layer);
    std::printf("at %s\n", image_name);
  }

  int ReadRow(const char* name, DetectorCount* row, std::int32_t layer, int expected_width,
              std::int16_t& row_len) override {
    const int r = ReadHiPicRow(name, row, header_, layer, kRowCapacity, &row_len);
    if (r == 0 && expected_width >= 0 && row_len != expected_width) {
      std::fprintf(stderr, " Image width %d differs from the dark row's %d\n", row_len,
                   expected_width);
      std::fprintf(stderr, "File name = %s\n", name);
      return kHiPicWidthMismatch;
    }
    return r;
  }

 private:
  HiPic_Header header_{};  // scratch record handed to every read
};

RunState state;

}  // namespace

int main(int argc, char** argv) {
  HiPicRowReader reader;
  return RunBuilder(argc, argv, reader, state);
}
