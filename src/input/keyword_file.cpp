// The keyword file's records, their columns and free-form values, and the read-error report.
#include "input/keyword_file.h"

#include <fstream>
#include <iterator>
#include <utility>

#include "core/run_stop.h"

namespace trevo {

std::string_view Record::columns(std::size_t first, std::size_t last) const {
  if (first < 1 || first > line_.size() || last < first) return {};
  std::size_t end = last < line_.size() ? last : line_.size();
  return line_.substr(first - 1, end - first + 1);
}

std::string Record::text() const {
  std::string padded(line_);
  padded.resize(kRecordLength, ' ');
  return padded;
}

KeywordFile KeywordFile::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return KeywordFile(std::move(text));
}

KeywordFile KeywordFile::from_text(std::string text) { return KeywordFile(std::move(text)); }

KeywordFile::KeywordFile(std::string text) : text_(std::move(text)) {
  std::string_view all(text_);
  std::size_t first = 0;
  while (first < all.size()) {
    std::size_t end = all.find('\n', first);
    std::size_t next = end == std::string_view::npos ? all.size() : end + 1;
    if (end == std::string_view::npos) end = all.size();
    std::size_t length = end - first;
    if (length > 0 && all[end - 1] == '\r') --length;  // CRLF line end
    if (length > kRecordLength) length = kRecordLength;
    lines_.push_back({first, static_cast<uint32_t>(length), Keyword::pack(all.substr(first, length < 8 ? length : 8))});
    first = next;
  }
}

void stop_read_error(const Record& record, const ReadErrorReport& report) {
  const std::string text = record.text();
  auto write = [&](auto&& out) {
    if (!report.preamble.empty()) out(" " + std::string(report.preamble));
    out("");
    out(" " + std::string(report.message));
    out(text);
    out("");
  };
  write([&](const std::string& line) { report.reporter.console(line); });
  write([&](const std::string& line) { report.reporter.report(line); });
  stop_run();
}

int32_t RecordValues::required_int() {
  int32_t value = 0;
  if (input_.next_int(value) != fortran::ListStatus::value) fail();
  return value;
}

double RecordValues::required_real() {
  double value = 0.0;
  if (input_.next_real(value) != fortran::ListStatus::value) fail();
  return value;
}

fortran::ListStatus RecordValues::read(int32_t& target) {
  fortran::ListStatus status = input_.next_int(target);
  if (status == fortran::ListStatus::error) fail();
  return status;
}

bool RecordValues::update(int32_t& target) { return read(target) == fortran::ListStatus::value; }

bool RecordValues::update(double& target) {
  fortran::ListStatus status = input_.next_real(target);
  if (status == fortran::ListStatus::error) fail();
  return status == fortran::ListStatus::value;
}

}  // namespace trevo
