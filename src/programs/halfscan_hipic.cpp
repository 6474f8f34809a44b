// halfscan_hipic layer offset: the sinogram of one layer from HiPic images.
#include "driver.h"
#include "hipic_rows.h"

namespace {
RunState state;
}  // namespace

int main(int argc, char** argv) {
  HiPicRowReader reader;
  return RunBuilder(argc, argv, reader, state);
}
