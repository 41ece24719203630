// The work array's single allocation, its word addressing and the stage layout's bound check.
#include "core/work_array.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <new>

#include <sys/mman.h>
#include <unistd.h>

#include "core/run_stop.h"

namespace trevo {

namespace {
constexpr std::size_t kWordBytes = 8;
constexpr std::align_val_t kAlignment{64};
}  // namespace

void WorkArray::Free::operator()(std::byte* p) const { ::operator delete[](p, kAlignment); }

WorkArray::WorkArray(int64_t words) : words_(words < 0 ? 0 : words) {
  // operator new leaves the memory untouched: pages are only committed when used.
  std::size_t bytes = static_cast<std::size_t>(words_) * kWordBytes;
  block_.reset(static_cast<std::byte*>(::operator new[](bytes == 0 ? kWordBytes : bytes, kAlignment)));
}

std::byte* WorkArray::word_address(int64_t first_word, int64_t count) {
  assert(first_word >= 1 && count >= 0 && first_word - 1 + count <= words_);
  return block_.get() + static_cast<std::size_t>(first_word - 1) * kWordBytes;
}

void WorkArray::release_bytes(std::byte* first, std::size_t bytes) {
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(first);
  const std::uintptr_t begin = (start + page - 1) / page * page, end = (start + bytes) / page * page;
  // Only an advice: where the system declines, the pages simply stay.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
}

std::span<double> WorkArray::reals(int64_t first_word, int64_t count) {
  return {reinterpret_cast<double*>(word_address(first_word, count)), static_cast<std::size_t>(count)};
}

std::span<int32_t> WorkArray::ints(int64_t first_word, int64_t count) {
  return {reinterpret_cast<int32_t*>(word_address(first_word, count)), static_cast<std::size_t>(count)};
}

std::span<int32_t> WorkArray::packed_ints(int64_t first_word, int64_t words) {
  return {reinterpret_cast<int32_t*>(word_address(first_word, words)), static_cast<std::size_t>(2 * words)};
}

int64_t StageLayout::take(int64_t count) {
  int64_t first = next_;
  if (count < 0 || first - 1 + count > work_.size())
    stop_dimension_too_big(reporter_, first - 1 + std::max<int64_t>(count, 0), work_.run_base());
  next_ += count;
  return first;
}

void StageLayout::require(int64_t stage_words) {
  if (next_ - 1 + stage_words > work_.size()) stop_dimension_too_big(reporter_, next_ - 1 + stage_words, work_.run_base());
}

std::string work_size_rerun_line(int64_t needed_words, const std::string& base) {
  const std::string thousands = std::to_string((std::max<int64_t>(needed_words, 1) + 999) / 1000);
  return "trevo: this job needs a work size of at least " + thousands + " (thousand words): trevo " + base + " " +
         thousands;
}

void stop_dimension_too_big(Reporter& reporter, int64_t needed_words, const std::string& base) {
  reporter.message("DIMENSION ASKED IS TOO BIG  -----------");
  reporter.message(work_size_rerun_line(needed_words, base));
  stop_run();
}

}  // namespace trevo
