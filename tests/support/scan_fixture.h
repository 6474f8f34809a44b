// Synthetic offset scans for the builder tests: the log, HiPic images, and an
// independent model of the sinogram the builders must write.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fixture {

// Bytes of a HiPic image: 64-byte header ("IM", comment length, width), the
// comment, then `rows` rows of `width` little-endian counts from count(row,
// col).  `comment_length` and `width_field` override the header fields.
std::string HiPicImage(int width, int rows, const std::function<std::uint16_t(int, int)>& count,
                       const std::string& comment = "");
// The same, with raw header fields (for damaged files).
std::string HiPicRaw(std::int16_t comment_length, std::int16_t width, const std::string& comment,
                     const std::vector<std::uint16_t>& pixels);

// Writes a HiPic image with only row `row` present and a hole before it, so
// that tall images cost no disk space.
void WriteSparseHiPic(const std::string& path, int width, int row,
                      const std::function<std::uint16_t(int)>& count);

struct LogLine {
  int frame;
  float coord;
  float angle;
  int flag;  // 0: reference frame
};
// "output.log" text, one "%d %f %f %d\n" line per entry.
std::string LogText(const std::vector<LogLine>& lines);

// A scan of frames 1 to `last_frame`; `references` get flag 0.  coord is the
// frame number and the angle runs evenly from 0 to 360 degrees.
struct Scan {
  int width = 12;
  int height = 3;
  int last_frame = 0;
  std::vector<int> references;
  // Counts of frame f (1..last_frame) at (row, col); frame 0 is the dark frame.
  std::function<std::uint16_t(int frame, int row, int col)> count;

  std::vector<LogLine> Log() const;
  bool IsReference(int frame) const;
};

// A plausible scan: dark about 100, references drifting with the frame
// number, samples absorbed by a smooth profile that turns with the frame.
Scan SmoothScan(int width, int height, int last_frame, int reference_every);

// Image name as the builders form it ("q%03d.img" or "q%04d.img").
std::string ImageName(const Scan& scan, int frame, const std::string& extension);

// Writes output.log, the dark image and every frame as HiPic images into
// `dir`.
void WriteHiPicScan(const std::string& dir, const Scan& scan);

// What a builder must produce for `layer` and `offset`, worked out directly
// from the scan's counts.
struct Expected {
  int sino_width = 0;
  int nshot = 0;
  std::vector<double> sinogram;  // nshot rows of sino_width values
  double ta_mean = 0, ta_sd = 0;
  // The first offending pixel of every frame with a count at or below the dark.
  struct Warning {
    int frame, pixel;
    double i0;
    int sample, dark;
  };
  std::vector<Warning> warnings;
};
Expected Model(const Scan& scan, int layer, float offset, bool signed_counts);

// Little-endian doubles of a sinogram file.
std::vector<double> DecodeSinogram(const std::string& bytes);

// Standard error with the elapsed seconds of the timing line replaced by "T".
std::string MaskTime(const std::string& err);

}  // namespace fixture
