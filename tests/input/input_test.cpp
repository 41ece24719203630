// Keyword files read as the driver reads them: the readers' messages character for character;
// the part mesh against the plain quadratic rules on random meshes; a small job using every
// reader read as written; randomly corrupted copies of it read into a consistent model or
// stopped with a message, never a crash or a hang (CI runs Fuzz* under ASan/UBSan).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "core/index_table.h"
#include "core/run_stop.h"
#include "input/controls.h"
#include "input/keyword_scan.h"
#include "input/mesh_readers.h"

namespace trevo {
namespace {

// Everything a read produced; stopped when it ended in a stop (its message on the console).
// extra_capacity: element slots beyond the elements kept (for the split of bad quadrilaterals).
struct JobRead {
  std::ostringstream console, report;
  Reporter reporter{console, &report};
  WorkArray work{20000};
  RunSettings settings;
  FirstPass first;  // its mesh view is overwritten by stage 2; the duplicate list survives
  ModelSlices model;
  SecondPass second;
  std::vector<Mesh> tools;  // blank-holder, binder, pad: those present
  ProcessArrays arrays;
  FeatureLines features;
  bool stopped = false;

  explicit JobRead(const std::string& text, int32_t extra_capacity = 0) {
    const KeywordFile file = KeywordFile::from_text(text);
    RunSettings& s = settings;
    try {
      scan_keyword_file(file, s, reporter);
      InputSlices input = lay_out_input_slices(work, reporter, s.part_elements, s.part_nodes);
      first = read_part_mesh_first_pass(file, s, input, reporter);
      const int32_t capacity = first.mesh.ne + extra_capacity;
      model = lay_out_model_slices(work, reporter, model_counts(s, capacity), first.duplicate_count + 1);
      second = read_part_mesh_second_pass(file, first.duplicates, model, s, reporter);
      for (auto [flag, tool, slices] : {std::tuple{s.blank_holder_flag, ToolMesh::blank_holder, &model.blank_holder},
                                        std::tuple{s.binder_flag, ToolMesh::binder, &model.binder},
                                        std::tuple{s.pad_flag, ToolMesh::pad, &model.pad}})
        if (flag == 1) tools.push_back(read_tool_mesh(file, tool, *slices, reporter));
      StageLayout stage(work, reporter, model.scratch.back().first_word + model.scratch.back().words);
      for (auto& column : arrays.drawbead) column = stage.reals(s.drawbead_count);
      arrays.contratx_int = stage.ints(s.contratx_count);
      arrays.contratx_real = stage.reals(s.contratx_count);
      arrays.contraty_int = stage.ints(s.contraty_count);
      arrays.contraty_real = stage.reals(s.contraty_count);
      arrays.material = stage.reals(int64_t{kMaterialColumns} * s.material_count);
      read_controls(file, s, arrays, model.material.first(static_cast<size_t>(capacity)),
                    model.element_value.first(static_cast<size_t>(capacity)), reporter);
      features = read_feature_lines(file, second.renumbering, second.mesh.nn, reporter);
    } catch (const RunStopped&) {
      stopped = true;
    }
  }
};

const std::string kSig = "$$KVO/TREVO\n";
const std::string kPart = "MATERIAL  1.0\nSHETNODE 1 0 0 0\nSHETNODE 2 1 0 0\nSHETNODE 3 1 1 0\nSHETQUAD 1 1 2 3 3 1.0 1\n";
const std::string kForm0 = "\n Tool Definition\n\tBinder Surface: undefined\n\tBlank-holder  : undefined\n"
                           "\tHolder        : undefined\n\n";
std::string tool(const std::string& p) {  // a triangle on three nodes
  return p + "NODE 1 0 0 0\n" + p + "NODE 2 1 0 0\n" + p + "NODE 3 1 1 0\n" + p + "QUAD 1 1 2 3 3\n";
}

// The read-error report: [preamble,] a blank line, the message, the line as a 200-column record, a blank line.
std::string read_error(std::string_view message, std::string line, std::string_view preamble = {}) {
  line.resize(kRecordLength, ' ');
  return (preamble.empty() ? "" : " " + std::string(preamble) + "\n") + "\n " + std::string(message) + "\n" + line + "\n\n";
}

// The readers' messages on the console and in the run report (they differ in places).
TEST(InputMessages, ExactTextsOnConsoleAndReport) {
  const std::string formtype = " Error in FORMING TYPE........\n",
                    error1 = " ERROR 1:  Error in Keyword of input data, or error in file name\n";
  struct Case { std::string text, console, report; };
  std::vector<Case> cases = {
      {"$KVO/TREVO\nFORMTYPE 0\n" + kPart, error1, error1},  // the signature is columns 3-11
      {kSig + "FORMTYPE -1\n" + kPart, formtype, " Error in FORMING TYPE.........\n"},
      {kSig + "FORMTYPE ,\n" + kPart, formtype, " Error in FORMING TYPE.........\n"},
      {kSig + "FORMTYPE 1.5\n" + kPart, read_error(kInputDataError, "FORMTYPE 1.5"), ""},
      {kSig + "FORMTYPE 1\n" + kPart + "BINDNODE 1 0 0 0\n", " ERROR 2: Blank Holder mesh does not exist or incomplete\n",
       " ERROR 2  Blank Holder mesh does not exist or incomplete\n"},
      {kSig + "FORMTYPE 10\n" + kPart + "HOLDQUAD 1 1 2 3 3\n", " ERROR 4: Pad mesh does not exist or incomplete\n", ""},
      {kSig + "FORMTYPE 0\n" + kPart + "BHFORCE  abc\n",
       kForm0 + " Reading input data, please wait.......\n" + read_error(kDataError, "BHFORCE  abc"),
       kForm0 + read_error(kDataError, "BHFORCE  abc")},
      {kSig + "FORMTYPE 2\n" + kPart + tool("FLAN") + "FLANNODE 1.5 0 0 0\n",
       read_error(kDataError, "FLANNODE 1.5 0 0 0", kToolRowError), ""},
      {kSig + "FORMTYPE 1\n" + kPart + tool("BIND") + "BINDNODE 4 1 1\n", read_error(kDataError, "BINDNODE 4 1 1"), ""},
      {kSig + "FORMTYPE 0\nMATERIAL  2.0\n" + kPart + "SHETQUAD 2 1 2 3 3 1.0 3\n",
       read_error(kDataError, "SHETQUAD 2 1 2 3 3 1.0 3"), ""},  // no material 3
  };
  for (std::string bad : {"FLANGING", "MATERIAL x 1.0", "DRAWBEAD 2 1 2", "CONTRATX", "FEATLINE 1 501", "FTLNNODE 1 2 4"})
    cases.push_back(
        {kSig + "FORMTYPE 0\n" + kPart + (bad[1] == 'T' ? "FEATLINE 1 3\n" : "") + bad + "\n", read_error(kDataError, bad), ""});
  for (const auto& c : cases) {
    const JobRead job(c.text);
    EXPECT_TRUE(job.stopped) << c.text;
    EXPECT_TRUE(job.console.str().ends_with(c.console)) << c.text << "console:\n" << job.console.str();
    EXPECT_TRUE(job.report.str().ends_with(c.report.empty() ? c.console : c.report)) << c.text << "report:\n" << job.report.str();
  }
}

using Row = std::array<int32_t, 4>;

// The plain rules: a triangle repeats corner 3 as corner 4 (or gives identifier 0 when no node
// has it); the first unused node goes, the later ones moving down, until every node is used; an
// element is deleted when a later one has its corner count, its corner sum and its first k-1
// corners among its own. Returns the elements kept, the node count and the deleted elements.
std::tuple<std::vector<Row>, int32_t, std::vector<int32_t>> plain_read(const std::vector<int32_t>& ids,
                                                                       const std::vector<Row>& elements) {
  std::vector<Row> conn, kept;
  std::vector<int> corners;
  std::vector<int32_t> deleted;
  for (const Row& el : elements) {
    corners.push_back(el[3] == el[2] || (el[3] == 0 && std::count(ids.begin(), ids.end(), 0) == 0) ? 3 : 4);
    Row& c = conn.emplace_back();
    for (int m = 0; m < 4; ++m)
      c[m] = static_cast<int32_t>(std::ranges::find(ids, el[std::min(m, corners.back() - 1)]) - ids.begin());
  }
  auto nodes = static_cast<int32_t>(ids.size());
  for (int32_t n = 0; n < nodes;) {
    if (std::ranges::any_of(conn, [n](const Row& c) { return std::ranges::count(c, n) > 0; })) { ++n; continue; }
    for (Row& c : conn) std::ranges::for_each(c, [n](int32_t& m) { m -= m > n; });
    --nodes;
  }
  for (size_t i = 0; i < conn.size(); ++i) {
    const int k = corners[i];
    bool duplicate = false;
    for (size_t j = i + 1; j < conn.size(); ++j) {
      int64_t sum = 0, found = 0;
      for (int m = 0; m < k; ++m) sum += conn[i][m] - conn[j][m];
      for (int a = 0; a < k - 1; ++a) found += std::count(conn[j].begin(), conn[j].begin() + k, conn[i][a]) > 0;
      duplicate = duplicate || (corners[j] == k && sum == 0 && found == k - 1);
    }
    if (duplicate) deleted.push_back(static_cast<int32_t>(i));
    else kept.push_back(conn[i]);
  }
  return {kept, nodes, deleted};
}

TEST(MeshReaders, SameResultAsThePlainRules) {
  std::mt19937 random(20261206);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<int32_t> ids(3 + random() % 9);
    std::vector<Row> elements(1 + random() % 14);
    std::string text = "$$KVO/TREVO\nFORMTYPE 0\nMATERIAL  1.0\n";
    for (size_t n = 0; n < ids.size(); ++n)  // repeated identifiers and 0 possible
      text += "SHETNODE " + std::to_string(ids[n] = static_cast<int32_t>(random() % 12)) + " " + std::to_string(n) + " 0 0\n";
    for (size_t e = 0; e < elements.size(); ++e) {
      Row& el = elements[e];
      for (auto& id : el) id = ids[random() % ids.size()];
      if (random() % 3 == 0) el[3] = el[2];
      if (random() % 5 == 0 && e > 0) {  // an earlier element with its corners turned
        el = elements[random() % e];
        std::rotate(el.begin(), el.begin() + 1, el.begin() + (el[3] == el[2] ? 3 : 4));
      }
      text += "SHETQUAD " + std::to_string(e + 1);
      for (int32_t id : el) text += " " + std::to_string(id);
      text += " 1.0\n";
    }
    const auto [kept, nodes, deleted] = plain_read(ids, elements);
    const JobRead job(text);
    ASSERT_FALSE(job.stopped) << text << job.console.str();
    ASSERT_EQ(std::vector<int32_t>(job.first.duplicates.begin(), job.first.duplicates.end()), deleted) << text;
    ASSERT_EQ(job.second.mesh.nn, nodes) << text;
    ASSERT_EQ(job.second.elements_stored, static_cast<int32_t>(kept.size())) << text;
    for (int32_t e = 0; e < job.second.elements_stored; ++e)
      for (int k = 0; k < 4; ++k) ASSERT_EQ(job.second.mesh.node(e, k), kept[e][k]) << text << "element " << e;
  }
}


std::string every_reader_job() {
  std::ifstream in(TREVO_SOURCE_DIR "/tests/input/data/every_reader.dat");
  EXPECT_TRUE(in) << "cannot open every_reader.dat";
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Duplicate triangle pair (first deleted), an unused node on the sixth node line, two material
// forms (element values from column 8), last-line-wins controls, feature lines renumbered.
TEST(FuzzKeywordFile, BaseJobReadsAsWritten) {
  const JobRead job(every_reader_job());
  ASSERT_FALSE(job.stopped) << job.console.str();
  const RunSettings& s = job.settings;
  EXPECT_EQ((std::vector<int32_t>{job.first.duplicate_count, job.second.elements_stored, job.second.mesh.nn,
                                  job.model.labels[9], s.iteration_limit, job.arrays.contratx_int[1]}),
            (std::vector<int32_t>{1, 10, 16, 21, 250, 3}));
  EXPECT_EQ(std::vector<double>(job.model.element_value.begin(), job.model.element_value.end()),
            (std::vector<double>{1, 1.5, 1, 1.5, 1, 1.5, 1, 1.5, 1, 1.5}));
  ASSERT_EQ(job.tools.size(), 3u);
  for (const Mesh& tool : job.tools) EXPECT_TRUE(tool.ne == 4 && tool.nn == 9 && tool.x.size() == 9 && tool.x[8] == 2);
  EXPECT_EQ((std::vector<double>{s.friction1, s.friction2, s.bhforce, s.holforce, s.pad_coefficient, s.displacement_tolerance,
                                 s.offset, s.manunoml[0], s.manunoml[1], job.arrays.drawbead[7][1]}),
            (std::vector<double>{0.15, 0.1, 1000, 10, 0.2, 0.0002, 0.5, 0.1, -0.2, 1.0}));
  EXPECT_EQ(job.features.node_counts, (std::vector<int32_t>{9, 2}));
  EXPECT_EQ(job.features.nodes, (std::vector<int32_t>{0, 1, 2, 3, 6, 10, 14, 13, 12, 0, 4}));
  EXPECT_NE(job.console.str().find("\n    1 Duplicate elements deleted .......\n"), std::string::npos);
}

// One random corruption: a byte changed, the text cut, a line deleted, copied or swapped, a
// value replaced by a random number or an odd token, a NUL, CR, blank line or 300 digits put in.
std::string corrupt(std::string text, std::mt19937& random) {
  auto pick = [&random](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
  const char* const odd[] = {"2147483647", "-2147483648", "99999999999", "1e308", "1e999", "NaN", "inf", "", "*",
                             "3*", ",", "/", "0", "-1", "1.5", "0x10", "2*7", "\t", "1e-400", "501", "13", "12"};
  const std::string inserts[] = {std::string(1, '\0'), "\r", "\r\n", "\n\n", std::string(300, '7')};
  std::vector<std::string> lines;
  for (size_t first = 0, end; first < text.size(); first = end + 1)
    lines.push_back(text.substr(first, (end = std::min(text.find('\n', first), text.size())) - first));
  const size_t at = pick(lines.size());
  std::string& line = lines.empty() ? text : lines[at];
  switch (lines.empty() ? 1 : random() % 8) {
    case 0: text[pick(text.size())] = static_cast<char>(random()); return text;
    case 1: return text.substr(0, pick(text.size() + 1));
    case 2: lines.erase(lines.begin() + static_cast<ptrdiff_t>(at)); break;
    case 3: lines.insert(lines.begin() + static_cast<ptrdiff_t>(pick(lines.size() + 1)), line); break;
    case 4: std::swap(line, lines[pick(lines.size())]); break;
    case 5: case 6: {
      std::vector<size_t> starts;
      for (size_t i = 9; i < line.size(); ++i) if (line[i] != ' ' && line[i - 1] == ' ') starts.push_back(i);
      if (starts.empty()) break;
      const size_t first = starts[pick(starts.size())], end = std::min(line.find(' ', first), line.size());
      line.replace(first, end - first,
                   random() % 2 ? std::to_string(static_cast<int>(random() % 40) - 5) : odd[pick(std::size(odd))]);
      break;
    }
    default: return text.insert(pick(text.size()), inserts[pick(5)]);
  }
  std::string joined;
  for (const auto& l : lines) joined += l + "\n";
  return joined;
}

TEST(FuzzKeywordFile, CorruptedJobsReadOrStopWithAMessage) {
  const std::string base = every_reader_job();
  std::mt19937 random(123457);
  int read = 0;
  for (int variant = 0; variant < 10000; ++variant) {
    std::string text = base;
    for (int c = 1 + static_cast<int>(random() % 3); c > 0; --c) text = corrupt(std::move(text), random);
    const JobRead job(text, static_cast<int32_t>(random() % 3));
    if (job.stopped) {
      ASSERT_FALSE(job.console.str().empty()) << "a stop without a message:\n" << text;
      continue;
    }
    ++read;  // every node number in range
    std::vector<std::pair<const Mesh*, int32_t>> meshes{{&job.second.mesh, job.second.elements_stored}};
    for (const Mesh& tool : job.tools) meshes.push_back({&tool, tool.ne});
    for (const auto& [m, ne] : meshes)
      for (int32_t e = 0; e < ne; ++e)
        for (int k = 0; k < 4; ++k) ASSERT_LT(static_cast<uint32_t>(m->node(e, k)), static_cast<uint32_t>(m->nn)) << text;
    for (int32_t node : job.features.nodes) ASSERT_TRUE(node >= 0 && node < job.second.mesh.nn) << text;
  }
  EXPECT_TRUE(read > 1000 && read < 9000) << read << " of 10000 read";
}

}  // namespace
}  // namespace trevo
