// The simulated scan's physics on its own: the closed-form line integrals
// against a direct numerical integration of the phantom's density, and the
// properties of the beam that make an exact sinogram possible.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scan_model.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Density of the phantom at (x, y) in row z, from the ellipse list alone.
double Density(const std::vector<simscan::Ellipse>& ellipses, double r, int z, int height,
               double x, double y) {
  const double u = (z + 0.5) / height;
  double mu = 0;
  for (const simscan::Ellipse& e : ellipses) {
    double k = 1;
    if (e.rz > 0) {
      const double zeta = (u - e.zc) / e.rz;
      if (std::fabs(zeta) >= 1) continue;
      k = std::sqrt(1 - zeta * zeta);
    }
    const double phi = e.phi_deg * kPi / 180;
    const double dx = x - e.cx * r, dy = y - e.cy * r;
    const double along = dx * std::cos(phi) + dy * std::sin(phi);
    const double across = -dx * std::sin(phi) + dy * std::cos(phi);
    const double ea = e.a * r * k, eb = e.b * r * k;
    if ((along / ea) * (along / ea) + (across / eb) * (across / eb) < 1) mu += e.mu / r;
  }
  return mu;
}

// Midpoint rule along the ray {p : p . (cos t, sin t) = s}.
double NumericIntegral(double r, int z, int height, double theta, double s) {
  const auto& ellipses = simscan::PhantomEllipses();
  const int steps = 200000;
  const double half = 1.5 * r, h = 2 * half / steps;
  const double ux = std::cos(theta), uy = std::sin(theta);
  double sum = 0;
  for (int i = 0; i < steps; ++i) {
    const double tau = -half + (i + 0.5) * h;
    sum += Density(ellipses, r, z, height, s * ux - tau * uy, s * uy + tau * ux);
  }
  return sum * h;
}

struct Ray {
  int row;
  double theta_deg, s;  // s in units of the axis distance R
};
void PrintTo(const Ray& r, std::ostream* os) {
  *os << "row " << r.row << ", " << r.theta_deg << " degrees, s " << r.s << " R";
}

class LineIntegrals : public testing::TestWithParam<Ray> {};

TEST_P(LineIntegrals, MatchNumericalIntegration) {
  const Ray& ray = GetParam();
  const double axis = 120;
  const int height = 10;
  const simscan::ScanModel m(160, height, axis, 4, 2);
  const double theta = ray.theta_deg * kPi / 180, s = ray.s * axis;
  // Each crossing of an edge costs the midpoint rule at most one step of
  // density: 1.8e-3 pixels times at most 6 / R.
  EXPECT_NEAR(m.LineIntegral(ray.row, theta, s), NumericIntegral(axis, ray.row, height, theta, s),
              2e-4);
}

// Rays through the body alone, through every inclusion, near tangents, in
// rows that cut the ellipsoids differently, and outside the phantom.
INSTANTIATE_TEST_SUITE_P(
    Phantom, LineIntegrals,
    testing::Values(Ray{5, 0, 0.0}, Ray{5, 0, 0.35}, Ray{5, 37, -0.3}, Ray{5, 90, 0.12},
                    Ray{5, 123, -0.6}, Ray{5, 200, 0.4}, Ray{5, 300, -0.05}, Ray{2, 15, 0.15},
                    Ray{2, 250, -0.42}, Ray{8, 70, -0.1}, Ray{0, 10, 0.5}, Ray{9, 180, 0.89},
                    Ray{5, 45, 0.95}, Ray{5, 330, -0.97}));

TEST(LineIntegrals, RayHalfATurnLaterIsTheMirroredRay) {
  const simscan::ScanModel m(200, 6, 150.5, 4, 2);
  for (int row = 0; row < 6; ++row) {
    for (double deg = 0; deg < 360; deg += 17) {
      const double t = deg * kPi / 180;
      for (double s = -140; s <= 140; s += 7.25) {
        EXPECT_NEAR(m.LineIntegral(row, t + kPi, s), m.LineIntegral(row, t, -s), 1e-9);
      }
    }
  }
}

// The builders interpolate the reference linearly in the log's time stamp,
// so the beam must be linear there between two references for an exact
// result; and it must drift, or the interpolation would not be tested.
TEST(Beam, LinearBetweenReferencesAndDrifting) {
  const simscan::ScanModel m(64, 3, 50, 60, 9);
  const auto& frames = m.frames();
  std::vector<const simscan::Frame*> refs;
  for (const auto& f : frames)
    if (f.reference) refs.push_back(&f);
  ASSERT_GE(refs.size(), 3u);

  double largest_step = 0;
  for (std::size_t k = 0; k + 1 < refs.size(); ++k) {
    const double xa = refs[k]->coord, xb = refs[k + 1]->coord;
    for (int n = refs[k]->number + 1; n < refs[k + 1]->number; ++n) {
      const double x = frames[static_cast<std::size_t>(n - 1)].coord;
      for (int c : {0, 17, 63}) {
        const double a = m.Beam(1, c, xa), b = m.Beam(1, c, xb);
        EXPECT_NEAR(m.Beam(1, c, x), a + (x - xa) / (xb - xa) * (b - a), 1e-9);
      }
    }
    largest_step = std::max(largest_step, std::fabs(m.Beam(1, 10, xb) / m.Beam(1, 10, xa) - 1));
  }
  EXPECT_GT(largest_step, 0.01);
}

// Counts must stay readable as signed 16-bit values, and the beam bright
// enough for the physics tolerance.
TEST(Beam, CountsStayBelow32768) {
  const simscan::ScanModel m(300, 4, 250, 40, 5);
  for (int row = 0; row < 4; ++row) {
    for (int c = 0; c < 300; ++c) {
      for (const auto& f : m.frames()) {
        const double top = m.Dark(row, c) + m.Beam(row, c, f.coord);
        EXPECT_LT(top + 6 * std::sqrt(top), 32767.0);
        EXPECT_GT(m.Beam(row, c, f.coord), 15000.0);
      }
    }
  }
}

}  // namespace
