// Formatted records gathered into large blocks before they reach the stream.
// A sequential formatted file holds one record per line. Writing a 200,000-element
// part's files record by record through std::ostream costs more than formatting
// them; a block of about 64 KiB per write keeps the writers fast.
#pragma once
#include <ostream>
#include <string>
#include <string_view>

namespace trevo {

class RecordBuffer {
 public:
  explicit RecordBuffer(std::ostream& out) : out_(out) { block_.reserve(kBlock + 512); }
  ~RecordBuffer() { flush(); }
  RecordBuffer(const RecordBuffer&) = delete;
  RecordBuffer& operator=(const RecordBuffer&) = delete;

  // Appends text to the current record.
  RecordBuffer& operator<<(std::string_view text) {
    block_.append(text);
    return *this;
  }
  // Ends the current record.
  void end_record() {
    block_.push_back('\n');
    if (block_.size() >= kBlock) flush();
  }
  // One whole record.
  void record(std::string_view text) { *this << text, end_record(); }
  void flush() {
    out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
    block_.clear();
  }

 private:
  static constexpr std::size_t kBlock = 1 << 16;
  std::ostream& out_;
  std::string block_;
};

}  // namespace trevo
