// Part 1.2: stage 1 (input slices) and stage 2 (model slices) of the index table.
#include "frame/index_table.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "input_test_support.h"

namespace trevo {
namespace {

// 1-based word index of a slice in the work array.
template <class T>
int64_t word_of(WorkArray& work, std::span<T> slice) {
  const auto* base = reinterpret_cast<const std::byte*>(work.reals(1, 0).data());
  return (reinterpret_cast<const std::byte*>(slice.data()) - base) / 8 + 1;
}

const std::string kTooBig = " DIMENSION ASKED IS TOO BIG  -----------\n";

TEST(IndexTable, Stage1InTheTablesOrderAndSizes) {
  const int32_t e = 5, n = 7;
  WorkArray work(1000);
  test::Capture out;
  InputSlices s = lay_out_input_slices(work, out.reporter, e, n);
  EXPECT_EQ(word_of(work, s.duplicates), 1);
  EXPECT_EQ(s.duplicates.size(), 5u);
  EXPECT_EQ(word_of(work, s.conn), 1 + e);
  EXPECT_EQ(s.conn.size(), 20u);
  EXPECT_EQ(word_of(work, s.corners), 1 + 5 * e);
  EXPECT_EQ(word_of(work, s.x), 1 + 6 * e);
  EXPECT_EQ(word_of(work, s.y), 1 + 6 * e + n);
  EXPECT_EQ(word_of(work, s.z), 1 + 6 * e + 2 * n);
  EXPECT_EQ(word_of(work, s.node_ids), 1 + 6 * e + 3 * n);
  EXPECT_EQ(s.node_ids.size(), 7u);
  EXPECT_EQ(s.next_free, 1 + input_slice_words(e, n));
  EXPECT_EQ(input_slice_words(e, n), 6 * e + 4 * n);
}

// Part 1.2 edge case: a total need equal to the work size runs; one word more stops.
TEST(IndexTable, Stage1NeedEqualToWorkSizeRunsOneWordMoreStops) {
  const int32_t e = 9, n = 16;
  {
    WorkArray work(input_slice_words(e, n));
    test::Capture out;
    EXPECT_NO_THROW(lay_out_input_slices(work, out.reporter, e, n));
    EXPECT_EQ(out.console.str(), "");
  }
  WorkArray work(input_slice_words(e, n) - 1);
  test::Capture out;
  EXPECT_THROW(lay_out_input_slices(work, out.reporter, e, n), RunStopped);
  EXPECT_EQ(out.console.str(), kTooBig);
  EXPECT_EQ(out.report.str(), kTooBig);
}

// Part 1.2 edge case: a work size of 0 stops at the first check.
TEST(IndexTable, WorkSizeZeroStopsAtTheFirstCheck) {
  WorkArray work(0);
  test::Capture out;
  EXPECT_THROW(lay_out_input_slices(work, out.reporter, 1, 3), RunStopped);
  EXPECT_EQ(out.report.str(), kTooBig);
}

ModelCounts sample_counts() {
  ModelCounts c;
  c.elements = 10;
  c.nodes = 12;
  c.binder_elements = 3;
  c.binder_nodes = 5;
  c.blank_holder_elements = 2;
  c.blank_holder_nodes = 4;
  c.pad_elements = 1;
  c.pad_nodes = 20;  // the largest node count: sizes the last scratch slice
  return c;
}

TEST(IndexTable, Stage2InTheTablesOrderAndSizes) {
  const ModelCounts c = sample_counts();
  const int64_t e = c.elements, n = c.nodes, first = 4;
  WorkArray work(10000);
  test::Capture out;
  ModelSlices s = lay_out_model_slices(work, out.reporter, c, first);
  int64_t w = first;
  auto expect_next = [&](auto slice, int64_t size, const char* name) {
    EXPECT_EQ(word_of(work, slice), w) << name;
    EXPECT_EQ(static_cast<int64_t>(slice.size()), size) << name;
    w += size;
  };
  expect_next(s.conn, 4 * e, "conn");
  expect_next(s.boundary_first_node, n, "boundary");
  expect_next(s.corners, e, "corners");
  expect_next(s.neighbours, 4 * e, "neighbours");
  expect_next(s.material, e, "material");
  expect_next(s.element_work, 8 * e, "element work");
  expect_next(s.x, n, "x");
  expect_next(s.y, n, "y");
  expect_next(s.z, n, "z");
  expect_next(s.u, n, "u");
  expect_next(s.v, n, "v");
  expect_next(s.element_value, e, "element value");
  for (const ToolSlices* tool : {&s.binder, &s.blank_holder, &s.pad}) {
    const int64_t tn = tool == &s.binder ? 5 : tool == &s.blank_holder ? 4 : 20;
    const int64_t te = tool == &s.binder ? 3 : tool == &s.blank_holder ? 2 : 1;
    expect_next(tool->x, tn, "tool x");
    expect_next(tool->y, tn, "tool y");
    expect_next(tool->z, tn, "tool z");
    expect_next(tool->conn, 4 * te, "tool conn");
  }
  expect_next(s.pad_element_data, 1, "pad element data");
  expect_next(s.node_data, n, "node data");
  expect_next(s.labels, e, "labels (added after slice 26)");
  EXPECT_EQ(s.next_free, w);  // the start of the scratch slices
  const int64_t scratch[] = {n, n, e, n, n, n, 4 * e, 20};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(s.scratch[i].first_word, w) << i;
    EXPECT_EQ(s.scratch[i].words, scratch[i]) << i;
    w += scratch[i];
  }
  EXPECT_EQ(w - first, model_slice_words(c));
}

// Part 1.2 edge case at stage level: stage 2 ending exactly at the work size runs; one word more stops.
TEST(IndexTable, Stage2NeedEqualToWorkSizeRunsOneWordMoreStops) {
  const ModelCounts c = sample_counts();
  const int64_t first = 3;
  {
    WorkArray work(first - 1 + model_slice_words(c));
    test::Capture out;
    EXPECT_NO_THROW(lay_out_model_slices(work, out.reporter, c, first));
  }
  WorkArray work(first - 2 + model_slice_words(c));
  test::Capture out;
  EXPECT_THROW(lay_out_model_slices(work, out.reporter, c, first), RunStopped);
  EXPECT_EQ(out.console.str(), kTooBig);
}

// Part 1.2: tool slices are sized by their counts, 0 when the flag is off.
TEST(IndexTable, ToolSlicesEmptyWhenTheirFlagIsOff) {
  RunSettings settings;
  settings.part_nodes = 8;
  settings.binder_elements = 4;  // flag off: not laid out
  settings.pad_flag = 1;
  settings.pad_elements = 2;
  settings.pad_nodes = 6;
  const ModelCounts c = model_counts(settings, 11);
  EXPECT_EQ(c.elements, 11);
  EXPECT_EQ(c.nodes, 8);
  EXPECT_EQ(c.binder_elements, 0);
  EXPECT_EQ(c.pad_elements, 2);
  WorkArray work(model_slice_words(c));
  test::Capture out;
  ModelSlices s = lay_out_model_slices(work, out.reporter, c, 1);
  EXPECT_TRUE(s.binder.x.empty());
  EXPECT_TRUE(s.binder.conn.empty());
  EXPECT_TRUE(s.blank_holder.z.empty());
  EXPECT_EQ(s.pad.conn.size(), 8u);
}

// Part 1.2: stage 2 starts at word (duplicates + 1), so the duplicate list survives while
// every other input slice is overwritten.
TEST(IndexTable, DuplicateListSurvivesStage2) {
  WorkArray work(5000);
  test::Capture out;
  InputSlices input = lay_out_input_slices(work, out.reporter, 40, 50);
  const int32_t duplicates = 3;
  for (int32_t i = 0; i < duplicates; ++i) input.duplicates[static_cast<size_t>(i)] = 10 + i;
  ModelSlices s = lay_out_model_slices(work, out.reporter, sample_counts(), duplicates + 1);
  auto fill = [](auto slice) { std::fill(slice.begin(), slice.end(), -7); };
  fill(s.conn);
  fill(s.boundary_first_node);
  fill(s.corners);
  fill(s.labels);
  fill(s.x);
  EXPECT_EQ(input.duplicates[0], 10);
  EXPECT_EQ(input.duplicates[1], 11);
  EXPECT_EQ(input.duplicates[2], 12);
  EXPECT_LE(word_of(work, s.conn), input_slice_words(40, 50));  // stage 2 reuses stage 1
}

}  // namespace
}  // namespace trevo
