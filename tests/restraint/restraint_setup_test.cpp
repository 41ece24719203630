// The restraint set-up: its messages, and every node of the validation jobs against their references.
#include "restraint/restraint_setup.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "../test_drawbeads.h"
#include "../test_mesh.h"

namespace trevo {
namespace {

// One pre-count and set-up with every array owned here.
struct RestraintRun {
  test::OwnedMesh part, holder, pad;
  test::OwnedBeads beads;
  RunSettings settings;
  std::vector<int32_t> neighbours, state, bead_node, entries, offsets, start_rows, end_rows;
  std::vector<double> holding, count, normals, bead_force, node_force, contact, holder_force, pad_force;
  RestraintTotals totals;
  test::Captured out;

  void run() {
    const Mesh p = part.view();
    const size_t nn = p.nn, nb = beads.view().count();
    neighbours = test::brute_force_neighbours(p);
    start_rows.assign(4 * nb, kNone), end_rows.assign(4 * nb, kNone), entries.assign(nb, -1), offsets.assign(nb, -1);
    const BeadEndRows rows{start_rows, end_rows};
    const int64_t length = count_drawbead_entries(p, beads.view(), rows, entries, offsets);
    bead_node.assign(length, 12345), bead_force.assign(length, -1.0), state.assign(nn, -1), count.assign(nn, -1.0);
    holding.assign(nn, -1.0), normals.assign(3 * nn, -1.0), node_force.assign(2 * nn, -1.0);
    contact.assign(3 * nn, -1.0), holder_force.assign(holder.ne(), -1.0), pad_force.assign(pad.ne(), -1.0);
    const RestraintData data{holding,    state,   count,      normals, bead_node,
                             bead_force, entries, offsets,    node_force, contact};
    totals = restraint_setup({p, p, neighbours, holder.view(), pad.view()}, beads.view(), settings, data, rows,
                             holder_force, pad_force, out.reporter);
  }
};

// RAISE 20 x 10 above BHFORCE 100 leaves no holding force; the report line with the defaults and with
// other totals (gfortran's text).
TEST(RestraintSetup, MessageAndReportLine) {
  RestraintRun raise;
  raise.part = test::make_grid(4, 4, 5.0, 5.0);
  raise.settings.bhforce = 100.0;
  raise.beads.add(1.0, 20.0, 2.1, 3.3, 0.0, 12.1, 3.3, 0.0);
  raise.run();
  EXPECT_EQ(raise.out.console.str(), " ERROR: The blank-holder force is unreasonable.\n");
  EXPECT_EQ(raise.out.report.str(), raise.out.console.str());
  EXPECT_EQ(*std::max_element(raise.holding.begin(), raise.holding.end()), 0.0);
  test::Captured line;
  RunSettings s;
  drawbead_report_line(s, RestraintTotals{}, line.reporter);
  s.iteration_limit = 250, s.displacement_tolerance = 0.0002;
  drawbead_report_line(s, RestraintTotals{36771.728272, 11031.5184816, 0.0}, line.reporter);
  const std::string first = " NNL=  300  DEPS=.1000000E-03  BDFORCE=   0.000000      RAISE=   0.000000    ",
                    second = " NNL=  250  DEPS=.2000000E-03  BDFORCE=   36771.73      RAISE=   11031.52    ";
  EXPECT_EQ(line.console.str(), first + "\n" + second + "\n");
  EXPECT_EQ(line.report.str(), first + "\n\n" + second + "\n\n");
}

// The numbers after every "key": of a text, in order.
std::vector<double> numbers_after(const std::string& text, const std::string& key) {
  std::vector<double> out;
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
    out.push_back(std::strtod(text.c_str() + at + key.size(), nullptr));
  return out;
}

// Every node's state, holding force and drawbead force of a validation job against its restraint.csv
// (unlisted nodes free), E(b) per bead and BDFORCE / RAISE against its ref.json. The parts lie in the
// canonical pose, so positioning would move them in z only and the plan positions are those read.
class ValidationRestraint : public ::testing::TestWithParam<const char*> {};

TEST_P(ValidationRestraint, EveryNodeMatchesItsReference) {
  const std::string base = std::string(TREVO_SHARED_DIR) + "/validation/tools/" + GetParam();
  RestraintRun s;
  std::map<int64_t, int32_t> id;
  s.part = test::read_mesh(base + ".dat", "SHETNODE", "SHETQUAD", &id);
  s.holder = test::read_mesh(base + ".dat", "BINDNODE", "BINDQUAD");
  s.pad = test::read_mesh(base + ".dat", "HOLDNODE", "HOLDQUAD");
  ASSERT_GT(s.part.ne(), 0) << "no validation part at " << base;
  std::ifstream dat(base + ".dat"), csv(base + ".restraint.csv"), json(base + ".ref.json");
  for (std::string line, key; std::getline(dat, line);) {
    std::istringstream v(line);
    int32_t type, index;
    double b[8];
    v >> key;
    if (key == "FORMTYPE" && v >> type)
      s.settings.blank_holder_flag = type % 2, s.settings.binder_flag = type % 10 / 2, s.settings.pad_flag = type / 10;
    if (key == "BHFORCE") v >> s.settings.bhforce;
    if (key == "HOLFORCE") v >> s.settings.holforce >> s.settings.pad_coefficient;
    if (key == "DRAWBEAD" && v >> index >> b[0] >> b[1] >> b[2] >> b[3] >> b[4] >> b[5] >> b[6] >> b[7])
      s.beads.add(b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
  }
  s.run();
  const size_t nn = s.part.nn();
  std::vector<int32_t> state(nn, 2);
  std::vector<double> holding(nn, 0.0), bead(nn, 0.0), mine(nn, 0.0);
  for (size_t k = 0; k < s.bead_node.size(); ++k)
    if (s.bead_node[k] != kNone) mine[s.bead_node[k]] += s.bead_force[k];
  std::string line;
  ASSERT_TRUE(std::getline(csv, line)) << "no reference table at " << base;
  for (char comma; std::getline(csv, line);) {
    std::istringstream row(line);
    int64_t node;
    int32_t code;
    double h, f;
    row >> node >> comma >> code >> comma >> h >> comma >> f;
    state[id.at(node)] = code, holding[id.at(node)] = h, bead[id.at(node)] = f;
  }
  for (size_t i = 0, failures = 0; i < nn && failures < 5; ++i)
    if (s.state[i] != state[i] || std::abs(s.holding[i] - holding[i]) > 1e-6 * std::max(1.0, holding[i]) ||
        std::abs(mine[i] - bead[i]) > 1e-6 * std::max(1.0, bead[i]))
      ++failures, ADD_FAILURE() << "node " << i + 1 << ": state " << s.state[i] << " (" << state[i] << ") holding "
                                << s.holding[i] << " (" << holding[i] << ") bead " << mine[i] << " (" << bead[i] << ")";
  const std::string ref((std::istreambuf_iterator<char>(json)), std::istreambuf_iterator<char>());
  const std::vector<double> bdforce = numbers_after(ref, "\"BDFORCE\":"), raise = numbers_after(ref, "\"RAISE\":");
  ASSERT_FALSE(bdforce.empty() || raise.empty()) << base << ".ref.json";
  EXPECT_NEAR(s.totals.bdforce, bdforce[0], 1e-5);
  EXPECT_NEAR(s.totals.raise, raise[0], 1e-5);
  const std::vector<double> entries = numbers_after(ref, "\"entries_E\":");
  EXPECT_EQ(s.entries, std::vector<int32_t>(entries.begin(), entries.end()));
}

INSTANTIATE_TEST_SUITE_P(Tools, ValidationRestraint,
                         ::testing::Values("cup_freeedge_bhf", "plate_controls", "cup_holder", "cup_holder_beads",
                                           "box_pad_holder", "cup_all_tools", "panel_cylbinder", "srail_holder_beads"));

}  // namespace
}  // namespace trevo
