// Fortran edit descriptors and list-directed output, as gfortran writes them.
// Used for every formatted line: the progress line's G9.3, the exponent-form
// coordinates of the outline, dynain and blank-mesh files (E16.9) and the dynain
// stresses with one digit before the point (1PE). A value that does not fit its
// field prints w asterisks, as Fortran does. Every function returns exactly one
// field, w columns wide. Widths and decimals as Fortran allows them: w >= 1, d >= 0 for F and 1PE,
// d >= 1 for E and G (gfortran stops on E w.0), w >= 5 for G; other values give w
// asterisks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace trevo::fortran {

std::string edit_i(int64_t value, int w);          // Iw
std::string edit_i(int64_t value, int w, int m);   // Iw.m: at least m digits, zero-padded
std::string edit_f(double value, int w, int d);    // Fw.d
std::string edit_e(double value, int w, int d);    // Ew.d: 0.ddddE+ee (e.g. E16.9)
std::string edit_1pe(double value, int w, int d);  // 1PEw.d: d.dddE+ee (one digit before the point)
std::string edit_g(double value, int w, int d);    // Gw.d: fixed in w-4 columns + 4 blanks, or E form
inline std::string edit_x(int n) { return std::string(static_cast<size_t>(n), ' '); }  // nX

// One list-directed output record built item by item exactly as gfortran's
// WRITE(*,*) writes it (leading blank, gfortran's REAL(8) and INTEGER fields and
// its separators between character and numeric items). A record without items is
// empty, as WRITE(*,*) with no items writes an empty record.
class ListRecord {
 public:
  ListRecord& text(std::string_view s);
  ListRecord& real(double v);
  ListRecord& integer(int64_t v);
  const std::string& str() const { return record_; }

 private:
  void separate(bool is_text);  // leading blank or separator before an item
  std::string record_;
  bool last_was_text_ = false;
  bool empty_ = true;
};

}  // namespace trevo::fortran
