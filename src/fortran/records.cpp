// Post-file payload items (text n, I4, R4) and the 4-byte little-endian length framing.
// Bytes are assembled explicitly in little-endian order, whatever the host order.
#include "fortran/records.h"

#include <bit>
#include <limits>
#include <stdexcept>

namespace trevo::fortran {
namespace {

void append_le32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFFu));
}

}  // namespace

RecordPayload& RecordPayload::text(std::string_view s, std::size_t n) {
  const std::size_t kept = s.size() < n ? s.size() : n;
  bytes_.append(s.substr(0, kept));
  bytes_.append(n - kept, ' ');
  return *this;
}

RecordPayload& RecordPayload::i4(int32_t v) {
  append_le32(bytes_, static_cast<uint32_t>(v));
  return *this;
}

// Rounded to nearest single (ties to even), as REAL(x, 4); beyond the single range
// it becomes an infinity, below it a signed zero or subnormal.
RecordPayload& RecordPayload::r4(double v) {
  append_le32(bytes_, std::bit_cast<uint32_t>(static_cast<float>(v)));
  return *this;
}

// gfortran frames a record by its byte count as a signed 4-byte integer; a payload
// beyond that (2 GiB) would need its subrecords, which no post-file record comes near.
void write_record(std::ostream& out, const RecordPayload& payload) {
  const std::string& bytes = payload.bytes();
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
    throw std::length_error("unformatted record longer than 2 GiB");
  std::string length;
  append_le32(length, static_cast<uint32_t>(bytes.size()));
  out.write(length.data(), 4);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.write(length.data(), 4);
}

}  // namespace trevo::fortran
