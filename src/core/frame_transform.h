// The tipping rotation and the move between the working frame and the input frame.
// Tipping by (alpha, beta) rotates about x by alpha, then about y by beta; the inverse
// rotates about y by -beta, then about x by -alpha. The working frame is the input frame
// tipped into the drawing attitude and then lowered by the levelling offset, so the way
// into the input frame adds the offset to z and then undoes the tipping, and the way
// back tips, then subtracts the offset. Angles in radians, lengths in mm.
#pragma once
#include <cmath>
#include <cstddef>
#include <span>

namespace trevo {

inline void rotate_about_x(double angle, double& y, double& z) {
  const double c = std::cos(angle), s = std::sin(angle);
  const double y1 = c * y - s * z, z1 = s * y + c * z;
  y = y1;
  z = z1;
}

inline void rotate_about_y(double angle, double& x, double& z) {
  const double c = std::cos(angle), s = std::sin(angle);
  const double x1 = c * x + s * z, z1 = -s * x + c * z;
  x = x1;
  z = z1;
}

inline void tip(std::span<double> x, std::span<double> y, std::span<double> z, double alpha, double beta) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    rotate_about_x(alpha, y[i], z[i]);
    rotate_about_y(beta, x[i], z[i]);
  }
}

inline void untip(std::span<double> x, std::span<double> y, std::span<double> z, double alpha, double beta) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    rotate_about_y(-beta, x[i], z[i]);
    rotate_about_x(-alpha, y[i], z[i]);
  }
}

struct FrameTransform {
  double alpha = 0.0, beta = 0.0, lowest_z = 0.0;
};

inline void to_input_frame(std::span<double> x, std::span<double> y, std::span<double> z, const FrameTransform& t) {
  for (double& zi : z) zi += t.lowest_z;
  untip(x, y, z, t.alpha, t.beta);
}

inline void to_working_frame(std::span<double> x, std::span<double> y, std::span<double> z, const FrameTransform& t) {
  tip(x, y, z, t.alpha, t.beta);
  for (double& zi : z) zi -= t.lowest_z;
}

}  // namespace trevo
