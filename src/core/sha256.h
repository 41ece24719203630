// SHA-256 of a byte string or a file (FIPS 180-4), as lower-case hex: the fingerprint of a
// job's input in the run summary, so that a result set can be matched with the input it came from.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trevo {

// Incremental digest: add() the bytes in any pieces, then hex() once.
class Sha256 {
 public:
  Sha256();
  void add(std::string_view bytes);
  std::string hex();  // finishes the digest; the object is spent afterwards

 private:
  void block(const unsigned char* p);  // one 64-byte block into the state
  uint32_t h_[8];
  unsigned char buffer_[64];
  std::size_t buffered_ = 0;
  uint64_t length_ = 0;  // bytes added
};

std::string sha256_hex(std::string_view bytes);

struct FileDigest {
  std::string hex;
  uint64_t bytes = 0;
};
// Reads the file in blocks; nothing when it cannot be read.
std::optional<FileDigest> sha256_file(const std::string& path);

}  // namespace trevo
