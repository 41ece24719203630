// The work array: one block of 8-byte words holding every model and solver array.
// Word indices are 1-based, as the index table counts them; a slice of n entries
// takes n words whether it holds 64-bit reals or 32-bit integers (integers packed
// from the slice's first byte). Stages are laid out one after another by
// StageLayout; every slice is checked against the work size when it is laid out,
// not only at the final size check, because the readers fill the early stages and
// a run on the elastic method never reaches that check: no slice ever reaches past the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "core/reporter.h"

namespace trevo {

class WorkArray {
 public:
  // Allocates words × 8 bytes, uninitialised.
  explicit WorkArray(int64_t words);
  int64_t size() const { return words_; }
  // The job's base path as given on the command line, named in the rerun line of the
  // work-size stop ("<base>" until set).
  void set_run_base(std::string base) { run_base_ = std::move(base); }
  const std::string& run_base() const { return run_base_; }
  std::span<double> reals(int64_t first_word, int64_t count);
  std::span<int32_t> ints(int64_t first_word, int64_t count);
  // Integers packed two to a word (scratch regions reused for integer tables).
  std::span<int32_t> packed_ints(int64_t first_word, int64_t words);
  // Records of a trivially copyable type, each taking whole words.
  template <class T>
  std::span<T> records(int64_t first_word, int64_t count) {
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8);
    return {reinterpret_cast<T*>(word_address(first_word, count * words_per_record<T>())),
            static_cast<std::size_t>(count)};
  }
  // Hands the whole pages inside a slice back to the system: its values are gone and read as zeros
  // when touched again. For slices no later phase reads before it writes them afresh, so that the
  // next phase's peak memory does not include them.
  template <class T>
  static void release_pages(std::span<T> slice) {
    release_bytes(reinterpret_cast<std::byte*>(slice.data()), slice.size_bytes());
  }
  template <class T>
  static constexpr int64_t words_per_record() {
    return static_cast<int64_t>((sizeof(T) + 7) / 8);
  }

 private:
  std::byte* word_address(int64_t first_word, int64_t count);
  static void release_bytes(std::byte* first, std::size_t bytes);
  struct Free { void operator()(std::byte* p) const; };
  int64_t words_;
  std::unique_ptr<std::byte[], Free> block_;
  std::string run_base_ = "<base>";
};

// Lays out one stage of the index table from its first free word.
class StageLayout {
 public:
  StageLayout(WorkArray& work, Reporter& reporter, int64_t first_free)
      : work_(work), reporter_(reporter), next_(first_free) {}
  std::span<double> reals(int64_t count) { return work_.reals(take(count), count); }
  std::span<int32_t> ints(int64_t count) { return work_.ints(take(count), count); }
  template <class T>
  std::span<T> records(int64_t count) {
    return work_.records<T>(take(count * WorkArray::words_per_record<T>()), count);
  }
  // Reserves words without handing out a slice (sizes owned by a later phase).
  void reserve(int64_t count) { take(count); }
  // Where a stage's whole size is known before its slices are laid out: stops the run, naming
  // the stage's end, when the stage does not fit, so that a rerun with the size named gets
  // past the whole stage and not only past its first slice that did not fit.
  void require(int64_t stage_words);
  int64_t next_free() const { return next_; }

 private:
  int64_t take(int64_t count);  // stops the run when the slice would pass the end
  WorkArray& work_;
  Reporter& reporter_;
  int64_t next_;
};

// Counts the words a layout takes without handing out slices (its slices come back empty):
// a layout run with it first gives the size of the stages it lays out, which StageLayout::
// require can then check at once.
class StageSizer {
 public:
  std::span<double> reals(int64_t count) { return take<double>(count); }
  std::span<int32_t> ints(int64_t count) { return take<int32_t>(count); }
  template <class T>
  std::span<T> records(int64_t count) {
    return take<T>(count * WorkArray::words_per_record<T>());
  }
  int64_t words() const { return words_; }

 private:
  template <class T>
  std::span<T> take(int64_t count) {
    words_ += count;
    return {};
  }
  int64_t words_ = 0;
};

// "DIMENSION ASKED IS TOO BIG  -----------", then the rerun line, then the stop:
// " trevo: this job needs a work size of at least N (thousand words): trevo <base> N",
// N = needed_words / 1000 rounded up (the command line's unit). At the final size check
// the need is the run's whole size; a stage that overflows before it knows only the words
// up to its own end, so N is then a lower bound and a rerun may stop again further on.
[[noreturn]] void stop_dimension_too_big(Reporter& reporter, int64_t needed_words, const std::string& base);
std::string work_size_rerun_line(int64_t needed_words, const std::string& base);

}  // namespace trevo
