// Axis-offset sweep batch script for halfscan_hipic; counts the offsets in
// double precision.
#include <cstdio>

#include "batch.h"

int main(int argc, char** argv) {
  return RunSweepBatch(argc, argv, "halfscan_hipic", CountPrecision::kDouble, stdout);
}
