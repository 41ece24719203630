// Spec: Overview (Conventions, edit descriptors).
#include "fortran/edit.h"

namespace trevo::fortran {

std::string edit_i(int64_t value, int w) { return edit_i(value, w, 1); }

std::string edit_i(int64_t value, int w, int m) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < m) digits.insert(0, static_cast<size_t>(m) - digits.size(), '0');
  if (m == 0 && value == 0) digits.clear();  // I w.0 prints a zero as blanks
  if (value < 0) digits.insert(0, 1, '-');
  if (static_cast<int>(digits.size()) > w) return std::string(static_cast<size_t>(w), '*');
  return std::string(static_cast<size_t>(w) - digits.size(), ' ') + digits;
}

}  // namespace trevo::fortran
