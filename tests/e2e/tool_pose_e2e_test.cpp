// The pose in which a user hands over the tool meshes must not change the blank: trevo lowers the
// tools with the part and turns every tool mesh to face the punch, so a job lifted as a whole, or with
// its tool elements numbered the other way round, gives the blank of the job as given.
#include <gtest/gtest.h>

#include "validation_runs.h"

namespace trevo::e2e {
namespace {

// Every line of the job through `edit`, which may change the free-form values from column 10.
std::string edited_job(const std::string& job, void (*edit)(const std::string& key, std::vector<std::string>& v)) {
  std::istringstream in(job);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> values;
    std::istringstream fields(line.size() > 9 ? line.substr(9) : "");
    for (std::string f; fields >> f;) values.push_back(f);
    const std::vector<std::string> given = values;
    edit(line.substr(0, 8), values);
    if (values == given) { out += line + "\n"; continue; }
    out += line.substr(0, 8);
    for (const auto& v : values) out += " " + v;
    out += "\n";
  }
  return out;
}
void lift(const std::string& key, std::vector<std::string>& v) {  // every mesh 25 mm up
  if (key.substr(4) == "NODE" && v.size() >= 4) v[3] = std::to_string(std::stod(v[3]) + 25.0);
}
void flip_tools(const std::string& key, std::vector<std::string>& v) {  // tool elements numbered backwards
  if ((key == "BINDQUAD" || key == "FLANQUAD" || key == "HOLDQUAD") && v.size() >= 5)
    v[3] == v[4] ? (std::swap(v[2], v[3]), void(v[4] = v[3])) : std::swap(v[2], v[4]);
}

struct Pose { const char* name; void (*edit)(const std::string&, std::vector<std::string>&); };
class ToolPose : public testing::TestWithParam<std::tuple<std::string, Pose>> {};
TEST_P(ToolPose, GivesTheBlankOfTheJobAsGiven) {
  const auto& [name, pose] = GetParam();
  const JobRun& given = validation_run(name);
  const JobRun& posed = cached_run(name + "_" + pose.name, edited_job(job_text(part(name).dat), pose.edit));
  ASSERT_TRUE(contains(posed.console, "TREVO solution is complete")) << posed.console;
  const std::vector<Point> a = points_of(read_file(given.base + "_Blank.nas", rd::read_nastran));
  const std::vector<Point> b = points_of(read_file(posed.base + "_Blank.nas", rd::read_nastran));
  ASSERT_EQ(a.size(), b.size());
  const Fit fit = rigid_fit_2d(a, b);
  EXPECT_LE(fit.error, 1e-4 * size_of(a)) << "node " << fit.worst + 1 << " moved " << fit.error << " mm";
}
INSTANTIATE_TEST_SUITE_P(Tools, ToolPose,
                         testing::Combine(testing::Values("cup_all_tools", "channel_cylbinder"),
                                          testing::Values(Pose{"lifted", lift}, Pose{"flipped", flip_tools})),
                         [](const auto& test) { return std::get<0>(test.param) + "_" + std::get<1>(test.param).name; });

}  // namespace
}  // namespace trevo::e2e
