// The keyword input file held in memory as 200-character records, and the read-error report.
// Columns are counted from 1, as the record layout names them: keyword in columns 1-8,
// free-form values from column 10. A missing file reads as an empty one. A record is one line cut to 200 characters and
// thought blank-padded to 200; LF and CRLF line ends are accepted; any byte is kept as is.
// "Rewind" is iterating again from record 0: the file is read from disk once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fortran/list_input.h"
#include "core/reporter.h"

namespace trevo {

inline constexpr std::size_t kRecordLength = 200;
inline constexpr int kValueColumn = 10;  // first column of the free-form values

// Read-error message lines: the keyword scan's, the mesh and control readers', and the line
// the tool readers' node-identifier pass prints first.
inline constexpr std::string_view kInputDataError =
    "******** Error in the following input data.  Correct it and run again ********";
inline constexpr std::string_view kDataError = "******* Error in the following data *******";
inline constexpr std::string_view kToolRowError = "******** Data input in the following row are error";

// A keyword of up to 8 columns, packed for a fast comparison with the columns 1-8 of a record.
class Keyword {
 public:
  // Compared over its own length (8, 7 for BHFORCE/CORTROL, 6 for METHOD/OFFSET); blanks count.
  explicit constexpr Keyword(std::string_view text) : key_(pack(text) & mask_for(text.size())), mask_(mask_for(text.size())) {}
  bool matches(uint64_t record_key) const { return (record_key & mask_) == key_; }
  static constexpr uint64_t pack(std::string_view text) {
    uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i) {
      auto c = static_cast<unsigned char>(i < text.size() ? text[i] : ' ');
      key |= static_cast<uint64_t>(c) << (8 * i);
    }
    return key;
  }

 private:
  static constexpr uint64_t mask_for(std::size_t length) {
    return length >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * length)) - 1;
  }
  uint64_t key_;
  uint64_t mask_;
};

class Record {
 public:
  Record(std::string_view line, uint64_t key) : line_(line), key_(key) {}
  bool is(const Keyword& keyword) const { return keyword.matches(key_); }
  // Column c (1-based); a blank beyond the end of the line.
  char column(std::size_t c) const { return c - 1 < line_.size() ? line_[c - 1] : ' '; }
  // Columns first..last (1-based, inclusive), without the padding blanks.
  std::string_view columns(std::size_t first, std::size_t last = kRecordLength) const;
  // The whole record, 200 characters, blank-padded (for the error report).
  std::string text() const;

 private:
  std::string_view line_;  // at most 200 characters, line end removed
  uint64_t key_;           // columns 1-8, blank-padded, packed
};

class KeywordFile {
 public:
  // Reads the whole file once; a missing or unreadable file gives an empty file.
  static KeywordFile load(const std::string& path);
  // The same from text already in memory (tests, benchmarks).
  static KeywordFile from_text(std::string text);

  std::size_t size() const { return lines_.size(); }
  Record operator[](std::size_t i) const {
    const Line& line = lines_[i];
    return Record(std::string_view(text_).substr(line.first(), line.length()), line.key);
  }

  // Frees the text of every record of these keywords once it has been read: the records
  // stay, with their keywords and places in the file, so counting and line numbers do not
  // change, but their columns read blank. The mesh lines are most of a large file.
  void release_values(std::span<const Keyword> keywords);

 private:
  // A record's place in the text and its length (at most 200) in one word, and its keyword.
  struct Line {
    uint64_t place;
    uint64_t key;
    static Line make(std::size_t first, std::size_t length, uint64_t key) {
      return {(static_cast<uint64_t>(first) << 8) | length, key};
    }
    std::size_t first() const { return static_cast<std::size_t>(place >> 8); }
    std::size_t length() const { return static_cast<std::size_t>(place & 0xFF); }
  };
  explicit KeywordFile(std::string text);
  std::string text_;
  std::vector<Line> lines_;
};

// How a reader reports a value it cannot read: the message line, and for the tool readers'
// node-identifier pass the line printed before it.
struct ReadErrorReport {
  Reporter& reporter;
  std::string_view message = kDataError;
  std::string_view preamble = {};
};

// The read-error report, on the console then in the run report, each: [preamble,] a blank
// line, the message, the 200-character record, a blank line; then stop_run(). The message and
// the preamble are list-directed messages (one leading blank); the record is written exactly
// as read, so the user sees the card image that failed.
[[noreturn]] void stop_read_error(const Record& record, const ReadErrorReport& report);

// The free-form (Fortran list-directed) values of one record from a column on. Required
// values stop the run with the read-error report on end of record, a null value or a
// non-numeric field;
// update() follows the list-directed rules: a value sets the target, a null value or the end
// of the record (or a slash) keeps it, a non-numeric field is a read error.
class RecordValues {
 public:
  RecordValues(const Record& record, std::size_t first_column, const ReadErrorReport& report,
               std::size_t last_column = kRecordLength)
      : record_(record), input_(record.columns(first_column, last_column)), report_(report) {}
  int32_t required_int();
  double required_real();
  bool update(int32_t& target);  // true when a value was read
  bool update(double& target);
  // The list-directed status of the next value (value, null or end); a non-numeric field stops.
  fortran::ListStatus read(int32_t& target);
  [[noreturn]] void fail() const { stop_read_error(record_, report_); }

 private:
  Record record_;
  fortran::ListInput input_;
  ReadErrorReport report_;
};

}  // namespace trevo
