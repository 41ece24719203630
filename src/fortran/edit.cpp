// Fortran edit descriptors (Iw, Iw.m, Fw.d, Ew.d, 1PEw.d, Gw.d) and list-directed fields.
// Every real field rounds the exact binary value to nearest (ties to even), as
// gfortran does through the C library; std::to_chars with a precision rounds the
// same way, so its digits are the digits gfortran prints.
#include "fortran/edit.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace trevo::fortran {
namespace {

std::string stars(int w) { return std::string(static_cast<size_t>(w > 0 ? w : 0), '*'); }

// Right-aligns `s` in w columns, or w asterisks when it does not fit. The fields are built
// in one string each (result files hold millions of them).
std::string right_aligned(std::string_view s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  std::string field;
  field.reserve(static_cast<size_t>(w));
  field.append(static_cast<size_t>(w) - s.size(), ' ').append(s);
  return field;
}

// A field for NaN or infinity as libgfortran writes it: "NaN", "Infinity" when it
// fits, else "Inf"; a negative infinity needs one more column for its sign.
std::string inf_nan_field(double v, int w) {
  if (std::isnan(v)) return w < 3 ? stars(w) : right_aligned("NaN", w);
  const bool negative = std::signbit(v);
  if (w < 3 || (negative && w == 3)) return stars(w);
  std::string text = w > (negative ? 8 : 7) ? "Infinity" : "Inf";
  return right_aligned(negative ? "-" + text : text, w);
}

// |v| rounded to n >= 1 significant digits, appended to `out` (n characters); returns the
// decimal exponent x with |v| ~ d.ddd * 10^x. Zero gives zeros and x = 0.
int append_significant_digits(double v, int n, std::string& out) {
  // d.ddd…e-xxx needs n + 7 characters; the stack holds the usual few digits.
  char small[64];
  std::string large;
  const size_t need = static_cast<size_t>(n) + 16;
  if (need > sizeof small) large.resize(need);
  char* buf = need > sizeof small ? large.data() : small;
  auto res = std::to_chars(buf, buf + need, std::fabs(v), std::chars_format::scientific, n - 1);
  std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e = text.find('e');
  out += text[0];
  if (e > 2) out.append(text.substr(2, e - 2));  // the digits after the point
  int x = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), x);
  return x;
}

// Appends the exponent part of an E field: "E+dd" for |x| <= 99, else "+ddd" (no letter),
// or with `exponent_digits` set (list-directed Ee form) always "E+ddd".
void append_exponent(std::string& out, int x, int exponent_digits = 0) {
  const int mag = x < 0 ? -x : x;
  const char sign = x < 0 ? '-' : '+';
  char num[12];
  const auto res = std::to_chars(num, num + sizeof num, mag);
  const size_t length = static_cast<size_t>(res.ptr - num);
  if (exponent_digits > 0) {
    out.append(1, 'E').append(1, sign).append(static_cast<size_t>(exponent_digits) - length, '0');
  } else if (mag <= 99) {
    out.append(1, 'E').append(1, sign);
    if (mag < 10) out += '0';
  } else {
    out += sign;
  }
  out.append(num, length);
}

// Sign plus body in w columns; a leading "0." may be dropped to make it fit.
std::string signed_field(bool negative, std::string_view body, int w) {
  if (static_cast<int>(body.size() + negative) > w && body.size() >= 2 && body[0] == '0' && body[1] == '.')
    body.remove_prefix(1);
  const size_t length = body.size() + negative;
  if (static_cast<int>(length) > w) return stars(w);
  std::string field;
  field.reserve(static_cast<size_t>(w));
  field.append(static_cast<size_t>(w) - length, ' ');
  if (negative) field += '-';
  return field.append(body);
}

// |v| in fixed form with d decimals ("123.45", "0.50", "12." for d = 0).
std::string fixed_body(double v, int d) {
  std::string buf(static_cast<size_t>(d) + 330, '\0');  // the largest double has 309 digits
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v), std::chars_format::fixed, d);
  buf.resize(static_cast<size_t>(res.ptr - buf.data()));
  if (d == 0) buf.push_back('.');
  return buf;
}

// 0.ddd form with d digits (Ew.d with scale factor 0).
std::string e_body(double v, int d) {
  std::string body;
  body.reserve(static_cast<size_t>(d) + 8);
  body.append("0.");
  const int x = append_significant_digits(v, d, body);
  append_exponent(body, v == 0.0 ? 0 : x + 1);
  return body;
}

// d.ddd form with d+1 digits (1PEw.d); `exponent_digits` as in append_exponent.
std::string pe_body(double v, int d, int exponent_digits = 0) {
  std::string body;
  body.reserve(static_cast<size_t>(d) + 9);
  const int x = append_significant_digits(v, d + 1, body);
  body.insert(1, 1, '.');
  append_exponent(body, x, exponent_digits);
  return body;
}

// 10^n as libgfortran forms it (repeated products, reciprocal for n < 0).
double power_of_ten(int n) {
  double r = 1.0;
  for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10;
  return n >= 0 ? r : 1.0 / r;
}

// G editing's choice for |v| = m: the decimals of the
// fixed form F(w-4).(d-k), or -1 for the exponent form. The rule is "m rounded to d
// significant digits lies in [0.1, 10^d)", tested as libgfortran tests it
// (write_float.def): m against the bounds 10^(k-1)*(1 - 0.5*10^-d) computed in
// double arithmetic. This differs from exact decimal rounding only at a few
// boundary doubles (9.9995 gives 10.00 in G12.4 as in gfortran, not 9.999).
int g_fixed_decimals(double m, int d) {
  if (d <= 0) return -1;
  if (m == 0.0) return d - 1;
  const double exp_d = power_of_ten(d);
  const double r_sc = 1.0 - 0.5 / exp_d;
  if (m < 0.1 * r_sc || 0.5 >= exp_d - m) return -1;
  // libgfortran's bisection for the digit count k+1 = mid of the fixed form.
  int mid = 0, low = 0, high = d + 1, lbound = 0, ubound = d + 1;
  while (low <= high) {
    mid = (low + high) / 2;
    const double bound = power_of_ten(mid - 1) * r_sc;
    if (m < bound) {
      ubound = mid;
      if (ubound == lbound + 1) break;
      high = mid - 1;
    } else if (m > bound) {
      lbound = mid;
      if (ubound == lbound + 1) {
        ++mid;
        break;
      }
      low = mid + 1;
    } else {
      ++mid;
      break;
    }
  }
  return d + 1 - mid;
}

// gfortran writes a list-directed REAL(8) as 1PG25.17E3: the G choice above with
// d = 17 and five trailing blanks (e + 2), or 1PE25.16E3 (three exponent digits).
constexpr int kListRealWidth = 25;
constexpr int kListRealDigits = 17;

std::string list_real_field(double v) {
  if (!std::isfinite(v)) return inf_nan_field(v, kListRealWidth);
  const int decimals = g_fixed_decimals(std::fabs(v), kListRealDigits);
  if (decimals < 0) return signed_field(std::signbit(v), pe_body(v, kListRealDigits - 1, 3), kListRealWidth);
  return edit_f(v, kListRealWidth - 5, decimals) + "     ";
}

// gfortran's list-directed INTEGER field: 11 columns for a default (4-byte)
// integer. Our choice (every integer the program writes is 4-byte): a value beyond 32 bits gets
// the 20 columns gfortran gives an 8-byte integer.
std::string list_integer_field(int64_t v) {
  const bool fits_int32 = v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
  return edit_i(v, fits_int32 ? 11 : 20);
}

}  // namespace

std::string edit_i(int64_t value, int w) { return edit_i(value, w, 1); }

std::string edit_i(int64_t value, int w, int m) {
  // Magnitude as unsigned, so that INT64_MIN has no overflow.
  const uint64_t mag = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[24];
  size_t count = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, mag).ptr - digits);
  if (m == 0 && value == 0) count = 0;  // I w.0 prints a zero as blanks
  const size_t zeros = static_cast<int>(count) < m ? static_cast<size_t>(m) - count : 0;
  const size_t length = (value < 0) + zeros + count;
  if (static_cast<int>(length) > w) return stars(w);
  std::string field;
  field.reserve(static_cast<size_t>(w));
  field.append(static_cast<size_t>(w) - length, ' ');
  if (value < 0) field += '-';
  return field.append(zeros, '0').append(digits, count);
}

std::string edit_f(double value, int w, int d) {
  if (w < 1 || d < 0) return stars(w);
  if (!std::isfinite(value)) return inf_nan_field(value, w);
  return signed_field(std::signbit(value), fixed_body(value, d), w);
}

std::string edit_e(double value, int w, int d) {
  if (w < 1 || d < 1) return stars(w);
  if (!std::isfinite(value)) return inf_nan_field(value, w);
  return signed_field(std::signbit(value), e_body(value, d), w);
}

std::string edit_1pe(double value, int w, int d) {
  if (w < 1 || d < 0) return stars(w);
  if (!std::isfinite(value)) return inf_nan_field(value, w);
  return signed_field(std::signbit(value), pe_body(value, d), w);
}

// Fortran G editing: fixed form F(w-4).(d-k) and four
// blanks, or Ew.d; a fixed part too wide for w-4 columns makes w asterisks.
std::string edit_g(double value, int w, int d) {
  if (w < 5 || d < 1) return stars(w);
  if (!std::isfinite(value)) return inf_nan_field(value, w);
  const int decimals = g_fixed_decimals(std::fabs(value), d);
  if (decimals < 0) return edit_e(value, w, d);
  const std::string fixed = edit_f(value, w - 4, decimals);
  return fixed[0] == '*' ? stars(w) : fixed + "    ";
}

// Separators as libgfortran writes them: the record starts with one blank; every
// later item is preceded by one blank, except a character item that follows a
// character item.
void ListRecord::separate(bool is_text) {
  if (empty_) {
    record_.push_back(' ');
  } else if (!(is_text && last_was_text_)) {
    record_ += ' ';
  }
  empty_ = false;
  last_was_text_ = is_text;
}

ListRecord& ListRecord::text(std::string_view s) {
  separate(true);
  record_ += s;
  return *this;
}

ListRecord& ListRecord::real(double v) {
  separate(false);
  record_ += list_real_field(v);
  return *this;
}

ListRecord& ListRecord::integer(int64_t v) {
  separate(false);
  record_ += list_integer_field(v);
  return *this;
}

}  // namespace trevo::fortran
