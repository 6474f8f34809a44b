// The simulated offset scan: what the detector would record of an analytic
// phantom turning once around an axis near one edge of the detector.
//
// Geometry, in pixel units.  Pixel c of a detector row has its centre at c;
// the rotation axis projects to the point `axis` of the row.  Pixel c of the
// view at stage angle theta sees the ray (theta, s) with s = c - axis, the
// line {x : x . (cos theta, sin theta) = s} through the phantom.  The ray
// (theta + 180 degrees, s) is the ray (theta, -s), which is why the view
// half a turn later, mirrored, completes each view to a full projection.
//
// The phantom is a body with a few inclusions, every one an ellipse in the
// plane of a row; inclusions are ellipsoids along the rows, so their cross
// sections change from layer to layer, while the body is the same in every
// row.  Sizes and attenuations scale with the field-of-view radius R = axis
// (the distance from the axis to pixel 0), so the absorption values are the
// same for every detector size.
//
// Counts: integral dark levels near 100, a beam of about 27000 counts above
// the dark that varies smoothly across the detector and drifts from one
// reference frame to the next (linearly in the log's time stamp in between),
// and sample counts dark + beam * exp(-absorption), rounded.  Every count
// stays at or below 32767, so the images read the same as signed or
// unsigned 16-bit values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simscan {

// The largest count written; signed 16-bit readers see the same value.
constexpr int kMaxCount = 32767;
// The builders' frame numbers end at 9898 (their scan table's last slot).
constexpr int kMaxFrames = 9898;
// The builders' row buffers hold 8001 pixels.
constexpr int kMaxWidth = 8001;
// HiPic headers keep the sizes in 16 bits.
constexpr int kMaxHeight = 32767;

// One line of "output.log".
struct Frame {
  int number = 0;       // 1, 2, 3 ... in file order (the log's line number)
  double coord = 0;     // time stamp in seconds, a multiple of 0.25
  double angle = 0;     // stage angle in degrees
  bool reference = false;
  int view = -1;        // sample frames: 0 .. views - 1; references: -1
  int reference_index = -1;  // references: 0, 1, 2 ...; samples: -1
};

// The frames of a full turn: `views` sample frames at the angles
// 360 * j / views, a reference before the first, after every `interval`
// sample frames and after the last.  A reference frame keeps the stage angle
// of the sample frame that follows it (360 for the last one).  Time stamps
// grow by 0.25 s per frame and by 1.5 s more for each move of the sample out
// of the beam and back, so that they are not proportional to frame numbers.
std::vector<Frame> PlanFrames(int views, int interval);

// Number of frames PlanFrames writes.
long long FrameCount(long long views, long long interval);

// An inclusion or the body: an ellipse with centre (cx, cy), semi-axes a and
// b, turned by phi_deg, all in units of R; mu is the absorption per length R
// (negative for a void cut into the body).  An ellipsoid along the rows has
// its centre at the fraction zc of the image height and reaches the fraction
// rz above and below; rz 0 means the same ellipse in every row.
struct Ellipse {
  double cx, cy, a, b, phi_deg, mu, zc, rz;
};

// The built-in phantom.
const std::vector<Ellipse>& PhantomEllipses();

class ScanModel {
 public:
  ScanModel(int width, int height, double axis, int views, int interval);

  int width() const { return width_; }
  int height() const { return height_; }
  double axis() const { return axis_; }
  int views() const { return views_; }
  const std::vector<Frame>& frames() const { return frames_; }

  // Stage angle of sample view j, in radians.
  double ViewAngle(int view) const;

  // Exact line integral of the phantom's absorption (ln(I0 / I)) along the
  // ray (theta, s) in detector row `row`.
  double LineIntegral(int row, double theta, double s) const;

  // Integral dark level of a pixel.
  int Dark(int row, int col) const;
  // Expected beam counts above the dark at a pixel and time stamp, with no
  // sample in the way.  Linear in `coord` between two reference frames.
  double Beam(int row, int col, double coord) const;

  // Counts of one image row.  `frame` null: the dark frame.  seed 0: the
  // expected counts rounded to integers; any other seed adds Poisson-like
  // noise (variance equal to the counts above the dark, plus a little read
  // noise), the same for the same seed, frame and row in every run.
  void Row(const Frame* frame, int row, std::uint64_t seed, std::uint16_t* out) const;

 private:
  struct Section {  // an ellipse as cut by one row, in pixel units
    double cx, cy, a, b, phi, mu;
  };

  int width_, height_;
  double axis_;
  int views_;
  std::vector<Frame> frames_;
  std::vector<double> knot_coord_, knot_level_;  // beam drift, one knot per reference
  std::vector<double> profile_;                  // height * width beam shape
  std::vector<std::vector<Section>> sections_;   // per row

  double Drift(double coord) const;
  // Absorption seen by every pixel of `row` in the view at angle theta.
  void Absorption(int row, double theta, double* out) const;
};

}  // namespace simscan
