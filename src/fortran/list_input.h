// List-directed (free-form) input of one value field.
// Spec: Part 2.1 (record layout: columns 10-200 read in free form; missing trailing
// values leave the target unchanged), Left to the implementer: the syntax is that
// of Fortran free-form numeric input: values separated by blanks and/or one comma,
// r*value repeat counts, r* null repeats, empty (null) values between commas,
// a slash ending the input, reals with E or D exponents, integers.
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

class ListInput {
 public:
  explicit ListInput(std::string_view field);
  ListStatus next_int(int32_t& target);
  ListStatus next_real(double& target);

 private:
  std::string_view rest_;
  // ... implementation state (repeat counts) owned by list_input.cpp
  int64_t repeat_left_ = 0;
  std::string_view repeat_token_;
  bool ended_ = false;
  bool next_token(std::string_view& token, bool& is_null);
};

}  // namespace trevo::fortran
