// Part 2.2: part mesh (two passes), tool meshes, duplicates, unused nodes, read errors.
#include "input/mesh_readers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "input_test_support.h"

namespace trevo {
namespace {

std::string job(const std::string& body, int formtype = 0, const std::string& material = "MATERIAL  1.0\n") {
  return "$$KVO/TREVO\nFORMTYPE " + std::to_string(formtype) + "\n" + material + body;
}

// Scan, stage 1, first pass, stage 2 and second pass of one job.
struct PartRead {
  test::Capture out;
  RunSettings settings;
  WorkArray work{100000};
  FirstPass first;
  SecondPass second;
  ModelSlices model;
  int32_t kept = 0;
  int32_t first_nodes = 0;  // the first pass's mesh, copied before stage 2 is written
  std::vector<int32_t> first_conn, first_corners;
  std::string first_console;  // the console after the first pass
  bool stopped = false;
  PartRead(const std::string& text, int32_t extra_capacity = 0) {
    KeywordFile file = KeywordFile::from_text(text);
    try {
      scan_keyword_file(file, settings, out.reporter);
      out.console.str("");
      out.report.str("");
      InputSlices input = lay_out_input_slices(work, out.reporter, settings.part_elements, settings.part_nodes);
      first = read_part_mesh_first_pass(file, settings, input, out.reporter);
      kept = first.mesh.ne;
      first_nodes = first.mesh.nn;
      first_conn.assign(first.mesh.conn.begin(), first.mesh.conn.end());  // stage 2 overwrites the view
      first_corners.assign(first.mesh.corners.begin(), first.mesh.corners.end());
      first_console = out.console.str();
      model = lay_out_model_slices(work, out.reporter, model_counts(settings, kept + extra_capacity),
                                   first.duplicate_count + 1);
      second = read_part_mesh_second_pass(file, first.duplicates, model, settings, out.reporter);
    } catch (const RunStopped&) {
      stopped = true;
    }
  }
  std::array<int32_t, 4> element(int32_t e) const {
    const Mesh& m = second.mesh;
    return {m.node(e, 0), m.node(e, 1), m.node(e, 2), m.node(e, 3)};
  }
};

const std::string kFourNodes = "SHETNODE 5 0 0 0\nSHETNODE 6 1 0 0\nSHETNODE 7 1 1 0\nSHETNODE 8 0 1 0\n";

// Part 2.2 edge case: nodes 5 6 7 7 make a triangle.
TEST(MeshReaders, RepeatedThirdNodeIsATriangle) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nSHETQUAD 2 5 7 8 8 1.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.second.mesh.corners[0], 3);
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{0, 1, 2, 2}));
}

// Part 2.2 edge case: 5 6 7 0 is a triangle when no node has identifier 0.
TEST(MeshReaders, FourthIdentifierZeroIsATriangleWithoutNodeZero) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 0 1.0\nSHETQUAD 2 5 7 8 0 1.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.second.mesh.corners[0], 3);
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{0, 1, 2, 2}));
}

// Part 2.2 edge case: ... and a quadrilateral using node identifier 0 when some node has it.
TEST(MeshReaders, FourthIdentifierZeroIsANodeWhenNodeZeroExists) {
  PartRead read(job("SHETNODE 0 0 1 0\n" + kFourNodes + "SHETQUAD 1 5 6 7 0 1.0\nSHETQUAD 2 0 7 8 8 1.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.second.mesh.corners[0], 4);
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{1, 2, 3, 0}));
}

// Part 2.2 edge case: two triangles with the same corners in any order: the first is deleted.
// (The step's literal rule, first k-1 corners of i among the first k-1 of j, would not pair
// (5,6,7) with (7,5,6); the edge case wins, see mark_duplicates.)
TEST(MeshReaders, DuplicateTrianglesFirstDeleted) {
  PartRead read(job(kFourNodes + "SHETQUAD 11 5 6 7 7 1.0\nSHETQUAD 12 5 7 8 8 2.0\nSHETQUAD 13 7 5 6 6 3.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.first.duplicate_count, 1);
  EXPECT_EQ(std::vector<int32_t>(read.first.duplicates.begin(), read.first.duplicates.end()), std::vector<int32_t>{0});
  const std::string line = "    1 Duplicate elements deleted .......\n";
  EXPECT_EQ(read.first_console, line);
  EXPECT_EQ(read.out.report.str(), line);
  EXPECT_EQ(read.second.elements_stored, 2);
  EXPECT_EQ(read.model.labels[0], 12);
  EXPECT_EQ(read.model.labels[1], 13);
  EXPECT_EQ(read.model.element_value[1], 3.0);
  EXPECT_EQ(read.settings.element_value, 2.0);  // of the first stored element
}

TEST(MeshReaders, DuplicateQuadrilateralsInAnyOrder) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 8 1.0\nSHETQUAD 2 7 8 5 6 1.0\nSHETQUAD 3 5 6 8 7 1.0\n"));
  ASSERT_FALSE(read.stopped);
  EXPECT_EQ(read.first.duplicate_count, 2);
  EXPECT_EQ(read.second.elements_stored, 1);
  EXPECT_EQ(read.model.labels[0], 3);
  PartRead other(job(kFourNodes + "SHETNODE 9 2 2 0\nSHETQUAD 1 5 6 7 8 1.0\nSHETQUAD 2 5 6 7 9 1.0\n"
                     "SHETQUAD 3 5 6 7 7 1.0\n"));
  ASSERT_FALSE(other.stopped);
  EXPECT_EQ(other.first.duplicate_count, 0);  // another fourth corner, or another corner count
}

// Part 2.2 edge case: identifiers 100, 7, 55 become internal nodes 1, 2, 3 (0, 1, 2 here).
TEST(MeshReaders, NonConsecutiveIdentifiersNumberedInLineOrder) {
  PartRead read(job("SHETQUAD 1 55 100 7 7 1.0\nSHETNODE 100 1 0 0\nSHETNODE 7 2 0 0\nSHETNODE 55 3 0 0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{2, 0, 1, 1}));
  EXPECT_EQ(read.second.mesh.x[0], 1.0);
  EXPECT_EQ(read.second.mesh.x[2], 3.0);
}

TEST(MeshReaders, HugeSparseIdentifiersUseTheFirstLine) {
  PartRead read(job("SHETNODE 2147483647 1 0 0\nSHETNODE -2147483648 2 0 0\nSHETNODE 9 3 0 0\nSHETNODE 9 4 0 0\n"
                    "SHETQUAD 1 9 2147483647 -2147483648 -2147483648 1.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{2, 0, 1, 1}));
  EXPECT_EQ(read.second.mesh.nn, 3);  // the second node 9 is unused
}

// Part 2.2 edge case: an unused node line is dropped and the later nodes move down by one.
TEST(MeshReaders, UnusedNodeDroppedLaterNodesMoveDown) {
  PartRead read(job("SHETNODE 1 10 0 0\nSHETNODE 2 20 0 0\nSHETNODE 3 30 0 0\nSHETNODE 4 40 0 0\nSHETNODE 5 50 0 0\n"
                    "SHETQUAD 1 1 3 4 5 1.0\n"));
  ASSERT_FALSE(read.stopped);
  EXPECT_EQ(read.second.mesh.nn, 4);
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{0, 1, 2, 3}));
  EXPECT_EQ(std::vector<double>(read.second.mesh.x.begin(), read.second.mesh.x.end()),
            (std::vector<double>{10, 30, 40, 50}));
  EXPECT_EQ(read.second.renumbering.dropped, std::vector<int32_t>{1});
  EXPECT_EQ(read.second.renumbering.renumbered(3), 2);
  EXPECT_EQ(read.second.renumbering.renumbered(1), 1);  // the dropped node's number: the next node's
  EXPECT_EQ(read.first_nodes, 4);
}

// Part 2.2 edge case: with one MATERIAL line the material field is not read; every element has material 1.
TEST(MeshReaders, SingleMaterialLineGivesMaterialOne) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 8 1.5 xyz\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.model.material[0], 0);  // 0-based row of material 1
  EXPECT_EQ(read.model.element_value[0], 1.5);
}

TEST(MeshReaders, SeveralMaterialLinesReadTheMaterialNumber) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0 2\nSHETQUAD 2 5 7 8 8 1.0 1\n", 0,
                    "MATERIAL  1.0\nMATERIAL  2.0\n"));
  ASSERT_FALSE(read.stopped) << read.out.console.str();
  EXPECT_EQ(read.model.material[0], 1);
  EXPECT_EQ(read.model.material[1], 0);
}

// Left to the implementer: a material number without a MATERIAL row is a read error.
TEST(MeshReaders, MaterialNumberOutOfRangeIsAReadError) {
  const std::string line = "SHETQUAD 1 5 6 7 7 1.0 3";
  PartRead read(job(kFourNodes + line + "\n", 0, "MATERIAL  1.0\nMATERIAL  2.0\n"));
  EXPECT_TRUE(read.stopped);
  EXPECT_EQ(read.out.console.str(), test::read_error_text(kDataError, line));
  EXPECT_EQ(read.out.report.str(), test::read_error_text(kDataError, line));
}

// Part 2.2, Left to the implementer: an element naming an identifier without a node line.
TEST(MeshReaders, UnknownNodeIdentifierIsAReadError) {
  const std::string line = "SHETQUAD 2 5 6 9 9 1.0";
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\n" + line + "\n"));
  EXPECT_TRUE(read.stopped);
  EXPECT_EQ(read.out.console.str(), test::read_error_text(kDataError, line));
  EXPECT_EQ(read.out.report.str(), test::read_error_text(kDataError, line));
}

// Part 2.2, Left to the implementer: a part mesh in a file without MATERIAL lines is rejected.
TEST(MeshReaders, NoMaterialLineIsRejected) {
  PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nSHETQUAD 2 5 7 8 8 1.0\n", 0, ""));
  EXPECT_TRUE(read.stopped);
  const std::string expected = test::read_error_text(
      "******* Error in the following data: the input file has no MATERIAL line *******", "SHETQUAD 1 5 6 7 7 1.0");
  EXPECT_EQ(read.out.console.str(), expected);
  EXPECT_EQ(read.out.report.str(), expected);
}

// Part 2.2, Failure handling: too few values or a non-numeric field in a mesh line.
TEST(MeshReaders, UnreadableMeshLinesAreReadErrors) {
  for (const std::string bad : {"SHETQUAD 1 5 6 7 7", "SHETQUAD 1 5 6 7.5 7 1.0", "SHETNODE 9 1.0 2.0",
                                "SHETNODE 9 1.0 x 2.0", "SHETNODE x 1 2 3", "SHETNODE 9 1 , 2"}) {
    PartRead read(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\n" + bad + "\n"));
    EXPECT_TRUE(read.stopped) << bad;
    EXPECT_EQ(read.out.report.str(), test::read_error_text(kDataError, bad)) << bad;
  }
}

// Part 2.2: FLANGING sets the flat-blank-only switch (second pass); the last line wins.
TEST(MeshReaders, FlangingSetsTheFlatBlankOnlySwitch) {
  PartRead read(job(kFourNodes + "FLANGING 0\nSHETQUAD 1 5 6 7 7 1.0\nFLANGING 1\n"));
  ASSERT_FALSE(read.stopped);
  EXPECT_EQ(read.settings.flat_blank_only, 1);
  PartRead missing(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nFLANGING\n"));
  EXPECT_TRUE(missing.stopped);
  EXPECT_EQ(missing.out.report.str(), test::read_error_text(kDataError, "FLANGING"));
}

// Part 3.1 (element capacity): the slots after the stored elements are preset for the split.
TEST(MeshReaders, CapacityTailIsPresetForTheSplit) {
  PartRead read(job(kFourNodes + "SHETQUAD 7 5 6 7 8 1.0\n"), 2);
  ASSERT_FALSE(read.stopped);
  EXPECT_EQ(read.second.mesh.ne, 3);
  EXPECT_EQ(read.second.elements_stored, 1);
  EXPECT_EQ(read.model.labels[0], 7);
  for (int32_t e = 1; e < 3; ++e) {
    EXPECT_EQ(read.model.labels[static_cast<size_t>(e)], 0);
    EXPECT_EQ(read.model.corners[static_cast<size_t>(e)], 0);
    EXPECT_EQ(read.second.mesh.node(e, 0), kNone);
  }
  EXPECT_EQ(read.element(0), (std::array<int32_t, 4>{0, 1, 2, 3}));
}

Mesh read_one_tool(const std::string& text, ToolMesh tool, test::Capture& out, WorkArray& work) {
  RunSettings settings;
  KeywordFile file = KeywordFile::from_text(text);
  scan_keyword_file(file, settings, out.reporter);
  out.console.str("");
  out.report.str("");
  ModelSlices model = lay_out_model_slices(work, out.reporter, model_counts(settings, settings.part_elements), 1);
  ToolSlices& slices = tool == ToolMesh::blank_holder ? model.blank_holder
                       : tool == ToolMesh::binder     ? model.binder
                                                      : model.pad;
  return read_tool_mesh(file, tool, slices, out.reporter);
}

TEST(MeshReaders, ToolMeshReadWithItsOwnNumbering) {
  test::Capture out;
  WorkArray work(100000);
  Mesh pad = read_one_tool(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nHOLDNODE 30 0 0 0\nHOLDNODE 20 9 9 9\n"
                               "HOLDNODE 10 1 0 0\nHOLDNODE 40 1 1 0\nHOLDQUAD 1 30 10 40 0\nHOLDQUAD 2 10 40 30 30\n",
                               10),
                           ToolMesh::pad, out, work);
  EXPECT_EQ(pad.ne, 2);
  EXPECT_EQ(pad.nn, 3);  // node 20 is unused
  EXPECT_EQ(pad.node(0, 0), 0);
  EXPECT_EQ(pad.node(0, 1), 1);
  EXPECT_EQ(pad.node(0, 3), 2);  // triangle: corner 4 = corner 3
  EXPECT_EQ(pad.node(1, 2), 0);
  EXPECT_EQ(pad.x[1], 1.0);
  EXPECT_TRUE(pad.corners.empty());
  EXPECT_EQ(corner_count(pad, 0), 3);
}

// Part 2.2, Failure handling: the tool readers' node-identifier pass prints its row line first.
TEST(MeshReaders, ToolNodeIdentifierErrorPrintsTheRowLineFirst) {
  test::Capture out;
  WorkArray work(100000);
  const std::string bad = "FLANNODE 1.5 0 0 0";
  EXPECT_THROW(read_one_tool(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nFLANNODE 1 0 0 0\nFLANNODE 2 1 0 0\n" + bad +
                                 "\nFLANQUAD 1 1 2 3 3\n",
                                 2),
                             ToolMesh::binder, out, work),
               RunStopped);
  const std::string expected = test::read_error_text(kDataError, bad, kToolRowError);
  EXPECT_EQ(out.console.str(), expected);
  EXPECT_EQ(out.report.str(), expected);
  EXPECT_EQ(expected.substr(0, 52), " ******** Data input in the following row are error\n");
}

TEST(MeshReaders, ToolCoordinateErrorHasNoRowLine) {
  test::Capture out;
  WorkArray work(100000);
  const std::string bad = "BINDNODE 3 1 1";
  EXPECT_THROW(read_one_tool(job(kFourNodes + "SHETQUAD 1 5 6 7 7 1.0\nBINDNODE 1 0 0 0\nBINDNODE 2 1 0 0\n" + bad +
                                 "\nBINDQUAD 1 1 2 3 3\n",
                                 1),
                             ToolMesh::blank_holder, out, work),
               RunStopped);
  EXPECT_EQ(out.report.str(), test::read_error_text(kDataError, bad));
}

// The spec's literal (quadratic) algorithms, to check the linear ones against: unused nodes
// removed one at a time with shifting, and each element compared with every later one.
struct Literal {
  std::vector<std::array<int32_t, 4>> conn;
  std::vector<int> corners;
  int32_t nodes = 0;
  std::vector<int32_t> duplicates;
};

Literal literal_first_pass(const std::vector<int32_t>& ids, const std::vector<std::array<int32_t, 4>>& elements) {
  Literal lit;
  lit.nodes = static_cast<int32_t>(ids.size());
  const bool zero = std::find(ids.begin(), ids.end(), 0) != ids.end();
  for (const auto& el : elements) {
    const bool tri = el[3] == el[2] || (el[3] == 0 && !zero);
    std::array<int32_t, 4> c{};
    for (int k = 0; k < (tri ? 3 : 4); ++k) {
      c[static_cast<size_t>(k)] = static_cast<int32_t>(std::find(ids.begin(), ids.end(), el[static_cast<size_t>(k)]) - ids.begin());
    }
    if (tri) c[3] = c[2];
    lit.conn.push_back(c);
    lit.corners.push_back(tri ? 3 : 4);
  }
  for (;;) {  // Algorithms step 3, literally
    int32_t unused = -1;
    for (int32_t n = 0; n < lit.nodes && unused < 0; ++n) {
      bool used = false;
      for (const auto& c : lit.conn) used = used || std::find(c.begin(), c.end(), n) != c.end();
      if (!used) unused = n;
    }
    if (unused < 0) break;
    for (auto& c : lit.conn) {
      for (auto& n : c) n -= n > unused ? 1 : 0;
    }
    --lit.nodes;
  }
  const size_t ne = lit.conn.size();
  for (size_t i = 0; i < ne; ++i) {  // Duplicate elements step 1, literally
    const int k = lit.corners[i];
    int64_t sum_i = 0;
    for (int m = 0; m < k; ++m) sum_i += lit.conn[i][static_cast<size_t>(m)];
    for (size_t j = i + 1; j < ne; ++j) {
      if (lit.corners[j] != k) continue;
      int64_t sum_j = 0;
      for (int m = 0; m < k; ++m) sum_j += lit.conn[j][static_cast<size_t>(m)];
      if (sum_j != sum_i) continue;
      int found = 0;
      for (int a = 0; a < k - 1; ++a) {  // among all k corners of j: the edge case's reading
        bool occurs = false;
        for (int b = 0; b < k; ++b) occurs = occurs || lit.conn[i][static_cast<size_t>(a)] == lit.conn[j][static_cast<size_t>(b)];
        found += occurs ? 1 : 0;
      }
      if (found == k - 1) {
        lit.duplicates.push_back(static_cast<int32_t>(i));
        break;
      }
    }
  }
  return lit;
}

// Part 2.2: the linear unused-node removal and the hashed duplicate search give exactly the
// spec's literal results, including degenerate elements (repeated corners).
TEST(MeshReaders, LinearAlgorithmsMatchTheLiteralOnes) {
  std::mt19937 random(20261206);
  for (int trial = 0; trial < 300; ++trial) {
    const int nodes = 3 + static_cast<int>(random() % 9);
    const int elements = 1 + static_cast<int>(random() % 14);
    std::vector<int32_t> ids;
    for (int n = 0; n < nodes; ++n) ids.push_back(static_cast<int32_t>(random() % 12));  // repeats and 0 possible
    std::vector<std::array<int32_t, 4>> els;
    std::string body;
    for (int n = 0; n < nodes; ++n) body += "SHETNODE " + std::to_string(ids[static_cast<size_t>(n)]) + " " + std::to_string(n) + " 0 0\n";
    for (int e = 0; e < elements; ++e) {
      std::array<int32_t, 4> el{};
      for (auto& id : el) id = ids[random() % ids.size()];
      if (random() % 3 == 0) el[3] = el[2];
      if (random() % 5 == 0 && !els.empty()) {  // a permuted copy of an earlier element
        el = els[random() % els.size()];
        std::rotate(el.begin(), el.begin() + 1, el.begin() + (el[3] == el[2] ? 3 : 4));
        if (el[3] != el[2] && el[2] == el[1]) el = els.back();
      }
      els.push_back(el);
      body += "SHETQUAD " + std::to_string(e + 1) + " " + std::to_string(el[0]) + " " + std::to_string(el[1]) + " " +
              std::to_string(el[2]) + " " + std::to_string(el[3]) + " 1.0\n";
    }
    const Literal lit = literal_first_pass(ids, els);
    PartRead read(job(body));
    ASSERT_FALSE(read.stopped) << body << read.out.console.str();
    ASSERT_EQ(std::vector<int32_t>(read.first.duplicates.begin(), read.first.duplicates.end()), lit.duplicates) << body;
    ASSERT_EQ(read.first_nodes, lit.nodes) << body;
    size_t next_dup = 0;
    int32_t kept = 0;
    for (size_t i = 0; i < lit.conn.size(); ++i) {
      if (next_dup < lit.duplicates.size() && lit.duplicates[next_dup] == static_cast<int32_t>(i)) {
        ++next_dup;
        continue;
      }
      for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(read.first_conn[static_cast<size_t>(k * read.kept + kept)], lit.conn[i][static_cast<size_t>(k)])
            << body << " element " << i;
      }
      ASSERT_EQ(read.first_corners[static_cast<size_t>(kept)], lit.corners[i]);
      ++kept;
    }
    ASSERT_EQ(read.second.elements_stored, kept);
  }
}

}  // namespace
}  // namespace trevo
