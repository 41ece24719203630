// Golden runs through the real program: the system's exact messages on the command line and for a
// missing input or work size, and the post file of a run stopped by the work size. Bad job files are
// in bad_input_e2e_test.cpp.
#include "validation_runs.h"

namespace trevo::e2e {
namespace {

const std::string kBanner = "kvo/TREVO version 1.3, build date:September 28, 2007\n";
const std::string kTooBig = " DIMENSION ASKED IS TOO BIG  -----------\n";
const std::string kKeywordError = " ERROR 1:  Error in Keyword of input data, or error in file name\n";
// The program on a job ("plate": the validation plate; none: no input file) with its arguments ("job":
// the base path): its exit status, the exact end of its console and, after a start, of its report ({R}:
// the reading line on the console, {r}: a dot in the report), whether the input file is left (deleted by
// complete runs only); a stopped run leaves the result files it opened at the start empty, nothing else.
struct RunCase {
  std::string name, input, tail;
  int status = 0;
  bool kept = true;
  std::vector<std::string> args = {"job", "20000", "1"};
};
const RunCase kRuns[] = {
    {"NoArgumentsPrintTheBanner", "", kBanner, 1, false, {}},
    {"OverLongBasePathIsRefused", "", kBanner, 1, false, {std::string(1024, 'a')}},
    {"MissingInputIsAKeywordError", "", kKeywordError, 0, true, {"job"}},  // the open creates it empty
    // An early stage knows only the words up to its own end: a lower bound of the need.
    {"WorkSizeZeroIsTooSmall", "plate", kTooBig + " trevo: this job needs a work size of at least 2 (thousand words): trevo {B} 2\n",
     0, true, {"job", "0", "1"}},
    // A thousand words short of the plate's 384,223: its last stage (no drawbeads) ends at the whole need.
    {"WorkSizeJustBelowNamesTheWholeNeed", "plate",
     kTooBig + " trevo: this job needs a work size of at least 385 (thousand words): trevo {B} 385\n",
     0, true, {"job", "384", "1"}},
    {"CompleteRunDeletesTheInputWithoutTheKeepFlag", "plate", "", 0, false, {"job", "20000"}},
    {"CompleteRunDeletesTheInputWithKeepFlagZero", "plate", "", 0, false, {"job", "20000", "0"}},
};
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }
class ProgramRun : public testing::TestWithParam<RunCase> {};
TEST_P(ProgramRun, EndsWithTheExactMessage) {
  const RunCase& c = GetParam();
  JobFolder folder;
  const std::string base = folder.dir / "job", date = "D A T E (MM/DD/YY):";
  if (!c.input.empty()) std::ofstream(base + ".dat") << (c.input == "plate" ? job_text(part("plate").dat) : c.input);
  std::vector<std::string> args = c.args;
  std::replace(args.begin(), args.end(), std::string("job"), base);
  const JobRun run = run_trevo(base, args);
  EXPECT_EQ(run.exit_status, c.status);
  EXPECT_EQ(run.exists(".dat"), c.kept);
  for (const std::string* text : {&run.console, &run.report}) {
    const bool console = text == &run.console;
    std::string want = c.tail;
    for (const auto& [key, value] : std::map<std::string, std::string>{
             {"{R}", console ? " Reading input data, please wait.......\n" : ""}, {"{r}", console ? "" : "."},
             {"{B}", base}})
      if (const size_t at = want.find(key); at != std::string::npos) want.replace(at, 3, value);
    EXPECT_TRUE(!console && c.status ? text->empty() : text->substr(text->size() - std::min(text->size(), want.size())) == want)
        << *text;
  }
  if (c.status || !c.kept) return;
  EXPECT_EQ(run.console.substr(0, kBanner.size() + date.size()) + run.report.substr(0, date.size()), kBanner + date + date);
  std::set<std::string> files;
  for (const auto& f : fs::directory_iterator(folder.dir)) files.insert(f.path().filename());
  EXPECT_EQ(files, (std::set<std::string>{"job.dat", "job.OUT", "job.console", "job.lin", "job_3D.lin", "job_Blank.nas",
                                          "job.dynain", "job_fl.lin", "job.QLT", "job.summary.json"}));
  for (const char* suffix : {".lin", "_3D.lin", "_Blank.nas", ".dynain", "_fl.lin", ".QLT"}) EXPECT_EQ(run.file(suffix), "");
}
INSTANTIATE_TEST_SUITE_P(Golden, ProgramRun, testing::ValuesIn(kRuns), [](auto& i) { return i.param.name; });

// The post file of a stopped run. The plate with a blank-holder mesh over it (forming type 1, BHFORCE)
// and 18 drawbeads needs thousands of words for its drawbead lists after its post file is written, so
// a work size just below what the run needs stops it there: the size line, then the message. The post
// file holds every kind of record but the binder's, the tools raised by h = 0.05 (a flat part).
TEST(StoppedRun, PostFileReadsBackRecordByRecord) {
  struct Record { std::string keyword; std::vector<int> ints; std::vector<double> reals; };
  std::vector<Record> want = {{"FORMTYPE ", {1}, {}}, {"METHOD   ", {1}, {}}, {"MATERIAL ", {}, {0.001, 600, 0.22, 1, 1, 1, 1}},
                              {"FRICTION ", {}, {0.2, 0.13, 0.2}}, {"BHFORCE  ", {}, {1000, 0}}, {"DBEADCTL ", {18}, {}},
                              {"PUNCHCTL ", {0, 0}, {}}, {"BHOLDCTL ", {66, 50}, {}}, {"HOLDGCTL ", {0, 0}, {}},
                              {"BINDECTL ", {0, 0}, {}}};
  std::string job = job_text(part("plate").dat, "BHFORCE  1000.0\n");
  job.replace(job.find("FORMTYPE 0"), 10, "FORMTYPE 1");
  auto add = [&](const std::string& keyword, const std::vector<int>& ints, const std::vector<double>& reals) {
    job += keyword;  // the job line, then its record: the tools raised by h, the drawbeads by 2 h
    for (int v : ints) job += " " + std::to_string(v);
    for (double v : reals) job += " " + std::to_string(v);
    job += "\n";
    want.push_back({keyword + " ", ints, reals});
    if (keyword == "DRAWBEAD") want.back().reals[4] = want.back().reals[7] = 0.1;
    if (keyword == "BINDNODE") want.back().reals[2] = 0.05;
  };
  for (int k = 0; k < 18; ++k)  // rows at y = -42.5 + 5k, clear of the 4 mm node grid
    add("DRAWBEAD", {k + 1}, {100, 30, -97.5, -42.5 + 5 * k, 0, 97.5, -42.5 + 5 * k, 0});
  for (int e = 0, n = 1; e < 50; ++e, n = 1 + e % 10 + 11 * (e / 10)) add("BINDQUAD", {e + 1, n, n + 1, n + 12, n + 11}, {});
  for (int n = 0; n < 66; ++n) add("BINDNODE", {n + 1}, {-100.0 + 20 * (n % 11), -50.0 + 20 * (n / 11), 0});
  const double kall = number_after(cached_run("holder_plate", job).console, "KALL=");
  ASSERT_TRUE(std::isfinite(kall)) << "no size line";
  const JobRun* stopped = nullptr;
  for (long long k = (static_cast<long long>(kall) - 1) / 1000, tries = 0; !stopped && tries < 5; --k, ++tries)
    if (const JobRun& run = cached_run("holder_plate_" + std::to_string(k), job, std::to_string(k));
        records_of(run.console).rbegin()[1] == " DIMENSION ASKED IS TOO BIG  -----------")
      stopped = &run;
  ASSERT_NE(stopped, nullptr) << "no work size below KALL " << kall << " stopped the run at its final size check";
  EXPECT_EQ(records_of(stopped->console).rbegin()[2].rfind(" IVM=", 0), 0u) << "the size line comes before the message";
  // The rerun line names KALL in thousands, rounded up; a rerun with that size completes.
  const std::string need = std::to_string((static_cast<long long>(kall) + 999) / 1000);
  EXPECT_EQ(records_of(stopped->console).back(), " trevo: this job needs a work size of at least " + need +
                                                     " (thousand words): trevo " + stopped->base + " " + need);
  const std::string& rerun = cached_run("holder_plate_rerun", job, need).console;
  EXPECT_TRUE(!contains(rerun, "DIMENSION ASKED") && contains(rerun, "NN0=")) << rerun;
  EXPECT_TRUE(number_after(stopped->console, "KALL=") == kall && number_after(stopped->report, "KALL=") == kall);
  EXPECT_TRUE(stopped->exit_status == 0 && stopped->exists(".dat"));
  EXPECT_EQ(stopped->file(".lin") + stopped->file("_Blank.nas") + stopped->file(".dynain"), "") << "nothing is solved";
  const rd::QltFile qlt = rd::read_qlt(stopped->file(".QLT"));
  ASSERT_EQ(qlt.error, "");
  ASSERT_EQ(qlt.records.size(), 2 + want.size());
  EXPECT_EQ(qlt.records[0].payload, "QUILTEKPOST KTV19011101PDW190202022MRN9030303  ");
  EXPECT_EQ(qlt.records[1].payload, "TITLE    " + stopped->base + std::string(1024 - stopped->base.size(), ' '));
  for (size_t r = 0; r < want.size(); ++r) {
    const rd::QltRecord& got = qlt.records[r + 2];
    ASSERT_EQ(got.keyword(), want[r].keyword) << "record " << r + 3;
    ASSERT_EQ(got.payload.size(), 9 + 4 * (want[r].ints.size() + want[r].reals.size())) << want[r].keyword;
    for (size_t k = 0; k < want[r].ints.size(); ++k) EXPECT_EQ(got.i4(9 + 4 * k), want[r].ints[k]) << "record " << r + 3;
    for (size_t k = 0, at = 9 + 4 * want[r].ints.size(); k < want[r].reals.size(); ++k)
      EXPECT_NEAR(got.r4(at + 4 * k), want[r].reals[k], 1e-5 * (1 + std::abs(want[r].reals[k]))) << "record " << r + 3;
  }
}

}  // namespace
}  // namespace trevo::e2e
