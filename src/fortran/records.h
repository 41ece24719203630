// Unformatted sequential records: payload framed by its 4-byte little-endian byte
// count before and after, as gfortran writes a sequential unformatted file. The
// post file (process records, frames, outlines) is written this way.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace trevo::fortran {

// Builds one record's payload: text n (blank-padded, no terminator), I4, R4.
class RecordPayload {
 public:
  RecordPayload& text(std::string_view s, std::size_t n);  // cut or blank-padded to n bytes
  RecordPayload& i4(int32_t v);
  RecordPayload& r4(double v);  // rounded to IEEE single precision
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Writes length, payload, length.
void write_record(std::ostream& out, const RecordPayload& payload);

}  // namespace trevo::fortran
