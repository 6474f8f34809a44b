// Layer-range batch script whose groups start halfscan_tagged.
#include <cstdio>

#include "batch.h"

int main(int argc, char** argv) { return RunRangeBatch(argc, argv, "halfscan_tagged", stdout, stderr); }
