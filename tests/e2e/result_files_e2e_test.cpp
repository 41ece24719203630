// Issues 4 and 5 acceptance: the result files of every validation run that reaches the end,
// read back with the readers written from the spec's tables (tests/output/readers.h), and the
// post file of a run stopped at the final size check.
// Spec: Part 7.1 (outline), Part 7.2 (dynain), Part 7.3 (Nastran, feature lines), Part 7.4
// (blank summary), Part 7.5 (post-file records), Part 1.2 (size line), Part 1.4 (deletion).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "run_results.h"
#include "run_text.h"
#include "validation_runs.h"

namespace trevo::e2e {
namespace {

bool finite(const Point& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

class ResultFiles : public testing::TestWithParam<std::string> {};

// Issue 4 / Part 7.3: <base>_Blank.nas parses; one GRID* pair per part node and one element
// record per solved element (CTRIA3 for triangles), numbered 1..N and 1..E; the elements are the
// input's on their corners (check 1 may reverse the node order), bad quadrilaterals split in two
// (Part 3.1); finite coordinates.
TEST_P(ResultFiles, BlankMeshReadsBackWithTheModelsCounts) {
  const JobRun& run = validation_run(GetParam());
  const InputMesh mesh = input_mesh_of(run);
  ASSERT_TRUE(mesh.error.empty()) << mesh.error;
  const test_readers::NasFile nas = read_blank_file(run);
  ASSERT_TRUE(nas.error.empty()) << nas.error;
  EXPECT_EQ(nas.signature, "$KVO/TREVO");
  EXPECT_EQ(nas.node_count, static_cast<long long>(nas.grids.size()));
  EXPECT_EQ(nas.element_count, static_cast<long long>(nas.elements.size()));
  ASSERT_EQ(nas.grids.size(), mesh.nodes.size());
  const Blank blank = blank_of(nas);
  EXPECT_TRUE(blank.error.empty()) << blank.error;
  const SolvedElements solved = solved_elements(mesh, blank);
  EXPECT_TRUE(solved.error.empty()) << solved.error;
  record_measure("split_quadrilaterals", static_cast<double>(solved.splits));
  for (size_t k = 0; k < blank.nodes.size(); ++k) ASSERT_TRUE(finite(blank.nodes[k])) << "GRID " << k + 1;
  for (size_t e = 0; e < nas.elements.size(); ++e) {
    ASSERT_EQ(nas.elements[e].number, static_cast<long long>(e + 1));
    ASSERT_EQ(nas.elements[e].property, 1);
    for (int k = 0; k < blank.corners[e]; ++k)
      ASSERT_TRUE(blank.elements[e][k] >= 0 && blank.elements[e][k] < static_cast<int>(blank.nodes.size()))
          << "element " << e + 1;
  }
}

// Issue 4 / Part 7.1: <base>.lin parses; its lines chain into loops (a continuation line after
// 500 points repeats the last point), every loop is closed by repeating its first point, the
// loops hold every boundary edge of the mesh once, and every point is the Nastran position of
// a boundary node, consecutive points joined by a boundary edge.
TEST_P(ResultFiles, OutlineReadsBackAsClosedLoopsOverTheBoundaryEdges) {
  const JobRun& run = validation_run(GetParam());
  const InputMesh mesh = input_mesh_of(run);
  const test_readers::LinFile lin = read_lin_file(run, ".lin");
  ASSERT_TRUE(lin.error.empty()) << lin.error;
  EXPECT_EQ(lin.header1, "ZOKA DATA (LARGE)");
  EXPECT_EQ(lin.header2, "PART OUTLINE");
  const Blank blank = blank_of(read_blank_file(run));
  ASSERT_EQ(blank.nodes.size(), mesh.nodes.size());
  const double size = bounding_diagonal(blank.nodes);
  const PointIndex index(blank.nodes, 1e-7 * size);
  std::set<std::pair<long long, long long>> boundary;
  for (size_t e = 0; e < blank.elements.size(); ++e)  // edges of the solved connectivity, by node pair
    for (int k = 0; k < blank.corners[e]; ++k) {
      const long long a = blank.elements[e][k], b = blank.elements[e][(k + 1) % blank.corners[e]];
      const auto key = std::make_pair(std::min(a, b), std::max(a, b));
      if (!boundary.erase(key)) boundary.insert(key);
    }
  const size_t boundary_edges = boundary_edge_count(mesh);
  EXPECT_EQ(boundary.size(), boundary_edges) << "the solved mesh has another boundary than the input";

  std::vector<std::vector<long long>> loops;  // node indices along each loop
  for (size_t l = 0; l < lin.lines.size(); ++l) {
    ASSERT_EQ(lin.lines[l].number, static_cast<long long>(l + 1)) << "line headers numbered from 1";
    std::vector<long long> nodes;
    for (const auto& p : lin.lines[l].points) {
      const long long n = index.find({p[0], p[1], p[2]});
      ASSERT_GE(n, 0) << "line " << l + 1 << ": point (" << p[0] << ", " << p[1] << ", " << p[2]
                      << ") is no node of the blank mesh";
      nodes.push_back(n);
    }
    ASSERT_FALSE(nodes.empty()) << "line " << l + 1 << " has no point";
    const bool continues = !loops.empty() && loops.back().size() > 1 && loops.back().front() != loops.back().back() &&
                           loops.back().back() == nodes.front();
    if (continues)
      loops.back().insert(loops.back().end(), nodes.begin() + 1, nodes.end());
    else
      loops.push_back(nodes);
  }
  size_t edges = 0;
  std::set<std::pair<long long, long long>> seen;
  for (size_t k = 0; k < loops.size(); ++k) {
    const auto& loop = loops[k];
    EXPECT_GE(loop.size(), 4u) << "loop " << k + 1;
    EXPECT_EQ(loop.front(), loop.back()) << "loop " << k + 1 << " is not closed by repeating its first point";
    for (size_t i = 0; i + 1 < loop.size(); ++i) {
      const auto key = std::make_pair(std::min(loop[i], loop[i + 1]), std::max(loop[i], loop[i + 1]));
      EXPECT_TRUE(boundary.count(key)) << "loop " << k + 1 << ": nodes " << key.first + 1 << "-" << key.second + 1
                                       << " are not a boundary edge";
      EXPECT_TRUE(seen.insert(key).second) << "boundary edge " << key.first + 1 << "-" << key.second + 1 << " twice";
      ++edges;
    }
  }
  record_measure("outline_loops", static_cast<double>(loops.size()));
  EXPECT_EQ(edges, boundary_edges) << "the loops must hold every boundary edge once";
}

// Issue 4 / Part 7.3: <base>_fl.lin parses with its two headers and one line per feature line
// of the input (the validation parts have none).
TEST_P(ResultFiles, FeatureLineFileReadsBack) {
  const JobRun& run = validation_run(GetParam());
  const test_readers::LinFile fl = read_lin_file(run, "_fl.lin");
  ASSERT_TRUE(fl.error.empty()) << fl.error;
  EXPECT_EQ(fl.header1, "ZOKA DATA (LARGE)");
  EXPECT_EQ(fl.header2, "PART SURFBDLN");
  EXPECT_EQ(fl.lines.size(), static_cast<size_t>(input_mesh_of(run).feature_lines));
}

// Part 7.4: the area of the blank summary (G14.8) is the area of the written blank mesh.
TEST_P(ResultFiles, BlankSummaryAreaIsTheAreaOfTheBlankMesh) {
  const JobRun& run = validation_run(GetParam());
  const Blank blank = blank_of(read_blank_file(run));
  ASSERT_TRUE(blank.error.empty()) << blank.error;
  double area = 0;
  for (const auto& e : blank.elements) area += element_area(blank.nodes, e);
  const double printed = number_after(run.console, " Area of the blank is");
  ASSERT_TRUE(std::isfinite(printed)) << "no blank summary";
  EXPECT_NEAR(printed / area, 1.0, 1e-6) << "printed " << printed << ", mesh " << area;
  EXPECT_EQ(number_after(run.report, " Area of the blank is"), printed);
}

// Issue 5 / Part 7.2: the dynain nodes are the input part's nodes in internal order (Part 2.2),
// written in the input frame, equal to 1e-6 relative to the part's size; an OFFSET control moves
// them along the nodal normals (Part 3.4 step 7), which the expectation follows.
TEST_P(ResultFiles, DynainNodesAreTheInputPartNodes) {
  const JobRun& run = validation_run(GetParam());
  const InputMesh mesh = input_mesh_of(run);
  const test_readers::DynainFile dyn = read_dynain_file(run);
  ASSERT_TRUE(dyn.error.empty()) << dyn.error;
  ASSERT_EQ(dyn.nodes.size(), mesh.nodes.size());
  std::vector<Point> expected = mesh.nodes;
  if (mesh.offset != 0.0) {  // nodal normals: unweighted sum of upward unit element normals
    std::vector<Point> sum(mesh.nodes.size(), Point{0, 0, 0});
    for (size_t e = 0; e < mesh.elements.size(); ++e) {
      Point n = element_normal(mesh.nodes, mesh.elements[e]);
      if (n[2] < 0) n = {-n[0], -n[1], -n[2]};
      for (int k = 0; k < mesh.corners[e]; ++k)
        for (int a = 0; a < 3; ++a) sum[static_cast<size_t>(mesh.elements[e][k])][a] += n[a];
    }
    for (size_t i = 0; i < expected.size(); ++i) {
      const double l = norm(sum[i]) + 1e-50;
      for (int a = 0; a < 3; ++a) expected[i][a] += mesh.offset * sum[i][a] / l;
    }
  }
  const double size = bounding_diagonal(mesh.nodes);
  double worst = 0;
  size_t worst_i = 0;
  for (size_t i = 0; i < dyn.nodes.size(); ++i) {
    ASSERT_EQ(dyn.nodes[i].number, static_cast<long long>(i + 1));
    ASSERT_EQ(dyn.nodes[i].tc, 0);
    ASSERT_EQ(dyn.nodes[i].rc, 0);
    const double d = distance({dyn.nodes[i].x, dyn.nodes[i].y, dyn.nodes[i].z}, expected[i]);
    if (!(d <= worst)) worst = d, worst_i = i;
  }
  record_measure("dynain_node_difference_rel", worst / size);
  EXPECT_LE(worst / size, 1e-6) << GetParam() << ": node " << worst_i + 1 << " (id " << mesh.node_ids[worst_i]
                                << ") moved by " << worst;
}

// Issue 5 / Part 7.2: the keyword blocks in order; one shell per element numbered 1..E on the
// connectivity of the Nastran blank (a triangle repeats its third node), part 1, four equal
// positive finite thicknesses; one stress and one strain entry per element.
TEST_P(ResultFiles, DynainShellsCarryOnePositiveThicknessPerElement) {
  const JobRun& run = validation_run(GetParam());
  const InputMesh mesh = input_mesh_of(run);
  const test_readers::DynainFile dyn = read_dynain_file(run);
  ASSERT_TRUE(dyn.error.empty()) << dyn.error;
  EXPECT_EQ(dyn.keywords, (std::vector<std::string>{"*NODE", "*ELEMENT_SHELL_THICKNESS", "*INITIAL_STRESS_SHELL",
                                                    "*INITIAL_STRAIN_SHELL", "*END"}));
  const Blank blank = blank_of(read_blank_file(run));
  ASSERT_GE(blank.elements.size(), mesh.elements.size());
  ASSERT_EQ(dyn.shells.size(), blank.elements.size());
  EXPECT_EQ(dyn.stresses.size(), blank.elements.size());
  EXPECT_EQ(dyn.strains.size(), blank.elements.size());
  double h_min = 1e300, h_max = 0;
  for (size_t e = 0; e < dyn.shells.size(); ++e) {
    const auto& s = dyn.shells[e];
    ASSERT_EQ(s.number, static_cast<long long>(e + 1));
    ASSERT_EQ(s.part, 1);
    for (int k = 0; k < 4; ++k) ASSERT_EQ(s.nodes[k] - 1, blank.elements[e][k]) << "element " << e + 1 << " corner " << k + 1;
    for (int k = 0; k < 4; ++k) {
      ASSERT_TRUE(std::isfinite(s.thickness[k]) && s.thickness[k] > 0) << "element " << e + 1 << ": " << s.thickness[k];
      ASSERT_EQ(s.thickness[k], s.thickness[0]) << "element " << e + 1;
    }
    h_min = std::min(h_min, s.thickness[0]), h_max = std::max(h_max, s.thickness[0]);
  }
  record_measure("thickness_min", h_min);
  record_measure("thickness_max", h_max);
}

// Part 1.4 / Part 1.3 step 30: a complete run deletes <base>.QLT, keeps <base>.dat with the
// keep-input flag and deletes the scratch unit 36 (Part 7.2). Without a binder (forming types
// 0, 1, 10, 11) it deletes <base>_3D.lin and never creates <base>_Blank_Onbinder.nas (Part 1.3
// edge case); with one (2, 3, 12, 13) both are kept (Part 1.4 units 92 and 98).
TEST_P(ResultFiles, CompleteRunLeavesExactlyTheResultFilesOfItsFormingType) {
  const JobRun& run = validation_run(GetParam());
  const bool binder = contains(run.console, "Binder Surface: defined");
  EXPECT_FALSE(run.exists(".QLT")) << "a complete run deletes the post file";
  EXPECT_EQ(run.exists("_3D.lin"), binder) << "unit 92 is deleted exactly when no binder surface is defined";
  EXPECT_EQ(run.exists("_Blank_Onbinder.nas"), binder);
  EXPECT_TRUE(run.exists(".dat")) << "keep-input flag 1";
  std::set<std::string> files;
  for (const auto& f : std::filesystem::directory_iterator(run.dir)) files.insert(f.path().filename().string());
  const std::string name = std::filesystem::path(run.base).filename().string();
  std::set<std::string> expected = {name + ".dat",  name + ".OUT",    name + ".console", name + ".lin",
                                    name + "_Blank.nas", name + ".dynain", name + "_fl.lin", "cache.key"};
  if (binder) expected.insert({name + "_3D.lin", name + "_Blank_Onbinder.nas"});
  EXPECT_EQ(files, expected);
}

INSTANTIATE_TEST_SUITE_P(CompleteRuns, ResultFiles,
                         testing::ValuesIn(part_names({ExpectedEnd::complete, ExpectedEnd::complete_without_verdict})),
                         PartName());

// ---- Issue 5: the post file of a run stopped by the final size check ----
// A part-only validation run (no drawbead, no tool) needs a few hundred words after the last
// stage laid out before step 16, fewer than one unit of the work-size argument (1000 words), so
// no argument can stop it exactly at step 17. The job below is the plate with a blank-holder
// mesh (forming type 1, BHFORCE) and 18 drawbeads: its drawbead lists of step 17 need thousands
// of words, and its post file carries every kind of record of Part 7.5 but the binder's.
struct HolderPlateJob {
  static constexpr int kBeads = 18;
  static std::string extra_lines() {
    std::string t = "BHFORCE  1000.0\n";
    for (int k = 0; k < kBeads; ++k) {  // rows at y = -42.5 + 5k, clear of the 4 mm node grid
      char line[160];
      std::snprintf(line, sizeof line, "DRAWBEAD %d 100.0 30.0 -97.5 %.1f 0.0 97.5 %.1f 0.0\n", k + 1, -42.5 + 5 * k,
                    -42.5 + 5 * k);
      t += line;
    }
    for (int j = 0; j <= 5; ++j)  // holder: 11 x 6 nodes on a 20 mm grid over the plate
      for (int i = 0; i <= 10; ++i) t += "BINDNODE " + std::to_string(1 + i + 11 * j) + " " + std::to_string(-100 + 20 * i) +
                                         ".0 " + std::to_string(-50 + 20 * j) + ".0 0.0\n";
    for (int j = 0; j < 5; ++j)
      for (int i = 0; i < 10; ++i) {
        const int n = 1 + i + 11 * j;
        t += "BINDQUAD " + std::to_string(1 + i + 10 * j) + " " + std::to_string(n) + " " + std::to_string(n + 1) + " " +
             std::to_string(n + 12) + " " + std::to_string(n + 11) + "\n";
      }
    return t;
  }
  static const JobRun& run(const std::vector<std::string>& args, const std::string& tag) {
    return cached_job(tag, "generated/plate.dat", extra_lines(), args, {{"FORMTYPE 0", "FORMTYPE 1"}});
  }
};

// The run of HolderPlateJob stopped in step 17 by a too small work size: the search starts one
// unit below the KALL of a normal run and steps down until the run stops after step 16 wrote the
// post file (a non-empty .QLT) with "DIMENSION ASKED IS TOO BIG" as its last record.
const JobRun* run_stopped_in_step_17(double& kall, long long& thousands_used) {
  kall = number_after(HolderPlateJob::run({"20000", "1"}, "holder_plate").console, "KALL=");
  if (!std::isfinite(kall)) return nullptr;
  for (long long thousands = (static_cast<long long>(kall) - 1) / 1000, tries = 0; tries < 5; --thousands, ++tries) {
    const JobRun& run = HolderPlateJob::run({std::to_string(thousands), "1"}, "holder_plate_" + std::to_string(thousands));
    const std::vector<std::string> lines = records_of(run.console);
    if (!lines.empty() && lines.back() == " DIMENSION ASKED IS TOO BIG  -----------" && !run.file(".QLT").empty()) {
      thousands_used = thousands;
      return &run;
    }
  }
  return nullptr;
}

// Part 1.2 Failure handling and Algorithms step 1-2: the final check of step 17 prints the size
// line (IVM=, KALL=) and then the message; KALL is the same words the normal run needed.
TEST(StoppedRun, FinalSizeCheckPrintsTheSizeLineThenTheMessage) {
  double kall = 0;
  long long thousands = 0;
  const JobRun* stopped = run_stopped_in_step_17(kall, thousands);
  ASSERT_TRUE(std::isfinite(kall)) << "no size line in the normal run";
  ASSERT_NE(stopped, nullptr) << "no work size below KALL " << kall << " stopped the run after step 16";
  const std::vector<std::string> lines = records_of(stopped->console);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2].rfind(" IVM=", 0), 0u)
      << "work size " << thousands << " thousand words, KALL " << kall << ": record before the message is \""
      << lines[lines.size() - 2] << "\"";
  EXPECT_EQ(number_after(stopped->console, "KALL="), kall);
  EXPECT_EQ(number_after(stopped->report, "KALL="), kall);
}

// Issue 5: the post file of a run stopped after step 16 by a too small work size (a stopped run
// deletes nothing, Part 1.3) parses record by record with the reader written from Part 7.5's
// table: 4-byte framing, keywords in the Part's order, counts, values, tool nodes raised by h.
TEST(StoppedRun, PostFileOfARunStoppedInStep17ParsesRecordByRecord) {
  double kall = 0;
  long long thousands = 0;
  const JobRun* stopped = run_stopped_in_step_17(kall, thousands);
  ASSERT_NE(stopped, nullptr) << "no work size below KALL " << kall << " stopped the run after step 16";
  record_measure("work_size_thousands", static_cast<double>(thousands));
  const JobRun& run = *stopped;
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_TRUE(run.exists(".dat"));
  EXPECT_TRUE(run.file(".lin").empty() && run.file("_Blank.nas").empty() && run.file(".dynain").empty())
      << "nothing is solved before step 17";

  const test_readers::QltFile qlt = test_readers::read_qlt(run.file(".QLT"));
  ASSERT_TRUE(qlt.error.empty()) << qlt.error;
  constexpr int kHolderElements = 50, kHolderNodes = 66, kBeads = HolderPlateJob::kBeads;
  ASSERT_EQ(qlt.records.size(), static_cast<size_t>(12 + kBeads + kHolderElements + kHolderNodes));
  const auto& r = qlt.records;
  EXPECT_EQ(r[0].payload, "QUILTEKPOST KTV19011101PDW190202022MRN9030303  ");
  ASSERT_EQ(r[1].payload.size(), 9u + 1024u);
  EXPECT_EQ(r[1].keyword(), "TITLE    ");
  EXPECT_EQ(r[1].text(9, run.base.size()), run.base) << "title: the path from the command line";
  EXPECT_TRUE(test_readers::is_blank(r[1].text(9 + run.base.size(), 1024 - run.base.size())));
  const std::vector<std::pair<std::string, size_t>> fixed = {
      {"FORMTYPE ", 4}, {"METHOD   ", 4}, {"MATERIAL ", 28}, {"FRICTION ", 12}, {"BHFORCE  ", 8},
      {"DBEADCTL ", 4}, {"PUNCHCTL ", 8}, {"BHOLDCTL ", 8},  {"HOLDGCTL ", 8},  {"BINDECTL ", 8}};
  for (size_t k = 0; k < fixed.size(); ++k) {
    EXPECT_EQ(r[k + 2].keyword(), fixed[k].first) << "record " << k + 3;
    EXPECT_EQ(r[k + 2].payload.size(), 9 + fixed[k].second) << "record " << k + 3;
  }
  EXPECT_EQ(r[2].i4(9), 1) << "FORMTYPE";
  EXPECT_EQ(r[3].i4(9), 1) << "METHOD of a one-step run";
  const float material[7] = {0.001f, 600.0f, 0.22f, 1.0f, 1.0f, 1.0f, 1.0f};  // columns 1-3, element value, 5-7
  for (int k = 0; k < 7; ++k) EXPECT_EQ(r[4].r4(9 + 4 * static_cast<size_t>(k)), material[k]) << "MATERIAL item " << k + 1;
  EXPECT_EQ(r[5].r4(9), 0.2f);   // FRICTION defaults (Part 2.3)
  EXPECT_EQ(r[5].r4(13), 0.13f);
  EXPECT_EQ(r[5].r4(17), 0.2f);  // pad coefficient
  EXPECT_EQ(r[6].r4(9), 1000.0f);
  EXPECT_EQ(r[6].r4(13), 0.0f);
  EXPECT_EQ(r[7].i4(9), kBeads);
  EXPECT_EQ(r[8].i4(9), 0);
  EXPECT_EQ(r[8].i4(13), 0);
  EXPECT_EQ(r[9].i4(9), kHolderNodes);
  EXPECT_EQ(r[9].i4(13), kHolderElements);
  EXPECT_EQ(r[10].i4(9), 0);
  EXPECT_EQ(r[11].i4(9), 0);
  const double h = 0.05;  // Part 7.5: max(draw depth / 40, 0.05), the plate is flat
  size_t at = 12;
  for (int b = 0; b < kBeads; ++b, ++at) {
    ASSERT_EQ(r[at].keyword(), "DRAWBEAD ");
    ASSERT_EQ(r[at].payload.size(), 9u + 4 + 32);
    EXPECT_EQ(r[at].i4(9), b + 1);
    const double y = -42.5 + 5 * b;
    const double expected[8] = {100.0, 30.0, -97.5, y, 2 * h, 97.5, y, 2 * h};
    for (size_t k = 0; k < 8; ++k)
      EXPECT_NEAR(r[at].r4(13 + 4 * k), expected[k], 1e-5 * (1 + std::abs(expected[k]))) << "bead " << b + 1 << " item " << k;
  }
  for (int e = 0; e < kHolderElements; ++e, ++at) {
    ASSERT_EQ(r[at].keyword(), "BINDQUAD ");
    ASSERT_EQ(r[at].payload.size(), 9u + 20);
    EXPECT_EQ(r[at].i4(9), e + 1);
    const int n = 1 + e % 10 + 11 * (e / 10);  // counter-clockwise from above: kept as given
    const int corners[4] = {n, n + 1, n + 12, n + 11};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(r[at].i4(13 + 4 * k), corners[k]) << "BINDQUAD " << e + 1;
  }
  for (int n = 0; n < kHolderNodes; ++n, ++at) {
    ASSERT_EQ(r[at].keyword(), "BINDNODE ");
    ASSERT_EQ(r[at].payload.size(), 9u + 16);
    EXPECT_EQ(r[at].i4(9), n + 1);
    EXPECT_EQ(r[at].r4(13), static_cast<float>(-100 + 20 * (n % 11))) << "BINDNODE " << n + 1;
    EXPECT_EQ(r[at].r4(17), static_cast<float>(-50 + 20 * (n / 11))) << "BINDNODE " << n + 1;
    EXPECT_NEAR(r[at].r4(21), h, 1e-7) << "BINDNODE " << n + 1 << ": z + h";
  }
}

}  // namespace
}  // namespace trevo::e2e
