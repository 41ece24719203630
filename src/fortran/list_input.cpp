// List-directed reading of the value field of a keyword line.
// The syntax follows gfortran 12's list-directed READ (list_read.c), checked against
// it by tests/fortran/fortran_test.cpp.
#include "fortran/list_input.h"

#include <array>
#include <charconv>
#include <string>
#include <system_error>

namespace trevo::fortran {
namespace {

// gfortran's largest repeat count (MAX_REPEAT in list_read.c).
constexpr int64_t kMaxRepeat = 200000000;

// Character classes of the field, by byte.
enum : uint8_t { kOther = 0, kBlank = 1, kComma = 2, kSlash = 4 };
constexpr std::array<uint8_t, 256> kClass = [] {
  std::array<uint8_t, 256> table{};
  for (unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = kBlank;
  table[static_cast<unsigned char>(',')] = kComma;
  table[static_cast<unsigned char>(';')] = kComma;
  table[static_cast<unsigned char>('/')] = kSlash;
  return table;
}();

uint8_t char_class(char c) { return kClass[static_cast<unsigned char>(c)]; }
bool is_blank(char c) { return char_class(c) == kBlank; }
bool is_comma(char c) { return char_class(c) == kComma; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_token(char c) { return char_class(c) != kOther; }

void skip_blanks(std::string_view& s) {
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  s.remove_prefix(i);
}

// [sign] digits, fitting int32_t.
bool parse_int(std::string_view t, int32_t& out) {
  const size_t sign = !t.empty() && (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (t.size() == sign || !is_digit(t[sign])) return false;
  if (t[0] == '+') t.remove_prefix(1);  // std::from_chars takes no '+'
  int32_t v = 0;
  auto res = std::from_chars(t.data(), t.data() + t.size(), v);
  if (res.ec != std::errc() || res.ptr != t.data() + t.size()) return false;
  out = v;
  return true;
}

// The syntax of a Fortran real: [sign] mantissa (digits with at most one point,
// at least one digit), then optionally an exponent: a letter E, D or Q with an
// optional sign, or a bare sign, then at least one digit.
struct RealSyntax {
  bool valid = false;
  bool plain = true;          // already std::from_chars syntax (no '+' sign, E letter or none)
  size_t exponent_at = 0;     // index of the exponent letter or bare sign (size if none)
  int64_t magnitude = 0;      // decimal exponent of the leading digit plus one (clamped)
  bool zero = true;           // the mantissa is zero
};

RealSyntax scan_real(std::string_view t) {
  RealSyntax syn;
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '+') syn.plain = false;
    ++i;
  }
  int64_t int_digits = 0, leading_fraction_zeros = 0;
  bool any_digit = false, point = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (is_digit(c)) {
      any_digit = true;
      if (c != '0') syn.zero = false;
      if (!point && !syn.zero) ++int_digits;
      if (point && syn.zero) ++leading_fraction_zeros;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any_digit) return syn;
  syn.exponent_at = i;
  int64_t exponent = 0;
  if (i < t.size()) {
    const char c = t[i];
    const bool letter = c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q';
    if (!letter && c != '+' && c != '-') return syn;
    if (c != 'e' && c != 'E') syn.plain = false;
    if (letter) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    if (i == t.size()) return syn;
    for (; i < t.size(); ++i) {
      if (!is_digit(t[i])) return syn;
      if (exponent < 1000000000) exponent = exponent * 10 + (t[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  syn.magnitude = (int_digits > 0 ? int_digits : -leading_fraction_zeros) + exponent;
  syn.valid = true;
  return syn;
}

// Rewrites a valid Fortran real in std::from_chars syntax into `out` (capacity at
// least t.size() + 1): no '+' mantissa sign, 'e' as the exponent letter.
size_t rewrite_real(std::string_view t, const RealSyntax& syn, char* out) {
  size_t n = 0;
  for (size_t i = t[0] == '+' ? 1 : 0; i < syn.exponent_at; ++i) out[n++] = t[i];
  if (syn.exponent_at < t.size()) {
    out[n++] = 'e';
    const char c = t[syn.exponent_at];
    for (size_t i = syn.exponent_at + (c == '+' || c == '-' ? 0 : 1); i < t.size(); ++i) out[n++] = t[i];
  }
  return n;
}

bool convert_real(const char* first, const char* last, const RealSyntax& syn, double& out) {
  double v = 0.0;
  auto res = std::from_chars(first, last, v);
  if (res.ec == std::errc::result_out_of_range) {
    if (syn.magnitude > 0 && !syn.zero) return false;  // beyond the double range: an error
    v = first[0] == '-' ? -0.0 : 0.0;                  // below it: zero, as gfortran reads it
  } else if (res.ec != std::errc() || res.ptr != last) {
    return false;
  }
  out = v;
  return true;
}

bool parse_real(std::string_view t, double& out) {
  const RealSyntax syn = scan_real(t);
  if (!syn.valid) return false;
  if (syn.plain) return convert_real(t.data(), t.data() + t.size(), syn, out);
  constexpr size_t kSmall = 128;
  if (t.size() < kSmall) {
    char buf[kSmall];
    return convert_real(buf, buf + rewrite_real(t, syn, buf), syn, out);
  }
  std::string buf(t.size() + 1, '\0');
  return convert_real(buf.data(), buf.data() + rewrite_real(t, syn, buf.data()), syn, out);
}

}  // namespace

ListInput::ListInput(std::string_view field) : rest_(field) {}

ListStatus ListInput::fail() {
  repeat_left_ = 0;
  return final_ = ListStatus::error;
}

ListStatus ListInput::next_token(std::string_view& token) {
  if (repeat_left_ > 0) {
    --repeat_left_;
    token = repeat_token_;
    return token.empty() ? ListStatus::null : ListStatus::value;
  }
  if (final_ != ListStatus::value) return final_;
  skip_blanks(rest_);
  // The separator after a value: blanks and at most one comma (a second is a null).
  if (after_value_ && !rest_.empty() && is_comma(rest_[0])) {
    rest_.remove_prefix(1);
    skip_blanks(rest_);
  }
  after_value_ = false;
  if (rest_.empty() || rest_[0] == '/') return final_ = ListStatus::end;
  if (is_comma(rest_[0])) {  // a comma with no value before it: a null value
    rest_.remove_prefix(1);
    return ListStatus::null;
  }
  size_t n = 0;
  while (n < rest_.size() && !ends_token(rest_[n])) ++n;
  token = rest_.substr(0, n);
  rest_.remove_prefix(n);
  after_value_ = true;

  const size_t star = token.find('*');
  if (star == std::string_view::npos) return ListStatus::value;
  // r*value or r*: r is an unsigned nonzero integer without sign.
  int64_t count = 0;
  const std::string_view digits = token.substr(0, star);
  for (char c : digits) {
    if (!is_digit(c)) return fail();
    count = count * 10 + (c - '0');
    if (count > kMaxRepeat) return fail();
  }
  if (count == 0) return fail();  // also an empty count ("*5")
  repeat_token_ = token.substr(star + 1);
  repeat_left_ = count - 1;
  token = repeat_token_;
  return token.empty() ? ListStatus::null : ListStatus::value;
}

ListStatus ListInput::next_int(int32_t& target) {
  std::string_view token;
  const ListStatus status = next_token(token);
  if (status != ListStatus::value) return status;
  if (!parse_int(token, target)) return fail();
  return ListStatus::value;
}

ListStatus ListInput::next_real(double& target) {
  std::string_view token;
  const ListStatus status = next_token(token);
  if (status != ListStatus::value) return status;
  if (!parse_real(token, target)) return fail();
  return ListStatus::value;
}

}  // namespace trevo::fortran
