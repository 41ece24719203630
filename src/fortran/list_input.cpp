// Spec: Part 2.1 (value fields read in list-directed form; Left to the implementer).
// The syntax follows gfortran 12's list-directed READ (list_read.c), checked against
// it by tests/fortran/list_input_table_test.cpp.
#include "fortran/list_input.h"

#include <array>
#include <charconv>
#include <string>
#include <system_error>

namespace trevo::fortran {
namespace {

// gfortran's largest repeat count (MAX_REPEAT in list_read.c).
constexpr int64_t kMaxRepeat = 200000000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_comma(char c) { return c == ',' || c == ';'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool ends_token(char c) { return is_blank(c) || is_comma(c) || c == '/'; }

void skip_blanks(std::string_view& s) {
  size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  s.remove_prefix(i);
}

// After a value: blanks, then at most one comma (with its trailing blanks left for
// the next call, where a second comma would be a null value).
void skip_separator(std::string_view& s) {
  skip_blanks(s);
  if (!s.empty() && is_comma(s[0])) s.remove_prefix(1);
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

// A Fortran real: [sign] mantissa (digits with at most one point, at least one
// digit) and an optional exponent: a letter E, D or Q with an optional sign, or a
// bare sign, then at least one digit. Copies it into `normal` in std::from_chars
// syntax (no '+' mantissa sign, 'e' exponent letter). `magnitude` is the decimal
// exponent of the leading digit plus one (0 for a zero mantissa), clamped, which
// tells an overflow from an underflow when the conversion is out of range.
template <class Out>
bool normalise_real(std::string_view t, Out& normal, int64_t& magnitude, bool& zero) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') normal.push_back('-');
    ++i;
  }
  int64_t int_digits = 0, leading_fraction_zeros = 0;
  bool any_digit = false, nonzero = false, point = false;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (is_digit(c)) {
      any_digit = true;
      if (c != '0') nonzero = true;
      if (!point && nonzero) ++int_digits;
      if (point && !nonzero) ++leading_fraction_zeros;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
    normal.push_back(c);
  }
  if (!any_digit) return false;
  int64_t exponent = 0;
  if (i < t.size()) {
    const char c = t[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q') ++i;
    else if (c != '+' && c != '-') return false;
    normal.push_back('e');
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      negative = t[i] == '-';
      normal.push_back(t[i]);
      ++i;
    }
    if (i == t.size()) return false;
    for (; i < t.size(); ++i) {
      if (!is_digit(t[i])) return false;
      normal.push_back(t[i]);
      if (exponent < 1000000000) exponent = exponent * 10 + (t[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  zero = !nonzero;
  magnitude = (int_digits > 0 ? int_digits : -leading_fraction_zeros) + exponent;
  return true;
}

// Fixed-capacity character buffer for the common (short) token.
constexpr size_t kSmallText = 128;
struct SmallText {
  std::array<char, kSmallText> chars{};
  size_t count = 0;
  void push_back(char c) { chars[count++] = c; }
  const char* data() const { return chars.data(); }
  size_t size() const { return count; }
};

template <class Out>
bool convert_real(std::string_view t, Out& normal, double& out) {
  int64_t magnitude = 0;
  bool zero = false;
  if (!normalise_real(t, normal, magnitude, zero)) return false;
  const char* first = normal.data();
  const char* last = first + normal.size();
  double v = 0.0;
  auto res = std::from_chars(first, last, v);
  if (res.ec == std::errc::result_out_of_range) {
    if (magnitude > 0 && !zero) return false;  // beyond the double range: an error
    v = first[0] == '-' ? -0.0 : 0.0;          // below it: zero, as gfortran reads it
  } else if (res.ec != std::errc() || res.ptr != last) {
    return false;
  }
  out = v;
  return true;
}

bool parse_real(std::string_view t, double& out) {
  // The normalised text is at most one character longer than the token.
  if (t.size() + 1 <= kSmallText) {
    SmallText normal;
    return convert_real(t, normal, out);
  }
  std::string normal;
  normal.reserve(t.size() + 1);
  return convert_real(t, normal, out);
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
  if (rest_.empty() || rest_[0] == '/') return final_ = ListStatus::end;
  if (is_comma(rest_[0])) {  // a comma with no value before it: a null value
    rest_.remove_prefix(1);
    return ListStatus::null;
  }
  size_t n = 0;
  while (n < rest_.size() && !ends_token(rest_[n])) ++n;
  token = rest_.substr(0, n);
  rest_.remove_prefix(n);
  skip_separator(rest_);

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
