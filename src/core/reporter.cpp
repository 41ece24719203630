// The reporter's two sinks: the console, flushed record by record, and the run report.
#include "core/reporter.h"

namespace trevo {

void Reporter::console(std::string_view record) {
  console_ << record << '\n';
  console_.flush();  // the console shows progress as it happens
  if (const auto first = record.find_first_not_of(' '); first != std::string_view::npos)
    last_message_ = std::string(record.substr(first));
}

void Reporter::report(std::string_view record) {
  if (report_ != nullptr) {
    *report_ << record << '\n';
  }
}

}  // namespace trevo
