#include "scan_model.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace simscan {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeamLevel = 27000.0;  // counts above the dark at the brightest spot
constexpr double kReadNoise = 2.0;      // standard deviation of a dark pixel, in counts

// Time taken by one exposure, and by moving the sample out of the beam or
// back in for a reference frame.
constexpr double kFrameTime = 0.25;
constexpr double kMoveTime = 1.5;

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// A small generator of our own, so that a seed gives the same images with
// every compiler and library.
class Noise {
 public:
  Noise(std::uint64_t seed, int frame, int row) : state_(seed) {
    SplitMix(state_);
    state_ ^= static_cast<std::uint64_t>(frame) * 0xD1B54A32D192ED03ull;
    SplitMix(state_);
    state_ ^= static_cast<std::uint64_t>(row) * 0x8CB92BA72F3D8DD7ull;
  }

  // Standard normal deviate (polar method; every other call uses the spare).
  double Gauss() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    double u, v, q;
    do {
      u = 2.0 * Uniform() - 1.0;
      v = 2.0 * Uniform() - 1.0;
      q = u * u + v * v;
    } while (q >= 1.0 || q == 0.0);
    const double f = std::sqrt(-2.0 * std::log(q) / q);
    spare_ = v * f;
    has_spare_ = true;
    return u * f;
  }

 private:
  double Uniform() { return static_cast<double>(SplitMix(state_) >> 11) * 0x1.0p-53; }

  std::uint64_t state_;
  double spare_ = 0;
  bool has_spare_ = false;
};

std::uint16_t ToCount(double v) {
  const double r = std::floor(v + 0.5);
  if (!(r > 0)) return 0;
  if (r >= kMaxCount) return kMaxCount;
  return static_cast<std::uint16_t>(r);
}

}  // namespace

const std::vector<Ellipse>& PhantomEllipses() {
  // The body stays clear of pixel 0 (radius 0.91 R), so the outermost pixels
  // see the open beam, as in a real scan; the void lies inside the body.
  static const std::vector<Ellipse> ellipses = {
      // cx     cy     a     b     phi   mu    zc    rz
      {0.08, -0.04, 0.82, 0.62, 18.0, 1.0, 0.0, 0.0},    // body
      {0.38, 0.12, 0.16, 0.11, -30.0, -1.0, 0.5, 0.7},   // void in the body
      {-0.32, 0.18, 0.14, 0.14, 0.0, 2.5, 0.5, 0.8},     // dense rod
      {0.15, -0.42, 0.07, 0.05, 50.0, 5.0, 0.35, 0.3},   // small dense grain, lower rows
      {-0.10, -0.10, 0.05, 0.05, 0.0, 3.0, 0.7, 0.35},   // grain in the upper rows
  };
  return ellipses;
}

long long FrameCount(long long views, long long interval) {
  // A reference before the first view, after every `interval` views but the
  // last group, and after the last view.
  return views + (views - 1) / interval + 2;
}

std::vector<Frame> PlanFrames(int views, int interval) {
  if (views < 1 || interval < 1) throw std::invalid_argument("views and interval must be positive");
  std::vector<Frame> frames;
  frames.reserve(static_cast<std::size_t>(FrameCount(views, interval)));
  double t = 0;
  int references = 0;
  auto add = [&](bool reference, int view) {
    Frame f;
    f.number = static_cast<int>(frames.size()) + 1;
    f.reference = reference;
    if (reference) {
      if (!frames.empty()) t += kMoveTime;  // sample out of the beam
      f.reference_index = references++;
    } else {
      f.view = view;
    }
    f.coord = t;
    f.angle = 360.0 * view / views;
    t += kFrameTime;
    if (reference) t += kMoveTime;  // and back in
    frames.push_back(f);
  };
  add(true, 0);
  for (int j = 0; j < views; ++j) {
    if (j > 0 && j % interval == 0) add(true, j);
    add(false, j);
  }
  add(true, views);
  return frames;
}

ScanModel::ScanModel(int width, int height, double axis, int views, int interval)
    : width_(width), height_(height), axis_(axis), views_(views),
      frames_(PlanFrames(views, interval)) {
  if (width < 1 || height < 1 || !(axis > 0)) throw std::invalid_argument("bad scan geometry");

  for (const Frame& f : frames_) {
    if (!f.reference) continue;
    const double k = f.reference_index;
    knot_coord_.push_back(f.coord);
    // A slow decay with a wobble: consecutive references differ by up to a
    // few per cent, far more than the counts' rounding.
    knot_level_.push_back(1.0 + 0.025 * std::sin(2.1 * k + 0.3));
  }
  // ... on top of a decay by 5 per cent over the whole scan.
  const double last = static_cast<double>(knot_level_.size() - 1);
  for (std::size_t k = 0; k < knot_level_.size(); ++k) {
    knot_level_[k] -= 0.05 * static_cast<double>(k) / last;
  }

  profile_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int z = 0; z < height; ++z) {
    const double u = (z + 0.5) / height;
    for (int c = 0; c < width; ++c) {
      const double x = (c - 0.45 * width) / (0.5 * width);
      profile_[static_cast<std::size_t>(z) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(c)] =
          (0.82 + 0.18 * std::exp(-x * x)) * (0.97 + 0.03 * std::cos(kPi * (u - 0.5)));
    }
  }

  const double r = axis;
  sections_.resize(static_cast<std::size_t>(height));
  for (int z = 0; z < height; ++z) {
    const double u = (z + 0.5) / height;
    for (const Ellipse& e : PhantomEllipses()) {
      double scale = 1.0;
      if (e.rz > 0) {
        const double zeta = (u - e.zc) / e.rz;
        if (zeta * zeta >= 1.0) continue;
        scale = std::sqrt(1.0 - zeta * zeta);
      }
      sections_[static_cast<std::size_t>(z)].push_back(
          {e.cx * r, e.cy * r, e.a * r * scale, e.b * r * scale, e.phi_deg * kPi / 180.0,
           e.mu / r});
    }
  }
}

double ScanModel::ViewAngle(int view) const { return 2.0 * kPi * view / views_; }

double ScanModel::LineIntegral(int row, double theta, double s) const {
  double sum = 0;
  const double ct = std::cos(theta), st = std::sin(theta);
  for (const Section& e : sections_.at(static_cast<std::size_t>(row))) {
    const double cd = std::cos(theta - e.phi), sd = std::sin(theta - e.phi);
    const double h2 = e.a * e.a * cd * cd + e.b * e.b * sd * sd;
    const double d = s - (e.cx * ct + e.cy * st);
    const double q = h2 - d * d;
    if (q > 0) sum += e.mu * 2.0 * e.a * e.b * std::sqrt(q) / h2;
  }
  return sum;
}

void ScanModel::Absorption(int row, double theta, double* out) const {
  std::fill(out, out + width_, 0.0);
  const double ct = std::cos(theta), st = std::sin(theta);
  for (const Section& e : sections_[static_cast<std::size_t>(row)]) {
    const double cd = std::cos(theta - e.phi), sd = std::sin(theta - e.phi);
    const double h2 = e.a * e.a * cd * cd + e.b * e.b * sd * sd;
    const double h = std::sqrt(h2);
    const double centre = e.cx * ct + e.cy * st;
    const double f = e.mu * 2.0 * e.a * e.b / h2;
    // Only the pixels whose rays cross the ellipse.
    const double lo = std::max(0.0, std::ceil(centre - h + axis_));
    const double hi = std::min(width_ - 1.0, std::floor(centre + h + axis_));
    for (int c = static_cast<int>(lo); c <= static_cast<int>(hi); ++c) {
      const double d = (c - axis_) - centre;
      const double q = h2 - d * d;
      if (q > 0) out[c] += f * std::sqrt(q);
    }
  }
}

int ScanModel::Dark(int row, int col) const { return 96 + (7 * col + 13 * row) % 9 + (col / 64) % 3; }

double ScanModel::Drift(double coord) const {
  const auto hi = std::upper_bound(knot_coord_.begin(), knot_coord_.end(), coord);
  if (hi == knot_coord_.begin()) return knot_level_.front();
  if (hi == knot_coord_.end()) return knot_level_.back();
  const std::size_t k = static_cast<std::size_t>(hi - knot_coord_.begin());
  const double w = (coord - knot_coord_[k - 1]) / (knot_coord_[k] - knot_coord_[k - 1]);
  return knot_level_[k - 1] + w * (knot_level_[k] - knot_level_[k - 1]);
}

double ScanModel::Beam(int row, int col, double coord) const {
  return kBeamLevel *
         profile_[static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) +
                  static_cast<std::size_t>(col)] *
         Drift(coord);
}

void ScanModel::Row(const Frame* frame, int row, std::uint64_t seed, std::uint16_t* out) const {
  std::vector<double> signal(static_cast<std::size_t>(width_), 0.0);
  if (frame) {
    const double drift = kBeamLevel * Drift(frame->coord);
    const double* profile = &profile_[static_cast<std::size_t>(row) * static_cast<std::size_t>(width_)];
    if (frame->reference) {
      for (int c = 0; c < width_; ++c) signal[static_cast<std::size_t>(c)] = drift * profile[c];
    } else {
      Absorption(row, ViewAngle(frame->view), signal.data());
      for (int c = 0; c < width_; ++c) {
        double& v = signal[static_cast<std::size_t>(c)];
        v = drift * profile[c] * (v == 0.0 ? 1.0 : std::exp(-v));
      }
    }
  }
  if (seed == 0) {
    // Integral dark levels: rounding the sum rounds the signal alone.
    for (int c = 0; c < width_; ++c) out[c] = ToCount(Dark(row, c) + signal[static_cast<std::size_t>(c)]);
    return;
  }
  Noise noise(seed, frame ? frame->number : 0, row);
  for (int c = 0; c < width_; ++c) {
    const double x = signal[static_cast<std::size_t>(c)];
    out[c] = ToCount(Dark(row, c) + x + std::sqrt(x + kReadNoise * kReadNoise) * noise.Gauss());
  }
}

}  // namespace simscan
