// Axis-offset sweep batch script for halfscan_tagged; counts the offsets in
// single precision.
#include <cstdio>

#include "batch.h"

int main(int argc, char** argv) {
  return RunSweepBatch(argc, argv, "halfscan_tagged", CountPrecision::kSingle, stdout);
}
