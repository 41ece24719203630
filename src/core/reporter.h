// Every message goes through one reporter: console first, then the run report.
// Each message is a separate record on the console and in <base>.OUT, so a run started
// without a console still leaves its full record; plain messages are Fortran
// list-directed (one leading blank); a blank line is an empty list-directed record.
#pragma once
#include <ostream>
#include <string>
#include <string_view>

namespace trevo {

class Reporter {
 public:
  // report may be null (no run report open yet, or a test that wants console only).
  Reporter(std::ostream& console, std::ostream* report) : console_(console), report_(report) {}

  // A plain list-directed message: " " + text, on the console then in the report.
  void message(std::string_view text) { both(" " + std::string(text)); }
  // An exact record (already formatted), console then report.
  void both(std::string_view record) { console(record); report(record); }
  // An empty list-directed record on both.
  void blank() { both(""); }
  // One side only, for messages whose console and report texts differ.
  void console(std::string_view record);
  void report(std::string_view record);
  // The last non-blank console record, without its leading blanks: the message a fatal stop
  // leaves for the run summary.
  const std::string& last_message() const { return last_message_; }

 private:
  std::ostream& console_;
  std::ostream* report_;
  std::string last_message_;
};

}  // namespace trevo
