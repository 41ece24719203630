// Elements held at a jump of the secant law (see law_jumps.h).
#include "solver/law_jumps.h"

#include <algorithm>
#include <cmath>

#include "solver/element.h"

namespace trevo {

void count_law_crossings(std::span<const double> epsbar, std::span<const double> material_table,
                         int32_t material_count, std::span<const int32_t> material, std::span<int32_t> branch,
                         std::span<int32_t> crossings) {
  for (std::size_t e = 0; e < epsbar.size(); ++e) {
    const MaterialRow row = material_row(material_table, material_count, material[e]);
    const int32_t now = secant_branch(epsbar[e], row.eps0, row.n);
    if (branch[e] != 0 && branch[e] != now) ++crossings[e];
    branch[e] = now;
  }
}

void law_forms(std::span<const int32_t> crossings, std::span<const int32_t> kept, std::span<int32_t> forms) {
  for (std::size_t e = 0; e < forms.size(); ++e) {
    forms[e] = held_at_law_jump(crossings[e]) ? kBlendedJumps : kept.empty() ? 0 : kept[e];
  }
}

void add_law_jump_stiffness(const ElementGeometry& g, double exx, double eyy, double exy, double epsbar,
                            const MaterialRow& row, double volume, ElementMatrix& ke) {
  const double jump_at = std::abs(epsbar - row.eps0) <= std::abs(epsbar - row.n) ? row.eps0 : row.n;
  const double jump = law_stress_jump(jump_at, row.eps0, row.K, row.n);
  const double cap = kJumpCap * secant_modulus(epsbar, row.eps0, row.K, row.n);
  const double kj = std::min(1.1 * jump / (std::abs(epsbar - jump_at) + 1.0e-50), cap);
  add_strain_measure_stiffness(g, equivalent_strain_gradient(exx, eyy, exy, row.r0, row.r45, row.r90),
                               volume * kj, ke);
}

}  // namespace trevo
