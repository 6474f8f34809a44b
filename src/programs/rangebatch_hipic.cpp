// Layer-range batch script whose groups start halfscan_hipic.
#include <cstdio>

#include "batch.h"

int main(int argc, char** argv) { return RunRangeBatch(argc, argv, "halfscan_hipic", stdout, stderr); }
