// Batch-script generators.  Each prints a command-interpreter script that the
// user redirects into a file; nothing is run here.  The programs differ only
// in the sinogram builder their scripts start (and, for the sweep, in the
// precision of the offset count), so each entry passes that in.
#pragma once

#include <cstdio>

// Layer-range script: for every layer from `from` to `to` it runs `builder`
// with an offset interpolated between the two given layers, then rowfilter,
// slicebuild and sliceexport.  The script goes to `out`, the slope and
// intercept line and the usage text to `err`.  Returns the exit status:
// 0 after a script, 1 when `from` > `to`, -1 after the usage text.
int RunRangeBatch(int argc, const char* const* argv, const char* builder,
                  std::FILE* out, std::FILE* err);

// How the sweep forms (from - to) / step: sweepbatch_tagged divides in single
// precision, sweepbatch_hipic in double precision.  Existing scripts depend on
// each program's own rule, and the two disagree on the truncated count when
// the values are beyond 2^24.
enum class CountPrecision { kSingle, kDouble };

// Axis-offset sweep script: builds one layer with `builder` for the offsets
// from, from + step, ... and renames each sheetexport image after its offset.
// Everything, the usage text included, goes to `out`.  Returns the exit
// status: 0 after a script (possibly empty), -1 after the usage text.
int RunSweepBatch(int argc, const char* const* argv, const char* builder,
                  CountPrecision precision, std::FILE* out);
