// halfscan_tagged layer offset: the sinogram of one layer from TIFF images.
#include "driver.h"
#include "tagged_rows.h"

namespace {
RunState state;
}  // namespace

int main(int argc, char** argv) {
  TiffRowReader reader;
  return RunBuilder(argc, argv, reader, state);
}
