// The index table's stages in the work array: a stage fits exactly at the work size, one word more stops
// the run with its message. SHA-256 against the published test vectors, whole and in pieces (a file's
// digest against sha256sum: the run summary's, tests/e2e/run_integrity_e2e_test.cpp).
#include "core/index_table.h"

#include <gtest/gtest.h>

#include <functional>

#include "../test_mesh.h"
#include "core/run_stop.h"
#include "core/sha256.h"

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

TEST(Sha256, PublishedVectorsWholeAndInPieces) {
  struct Case {
    std::string message, digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sha256_hex(c.message), c.digest) << "message of " << c.message.size() << " bytes";
    // The same digest whatever the pieces: 1, 63, 64 and 65 bytes straddle the block boundary.
    for (std::size_t piece : {1, 63, 64, 65}) {
      if (c.message.size() > 5000 && piece < 63) continue;
      Sha256 digest;
      for (std::size_t at = 0; at < c.message.size(); at += piece) digest.add(std::string_view(c.message).substr(at, piece));
      EXPECT_EQ(digest.hex(), c.digest) << "pieces of " << piece << ", message of " << c.message.size() << " bytes";
    }
  }
}


}  // namespace
}  // namespace trevo
