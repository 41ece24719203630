// Golden runs through the real program: its exact messages on the command line and for a missing input
// or work size, the post file of a run stopped by the work size; a small job edited one way per row that
// must stop with its one message and leave no result; corrupted jobs (fuzz).
#include <random>

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
    // The input stage's whole size is named first: its need is a lower bound of the run's.
    {"WorkSizeZeroIsTooSmall", "plate", kTooBig + " trevo: this job needs a work size of at least 13 (thousand words): trevo {B} 13\n",
     0, true, {"job", "0", "1"}},
    // Less than a thousand words short of the plate's 256,313: its last stage (no drawbeads) ends at the whole need.
    {"WorkSizeJustBelowNamesTheWholeNeed", "plate",
     kTooBig + " trevo: this job needs a work size of at least 257 (thousand words): trevo {B} 257\n",
     0, true, {"job", "256", "1"}},
    {"CompleteRunDeletesTheInputWithoutTheKeepFlag", "plate", "", 0, false, {"job", "20000"}},
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

// Rerun with the size each stop names, from 0: every stop names the end of a whole stage (input,
// model, then everything up to the drawbead lists, once the adjacency is known), so the plate runs at
// the third size named, not after a rerun per slice.
TEST(WorkSizeStop, EachRerunGetsPastAWholeStage) {
  JobFolder folder;
  const std::string base = folder.dir / "job";
  std::vector<std::string> named;
  std::string size = "0";
  for (int run = 0; run < 6; ++run) {
    std::ofstream(base + ".dat") << job_text(part("plate").dat);
    const JobRun result = run_trevo(base, {base, size, "1"});
    const size_t at = result.console.find("trevo " + base + " ");
    if (at == std::string::npos) break;
    size = result.console.substr(at + base.size() + 7);
    size = size.substr(0, size.find('\n'));
    named.push_back(size);
  }
  EXPECT_EQ(named, (std::vector<std::string>{"13", "49", "257"}));
}

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

// Bad input: the message the last words on the console and in the run report, exit status 0, no result
// (every file but the report, the input and the console capture empty; no summary saying "complete").
// A 40 x 40 mm plate of 4 x 4 elements under a blank-holder mesh and a pad mesh (forming type 11), one
// drawbead; the part nodes come last, so that a file cut inside them still has its tools.
std::string small_job() {
  std::string j =
      "$$KVO/TREVO  small plate\nFORMTYPE 11\nMATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0\nFRICTION 0.2 0.13\n"
      "BHFORCE  1000.0\nHOLFORCE 500.0 0.2\nDRAWBEAD 1 100.0 30.0 -15.0 -5.0 0.0 15.0 -5.0 0.0\n";
  auto grid = [&](const std::string& quad, const std::string& node, int n, double size) {
    const auto s = [](auto v) { return " " + std::to_string(v); };
    for (int e = 0; e < n * n; ++e) {
      const int a = 1 + e % n + (n + 1) * (e / n);
      j += quad + s(e + 1) + s(a) + s(a + 1) + s(a + n + 2) + s(a + n + 1) + (quad == "SHETQUAD" ? " 1.0\n" : "\n");
    }
    for (int k = 0; k < (n + 1) * (n + 1); ++k)
      j += node + s(k + 1) + s(-size / 2 + size / n * (k % (n + 1))) + s(-size / 2 + size / n * (k / (n + 1))) +
           s(0.0) + "\n";
  };
  grid("BINDQUAD", "BINDNODE", 4, 40.0);
  grid("HOLDQUAD", "HOLDNODE", 1, 10.0);
  grid("SHETQUAD", "SHETNODE", 4, 40.0);
  return j;
}

const std::string kDataError = "\n ******* Error in the following data *******\n{card}\n\n";
const std::string kFormType = " Error in FORMING TYPE........{r}\n";
const std::string kTools = "\n Tool Definition\n\tBinder Surface: undefined\n\tBlank-holder  : defined\n"
                           "\tPad           : defined\n\n{R}";
const std::string kMaterial = "MATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0";

// One edit: the first `from` becomes `to` (`cut`: the file ends right after `from`; `from` empty: the file
// becomes `to`; `every`: each `from`). The output ends with `tail`: {dat} the input, {base} it without ".dat",
// {line} the number of the first line holding `at` (default: `to`'s first line), {card} that line as the
// readers report it (200 columns), {R} the reading line (console only), {r} "." and {:} " " in the report.
struct BadInput {
  std::string name, from, to, tail, at{};
  bool cut = false, every = false;
};
std::string own(const std::string& message) { return " trevo: {dat} line {line}: " + message + "\n"; }
BadInput mat(const std::string& name, const std::string& values, const std::string& message) {
  return {name, kMaterial, "MATERIAL  " + values, own("MATERIAL " + message)};
}

const BadInput kBadInputs[] = {
    // Material law: positive pre-strain, strength and r-values, an exponent in (0, 1), positive thickness.
    mat("ExponentNegative", "0.001 600.0 -0.22 0 1.0 1.0 1.0", "exponent n = -0.22 must be above 0 and below 1"),
    mat("ExponentAboveOne", "0.001 600.0 1.5D0 0 1.0 1.0 1.0", "exponent n = 1.5 must be above 0 and below 1"),
    mat("StrengthZero", "0.001 0.0 0.22 0 1.0 1.0 1.0", "strength coefficient K = 0 must be above 0"),
    mat("StrengthNegative", "0.001,-600.0,0.22,0,1.0,1.0,1.0", "strength coefficient K = -600 must be above 0"),
    mat("PrestrainNegative", "-0.001 600.0 0.22 0 1.0 1.0 1.0", "pre-strain eps0 = -0.001 must be above 0"),
    mat("R0Zero", "0.001 600.0 0.22 0 0.0 1.0 1.0", "r-value r0 = 0 must be above 0"),
    mat("R45Negative", "0.001 600.0 0.22 0 1.0 -0.5 1.0", "r-value r45 = -0.5 must be above 0"),
    mat("RValuesByRepeatCount", "0.001 600.0 0.22 0 3*-1.0", "r-value r0 = -1 must be above 0"),
    {"MaterialThicknessZero", kMaterial, "MATERIAL 1 0.001 600.0 0.22 0 1.0 1.0 1.0 0.0",
     own("MATERIAL thickness = 0 must be above 0")},
    {"ElementThicknessZero", "SHETQUAD 6 7 8 13 12 1.0", "SHETQUAD 6 7 8 13 12 0.0",
     own("SHETQUAD thickness = 0 must be above 0")},
    {"ElementThicknessNegative", "SHETQUAD 1 1 2 7 6 1.0", "SHETQUAD 1 1 2 7 6 -1.5",
     own("SHETQUAD thickness = -1.5 must be above 0")},
    // Friction and forces are never negative.
    {"FrictionPunchNegative", "FRICTION 0.2", "FRICTION -0.2", own("FRICTION coefficient mu1 = -0.2 must be at least 0")},
    {"HolderForceNegative", "BHFORCE  1000.0", "BHFORCE  -1000.0", own("BHFORCE blank-holder force = -1000 must be at least 0")},
    {"PadForceNegative", "HOLFORCE 500.0", "HOLFORCE -500.0", own("HOLFORCE pad force = -500 must be at least 0")},
    {"BeadRestrainingForceNegative", "DRAWBEAD 1 100.0", "DRAWBEAD 1 -100.0",
     own("DRAWBEAD restraining force = -100 must be at least 0"), "DRAWBEAD"},
    {"BeadRaisingForceNegative", "DRAWBEAD 1 100.0 30.0", "DRAWBEAD 1 100.0 -30.0",
     own("DRAWBEAD raising force = -30 must be at least 0"), "DRAWBEAD"},
    // Coordinates within 1e6 mm either way, on every mesh the forming type selects and on the beads.
    {"BeadEndBeyondRange", "15.0 -5.0 0.0\n", "2.0E6 -5.0 0.0\n",
     own("DRAWBEAD x2 = 2e+06 must lie between -1000000 and 1000000 mm"), "DRAWBEAD"},
    {"PartNodeXBeyondRange", "SHETNODE 7 -10.000000", "SHETNODE 7 1500000.0",
     own("SHETNODE x = 1500000 must lie between -1000000 and 1000000 mm")},
    {"PartNodeZHuge", "SHETNODE 1 -20.000000 -20.000000 0.000000", "SHETNODE 1 -20.0 -20.0 1.0D300",
     own("SHETNODE z = 1e+300 must lie between -1000000 and 1000000 mm")},
    {"HolderNodeBeyondRange", "BINDNODE 3 0.000000", "BINDNODE 3 -3e6",
     own("BINDNODE x = -3e+06 must lie between -1000000 and 1000000 mm")},
    {"PadNodeBeyondRange", "HOLDNODE 3 -5.000000 5.000000 0.000000", "HOLDNODE 3 -5.0 5.0 1.1e6",
     own("HOLDNODE z = 1100000 must lie between -1000000 and 1000000 mm")},
    {"BinderNodeBeyondRange", "FORMTYPE 11\n",
     "FORMTYPE 13\nFLANQUAD 1 1 2 3 4\nFLANNODE 1 0 0 0\nFLANNODE 2 1 0 0\nFLANNODE 3 1 1 0\nFLANNODE 4 0 1 2.5e6\n",
     "\n Tool Definition\n\tBinder Surface: defined\n\tBlank-holder  : defined\n\tPad           : defined\n\n{R}" +
         own("FLANNODE z = 2500000 must lie between -1000000 and 1000000 mm"),
     "FLANNODE 4"},
    // A value within the checks that a result file cannot hold stops before that file is written.
    {"StrengthBeyondThePostFileReals", kMaterial, "MATERIAL  0.001 1e300 0.22 0 1.0 1.0 1.0",
     " trevo: {base}.QLT: material value 2 = 1e+300 is beyond the range of the file's 4-byte reals and is not written\n"},
    // Values that read as no number: the readers' own report, with the line as read.
    {"NodeNotANumber", "SHETNODE 9 10.000000", "SHETNODE 9 NaN", kTools + kDataError},
    {"MaterialInfinite", kMaterial, "MATERIAL  0.001 Infinity 0.22 0 1.0 1.0 1.0", kDataError},
    {"ForceBeyondDoubleRange", "BHFORCE  1000.0", "BHFORCE  1e999", kDataError},
    {"FrictionCorrupted", "FRICTION 0.2 0.13", "FRICTION 0.2 0.1.3", kDataError},
    {"NonNumericNodeValue", "SHETNODE 13 0.000000", "SHETNODE 13 0.000000 abc", kTools + kDataError, "SHETNODE 13"},
    {"ElementNamesAMissingNode", "SHETQUAD 16 19 20 25 24 1.0", "SHETQUAD 16 19 20 25 99 1.0", kTools + kDataError},
    {"NoMaterialLine", kMaterial + "\n", "",
     kTools + "\n ******* Error in the following data: the input file has no MATERIAL line *******\n{card}\n\n", "SHETQUAD 1 "},
    {"BeadRowOutsideItsTable", "DRAWBEAD 1", "DRAWBEAD 2", kDataError},
    // Corrupt and truncated files, and the keyword scan's own stops.
    {"TruncatedInsideANodeLine", "SHETNODE 25 20.000000", "", kTools + kDataError, "SHETNODE 25", true},
    {"TruncatedAfterTwoPartNodes", "SHETNODE 2 -10.000000 -20.000000 0.000000\n", "",
     kTools + " ERROR 1: Blank mesh does not exist or incomplete\n", "", true},
    {"TruncatedAfterTheSignature", "$$KVO/TREVO  small plate\n", "", kFormType, "", true},
    {"EmptyFile", "", "", kKeywordError},
    {"BinaryGarbage", "", std::string("\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe\n\x1b[2J", 17), kKeywordError},
    {"MissingSignature", "$$KVO/TREVO  small plate\n", "$$ no signature\n", kKeywordError},
    {"NoFormType", "FORMTYPE 11\n", "", kFormType},
    {"UnknownFormType", "FORMTYPE 11", "FORMTYPE 7", " Error in FORMING TYPE........\n"},
    {"BinderTypeWithoutBinderMesh", "FORMTYPE 11", "FORMTYPE 12",
     "\n Tool Definition\n\tBinder Surface: defined\n\tBlank-holder  : undefined\n\tPad           : defined\n\n{R}"
     " ERROR 3: Binder mesh does not exist or incomplete\n"},
    {"HolderMeshMissing", "BINDQUAD", "$INDQUAD", kTools + " ERROR 2{:} Blank Holder mesh does not exist or incomplete\n",
     "", false, true},
};

std::string edited(const BadInput& c, std::string job) {
  if (c.from.empty()) return c.to;
  const size_t at = job.find(c.from);
  if (at == std::string::npos) throw std::runtime_error("no '" + c.from + "' in the small job");
  if (c.cut) return job.substr(0, at + c.from.size());
  for (size_t k = at; k != std::string::npos; k = c.every ? job.find(c.from, k + c.to.size()) : std::string::npos)
    job.replace(k, c.from.size(), c.to);
  return job;
}

// The expected end of the console or of the report, from the row's tail.
std::string expected_tail(const BadInput& c, const std::string& job, const std::string& dat, bool console) {
  std::string want = c.tail;
  const std::string at = c.at.empty() ? c.to.substr(0, c.to.find('\n')) : c.at;
  const size_t pos = at.empty() ? std::string::npos : job.find(at);
  const size_t begin = pos == std::string::npos ? 0 : job.rfind('\n', pos) + 1;  // npos + 1 == 0
  std::string card = pos == std::string::npos ? "" : job.substr(begin, job.find('\n', pos) - begin);
  card.resize(200, ' ');
  const std::string line = std::to_string(std::count(job.begin(), job.begin() + begin, '\n') + 1);
  for (const auto& [key, value] : std::map<std::string, std::string>{
           {"{dat}", dat}, {"{base}", dat.substr(0, dat.size() - 4)}, {"{line}", line}, {"{card}", card},
           {"{R}", console ? " Reading input data, please wait.......\n" : ""}, {"{r}", console ? "" : "."},
           {"{:}", console ? ":" : " "}})
    for (size_t k = want.find(key); k != std::string::npos; k = want.find(key, k + value.size()))
      want.replace(k, key.size(), value);
  return want;
}

// The (edited) job through the program in a fresh folder: the run and the files it left, by name.
std::pair<JobRun, std::map<std::string, std::string>> run_small_job(const JobFolder& folder, const std::string& job) {
  const std::string base = folder.dir / "job";
  std::ofstream(base + ".dat", std::ios::binary) << job;
  std::pair<JobRun, std::map<std::string, std::string>> out{run_trevo(base, {base, "20000", "1"}), {}};
  for (const auto& f : fs::directory_iterator(folder.dir)) out.second[f.path().filename()] = read_text(f.path());
  return out;
}

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }
class BadInputRun : public testing::TestWithParam<BadInput> {};
TEST_P(BadInputRun, StopsWithItsOneMessageAndNoResult) {
  const BadInput& c = GetParam();
  JobFolder folder;
  const std::string job = edited(c, small_job()), dat = (folder.dir / "job.dat").string();
  const auto [run, files] = run_small_job(folder, job);
  EXPECT_EQ(run.exit_status, 0);
  for (const bool console : {true, false}) {
    const std::string& text = console ? run.console : run.report;
    const std::string want = expected_tail(c, job, dat, console);
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), want.size())), want) << (console ? "console" : "report");
    EXPECT_EQ(text.find(" trevo: "), text.rfind(" trevo: ")) << "one message of ours at most";
  }
  for (const auto& [name, content] : files) {
    if (name == "job.summary.json") {
      EXPECT_FALSE(contains(content, "\"status\": \"complete\"")) << content;
    } else if (name != "job.OUT" && name != "job.dat" && name != "job.console") {
      EXPECT_EQ(content, "") << name << " holds a result of a stopped run";
    }
  }
}
INSTANTIATE_TEST_SUITE_P(Table, BadInputRun, testing::ValuesIn(kBadInputs), [](auto& i) { return i.param.name; });

// The unedited job runs to the end, writes its results (every number finite) and prints none of the messages.
TEST(BadInputBase, SmallJobRunsToTheEnd) {
  JobFolder folder;
  const auto [run, files] = run_small_job(folder, small_job());
  EXPECT_FALSE(contains(run.console, " trevo: ") || contains(run.console, "Error")) << run.console;
  EXPECT_TRUE(contains(run.console, "TREVO solution is complete")) << run.console;
  for (const char* name : {"job.lin", "job_Blank.nas", "job.dynain"}) {
    ASSERT_TRUE(files.count(name) && !files.at(name).empty()) << name;
    EXPECT_FALSE(contains(files.at(name), "NaN") || contains(files.at(name), "Inf")) << name;
  }
}

// Jobs the whole-run fuzzer found: a blank that diverges in its first iterations until the sum of
// the contact forces overflows (a one-byte variant of the find: the original stopped diverging
// when the pre-unfolding's last digits changed), a pre-unfolding whose increment is not a
// number beyond its first entry (which alone the system checks), carried into the blank until
// the tool grid could not be sized, and a blank whose forces reach 1e38 N in the first iteration
// while its increment shrinks to nothing, which the ADP test would call converged (with today's
// last digits its pre-unfolding fails instead and spreads the blank so far that the final state's
// strains are not numbers; its one-byte variant runaway_forces keeps the first path: its MAXP
// passes 3.4e38 N in the second iteration). Each run stops with the calculation-error text; no
// NaN reaches the run report, a result file or the summary.
TEST(BadInputBase, NonFiniteValuesStopWithTheCalculationError) {
  for (const char* name : {"diverged_punch_force", "pre_unfolding_nan", "runaway_converged", "runaway_forces"}) {
    JobFolder folder;
    const std::string job = read_text(TREVO_SOURCE_DIR "/tests/fuzz/corpus/run/" + std::string(name) + ".dat");
    const auto [run, files] = run_small_job(folder, job + "\nCORTROL  3\n");
    EXPECT_EQ(run.exit_status, 0) << name;
    EXPECT_TRUE(contains(run.console, " ******* TREVO calculation ERROR")) << name << "\n" << run.console;
    for (const auto& [file, content] : files) EXPECT_FALSE(contains(content, "NaN")) << name << ": " << file;
    EXPECT_FALSE(contains(files.at("job.summary.json"), "\"status\": \"complete\"")) << name;
  }
}

// The whole program on corrupted jobs: never a crash, a hang or a non-zero exit status. This feeds what
// survives the readers (fuzzed in tests/input) through preparation, pre-unfolding, iteration and output.
TEST(FuzzProgram, CorruptedJobsNeverCrashOrHang) {
  std::vector<std::string> valid = {"$$KVO/TREVO fuzz", "FORMTYPE 0", "MATERIAL  0.001 600.0 0.22 0 1.0 1.0 1.0"};
  for (int n = 0; n < 35; ++n)  // a 6 x 4 grid of quadrilaterals with a bump
    valid.push_back("SHETNODE " + std::to_string(n + 1) + " " + std::to_string(10 * (n % 7)) + " " +
                    std::to_string(10 * (n / 7)) + (n % 7 > 1 && n % 7 < 5 && n / 7 > 0 && n / 7 < 4 ? " 3.0" : " 0.0"));
  for (int e = 0, n = 1; e < 24; ++e, n = 1 + e % 6 + 7 * (e / 6))
    valid.push_back("SHETQUAD " + std::to_string(e + 1) + " " + std::to_string(n) + " " + std::to_string(n + 1) + " " +
                    std::to_string(n + 8) + " " + std::to_string(n + 7) + " 1.0");
  const char* controls[] = {"CORTROL  5 0.0 0.0 0.0 0.0", "OFFSET   -50.0", "AUTONOML 1", "MANUNOML 90.0 -90.0",
                            "BHFORCE  1.0e9", "CONTRATX 1 1 5.0", "STABILIZ -1.0 -1.0", "METHOD   0"};
  JobFolder folder;
  const std::string base = folder.dir / "job";
  std::mt19937 random(20261206);
  for (int variant = -1; variant < 150; ++variant) {  // -1: the valid job, which runs to the end
    std::vector<std::string> lines = valid;
    auto any_line = [&]() -> std::string& { return lines[3 + random() % (lines.size() - 3)]; };
    // One to three edits that keep most lines readable: a duplicated node line, a huge or zero last value,
    // a node at the origin, a dropped line, a stray control, a cut line, swapped lines.
    for (int edits = variant < 0 ? 0 : 1 + random() % 3; edits > 0; --edits) {
      std::string& line = any_line();
      const size_t last = line.rfind(' ');
      const std::string edited[] = {lines[3], line.substr(0, last) + " 1.0e15", line.substr(0, last) + " 0",
                                    line.substr(0, line.find(' ', 9)) + " 0 0 0", "", controls[random() % 8],
                                    line.substr(0, line.size() / 2)};
      const size_t kind = random() % 8;
      kind < 7 ? void(line = edited[kind]) : std::swap(line, any_line());
    }
    std::string job;
    for (const auto& l : lines) job += l + "\n";
    std::ofstream(base + ".dat") << job;
    const JobRun run = run_trevo(base, {base, "20000", "1"});
    ASSERT_EQ(run.exit_status, 0) << "variant " << variant << " (124: a hang, -1: a signal):\n" << job;
    ASSERT_TRUE(variant >= 0 || contains(run.console, "Area of the blank is")) << run.console;
  }
}

}  // namespace
}  // namespace trevo::e2e
