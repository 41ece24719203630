// The keyword file's records, their columns and free-form values, and the read-error report.
#include "input/keyword_file.h"

#include <algorithm>
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
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::string text;
  if (in) {
    // One block of the file's size, not a buffer grown while reading: a large mesh file
    // would leave its outgrown copies in the heap for the rest of the run.
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size > 0) {
      text.resize(static_cast<std::size_t>(size));
      in.read(text.data(), size);
      text.resize(static_cast<std::size_t>(in.gcount()));
    }
  }
  return KeywordFile(std::move(text));
}

KeywordFile KeywordFile::from_text(std::string text) { return KeywordFile(std::move(text)); }

KeywordFile::KeywordFile(std::string text) : text_(std::move(text)) {
  std::string_view all(text_);
  lines_.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
  std::size_t first = 0;
  while (first < all.size()) {
    std::size_t end = all.find('\n', first);
    std::size_t next = end == std::string_view::npos ? all.size() : end + 1;
    if (end == std::string_view::npos) end = all.size();
    std::size_t length = end - first;
    if (length > 0 && all[end - 1] == '\r') --length;  // CRLF line end
    if (length > kRecordLength) length = kRecordLength;
    lines_.push_back(Line::make(first, length, Keyword::pack(all.substr(first, length < 8 ? length : 8))));
    first = next;
  }
}

void KeywordFile::release_values(std::span<const Keyword> keywords) {
  std::string kept;
  std::size_t kept_size = 0;
  const auto released = [&](const Line& line) {
    return std::any_of(keywords.begin(), keywords.end(), [&](const Keyword& k) { return k.matches(line.key); });
  };
  for (const Line& line : lines_) kept_size += released(line) ? 0 : line.length();
  kept.reserve(kept_size);
  for (Line& line : lines_) {
    const std::size_t length = released(line) ? 0 : line.length();
    const std::size_t first = kept.size();
    kept.append(text_, line.first(), length);
    line = Line::make(first, length, line.key);
  }
  text_.swap(kept);
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
