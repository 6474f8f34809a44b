// The record of one sinogram-builder run, and the scan table read from
// "output.log".  One instance per process holds the run; it is passed
// explicitly so that the pieces can be exercised on their own.
#pragma once

#include <cstdint>
#include <string>

// Capacity of every per-pixel buffer of a builder (dark, reference and
// sample rows, interpolation coefficients).
constexpr int kRowCapacity = 8001;

// Slots of the scan table: slot 0 plus log lines 1 to 9898, the most a run
// that passes the frame-count check can use (total = last frame + 2 <= 9900).
constexpr int kScanTableCapacity = 9899;

using DetectorCount = std::uint16_t;

struct ScanTable {
  float coord[kScanTableCapacity] = {};   // slot n: coord of line n; 0 elsewhere
  float angle[kScanTableCapacity] = {};   // slot n: angle of line n; 0 elsewhere
  std::int32_t i0_frames[kScanTableCapacity] = {};  // reference frame numbers, file order
  std::int32_t NI0 = 0;                   // number of reference frames
  std::int32_t nsample = 0;               // number of sample lines
  std::int16_t total = 0;                 // last frame number + 2, kept in 16 bits
  std::int32_t four_digit_names = 0;      // 1: "%04d" image names, 0: "%03d"
  std::int32_t nshot = 0;                 // nsample / 2: rows of the sinogram
  bool overfull = false;                  // the log had more lines than slots

  // coord of frame number f; frame numbers outside the table read as 0, like
  // every slot that no line filled.
  float CoordOf(std::int32_t f) const {
    return (f >= 0 && f < kScanTableCapacity) ? coord[f] : 0.0f;
  }
};

struct RunState {
  std::int32_t layer = 0;         // detector row to extract
  float offset = 0;               // rotation-axis offset in pixels
  std::int16_t sino_width = 0;    // 1 + offset + offset, truncated
  std::int32_t offset_px = 0;     // offset truncated toward zero
  ScanTable table;
  DetectorCount dark[kRowCapacity] = {};
  const char* image_prefix = "q";
  std::int16_t row_len = 0;       // length of the most recently read row
  double ta_sum = 0, ta_sq_sum = 0;
  double ta_mean = 0, ta_sd = 0;
  std::string sino_name;
};

// A fault that ends the run.  Its messages have been printed already; the
// program entry only turns it into the exit status.
struct RunExit {
  int status;
};
