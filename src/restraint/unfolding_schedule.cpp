// RELAX schedules, exit tests and progress line of the membrane unfolding.
#include "restraint/unfolding_schedule.h"

#include <algorithm>

#include "fortran/edit.h"

namespace trevo {

double pre_unfolding_start_relaxation(double m) {
  if (m <= -0.7) return 0.1;
  if (m <= -0.5) return 0.15;
  if (m <= -0.3) return 0.2;
  if (m <= 0.1) return 0.25;
  return 0.3;
}

double pre_unfolding_relaxation(double adp, double previous_relax, double max_relax) {
  double relax = previous_relax;
  if (adp < 20.0) {
    relax = 0.4;
  } else if (adp < 60.0) {
    relax = 0.2;
  } else if (adp < 100.0) {
    relax = 0.15;
  }
  return std::min(relax, max_relax);
}

bool pre_unfolding_pass_ends(int k, double adp, double previous_adp, double tol) {
  return (adp < 100.0 * tol && k >= 48) || (adp < 20.0 * tol && k >= 30) || adp < tol ||
         (k >= 2 && adp > 2.5 * previous_adp) || k == 60;
}

bool binder_surface_ends(double adp, double previous_adp, double deps) {
  return adp > previous_adp || adp < 10.0 * deps;
}

std::string unfolding_progress_line(int k, double adp, double relax) {
  using fortran::edit_g;
  return " NN1=" + fortran::edit_i(k, 3) + "  DEPXY=" + edit_g(adp, 12, 4) + "  RELAX=" + edit_g(relax, 12, 4);
}

}  // namespace trevo
