// The index table's stages in the work array: a stage fits exactly at the work size, one word
// more stops the run with the message on the console and in the report.
#include "core/index_table.h"

#include <gtest/gtest.h>

#include <functional>

#include "../test_mesh.h"
#include "core/run_stop.h"

namespace trevo {
namespace {

const ModelCounts kCounts{10, 12, 3, 5, 2, 4, 1, 20};  // the pad's 20 nodes size the last scratch slice

TEST(IndexTable, StageFitsAtTheWorkSizeOneWordMoreStops) {
  const std::pair<int64_t, std::function<void(WorkArray&, Reporter&)>> stages[] = {
      {input_slice_words(9, 16), [](WorkArray& w, Reporter& r) { lay_out_input_slices(w, r, 9, 16); }},
      {2 + model_slice_words(kCounts), [](WorkArray& w, Reporter& r) { lay_out_model_slices(w, r, kCounts, 3); }},
      {1, [](WorkArray& w, Reporter& r) { StageLayout(w, r, 1).ints(1); }}};
  for (const auto& [words, lay_out] : stages) {
    for (int64_t size : {words, words - 1}) {
      WorkArray work(size);
      test::Captured out;
      if (size == words) {
        EXPECT_NO_THROW(lay_out(work, out.reporter));
      } else {
        EXPECT_THROW(lay_out(work, out.reporter), RunStopped);
      }
      // Under 1000 words every stage needs "at least 1" thousand; the base is unset here.
      EXPECT_EQ(out.console.str(), size == words ? ""
                                                 : " DIMENSION ASKED IS TOO BIG  -----------\n trevo: this job needs a "
                                                   "work size of at least 1 (thousand words): trevo <base> 1\n")
          << size;
      EXPECT_EQ(out.report.str(), out.console.str());
    }
  }
}

// The rerun line rounds the words up to whole thousands, the command line's unit, and names the base.
TEST(IndexTable, RerunLineNamesTheWorkSizeInThousandsRoundedUp) {
  const std::pair<int64_t, const char*> cases[] = {
      {1, "1"}, {1000, "1"}, {1001, "2"}, {61'233'001, "61234"}, {61'234'000, "61234"}};
  for (const auto& [words, thousands] : cases) {
    WorkArray work(0);
    work.set_run_base("runs/cup");
    test::Captured out;
    EXPECT_THROW(StageLayout(work, out.reporter, 1).reals(words), RunStopped);
    EXPECT_EQ(out.console.str(), std::string(" DIMENSION ASKED IS TOO BIG  -----------\n trevo: this job needs a work "
                                             "size of at least ") + thousands + " (thousand words): trevo runs/cup " +
                                     thousands + "\n")
        << words;
  }
}

}  // namespace
}  // namespace trevo
