// List-directed (free-form) input of one value field.
// A keyword line's columns 10-200 hold its values in free form; values missing at
// the end leave their targets unchanged. The syntax is that of Fortran free-form
// numeric input: values separated by blanks and/or one comma,
// r*value repeat counts, r* null repeats, empty (null) values between commas,
// a slash ending the input, reals with E or D exponents, integers. The exact rules
// are gfortran 12's, checked against it (tests/fortran/gen/gen_list_input.f90), with
// these choices: a semicolon separates like a comma (as gfortran 12 does); blanks
// are ' ', tab, CR and LF; Infinity, NaN and reals beyond the double range are
// errors (gfortran reads them as values) since no measure of a model is one.
#pragma once
#include <cstdint>
#include <string_view>

namespace trevo::fortran {

enum class ListStatus {
  value,  // a value was read into the target
  null,   // a null value: the target keeps its contents
  end,    // end of the field or a slash: this and every later target keep their contents
  error   // not a valid value of the target's type: a read error
};

// Reads the values of one field in order, one target per call. No allocation per
// value; any bytes are safe. After `end` or `error` every later call returns the same.
// The field's characters must outlive the ListInput (it keeps a view of them).
class ListInput {
 public:
  explicit ListInput(std::string_view field);
  ListStatus next_int(int32_t& target);
  ListStatus next_real(double& target);

 private:
  // The next value text (after repeat counts): `value` with a non-empty token,
  // `null`, or a terminal `end`/`error`.
  ListStatus next_token(std::string_view& token);
  ListStatus fail();  // a read error: this and every later call return `error`
  std::string_view rest_;          // unread part of the field
  int64_t repeat_left_ = 0;        // further copies of repeat_token_ still to deliver
  std::string_view repeat_token_;  // value text of an r*value (empty for r*)
  bool after_value_ = false;       // a value was read: one comma may still separate it
  ListStatus final_ = ListStatus::value;  // end or error once the field is finished
};

}  // namespace trevo::fortran
