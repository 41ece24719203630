// Spec: Part 1.4 (message convention).
#include "frame/reporter.h"

namespace trevo {

void Reporter::console(std::string_view record) {
  console_ << record << '\n';
  console_.flush();  // the console shows progress as it happens
}

void Reporter::report(std::string_view record) {
  if (report_ != nullptr) {
    *report_ << record << '\n';
  }
}

}  // namespace trevo
