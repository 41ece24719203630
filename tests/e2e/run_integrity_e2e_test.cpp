// The run summary and the integrity of a run's results, end to end on the cup of examples/cup:
// the summary read back by an independent reader (Python's json module) and compared with
// the run report, the input's digest with sha256sum and the file list with the folder; how
// each kind of end shows (exit status, message, summary status); job paths with blanks,
// non-ASCII characters and the longest base path, with every file written next to the job.
#include <cstdio>

#include "validation_runs.h"

namespace trevo::e2e {
namespace {

const std::string kCup = TREVO_SOURCE_DIR "/examples/cup/cup.dat";

std::string shell_quoted(const std::string& s) { return "'" + s + "'"; }

// Runs `trevo <base> 20000 1` from the folder cwd behind the prefix ("" or "VAR=value"); with a signal
// name, sends trevo that one signal once its iterations have begun (its handler takes one: a second
// ends it at once). The console goes to <cwd>.console, removed afterwards.
JobRun run_from(const fs::path& cwd, const std::string& base, const std::string& prefix = "", const std::string& signal = "") {
  const std::string console = shell_quoted(cwd.string() + ".console"), run = prefix +
      " timeout --foreground --preserve-status 600 '" TREVO_BINARY "' " + shell_quoted(base) + " 20000 1 > " + console + " 2>&1";
  const std::string command = "cd " + shell_quoted(cwd) + " && " + (signal.empty() ? run : "{ " + run + " & p=$!; until grep -q "
      "NN0= " + console + " || ! kill -0 $p 2>/dev/null; do sleep 0.01; done; kill -" + signal + " $p; wait $p; }");
  const int status = std::system(command.c_str());
  JobRun job{base, WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(cwd.string() + ".console"), read_text(base + ".OUT")};
  fs::remove(cwd.string() + ".console");
  return job;
}

std::string command_output(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  for (char buffer[512]; std::fgets(buffer, sizeof buffer, pipe);) out += buffer;
  ::pclose(pipe);
  return out;
}

// Python's reading of <base>.summary.json (NaN and Infinity rejected): the printed expression.
std::string summary_reading(const std::string& base, const std::string& expression) {
  const std::string script = base + ".probe.py";
  std::ofstream(script) << "import json, os, sys\n"
                           "def bad(c): raise ValueError(c)\n"
                           "s = json.load(open(sys.argv[1], encoding='utf-8'), parse_constant=bad)\n"
                           "print(" << expression << ")\n";
  const std::string out = command_output("PYTHONIOENCODING=utf-8 /usr/bin/python3 " + shell_quoted(script) + " " +
                                         shell_quoted(base + ".summary.json") + " 2>&1");
  fs::remove(script);
  return out.empty() ? out : out.substr(0, out.size() - 1);
}

TEST(RunSummaryE2e, CompleteRunAgreesWithReportDigestAndFolder) {
  JobFolder folder;
  const std::string base = (folder.dir / "cup").string();
  fs::copy_file(kCup, base + ".dat");
  // Without the picture, which is drawn from the summary after it (src/driver/run_picture.h).
  const JobRun run = run_from(folder.dir, base, "TREVO_PICTURE=0");
  ASSERT_EQ(run.exit_status, 0) << run.console;
  EXPECT_EQ(summary_reading(base, "s['status'], s['message'], s['verdict']['converged'], s['job'] == sys.argv[1][:-13]"),
            "complete None True True");
  // The input's digest as sha256sum gives it, and its size.
  const std::string sum = command_output("sha256sum " + shell_quoted(base + ".dat"));
  EXPECT_EQ(summary_reading(base, "s['input']['sha256'], s['input']['bytes']"),
            sum.substr(0, 64) + " " + std::to_string(fs::file_size(base + ".dat")));
  // Every file the run left but the input and the summary, with its size, and nothing else.
  std::set<std::string> left;
  for (const auto& f : fs::directory_iterator(folder.dir))
    if (f.path().extension() != ".dat" && f.path().filename() != "cup.summary.json")
      left.insert(f.path().string() + " " + std::to_string(f.file_size()));
  std::set<std::string> listed;
  for (const std::string& row : records_of(summary_reading(base, "'\\n'.join(f['name'] + ' ' + str(f['bytes']) for f in s['files'])")))
    listed.insert(row);
  EXPECT_EQ(listed, left);
  // The punch force and the weight the run report prints, as the summary holds them (the blank's area and
  // least rectangle: tests/output/test_viewer_files.py). The history has one row per iteration, numbered
  // 1, 2, ...; the closing progress line shows the last iteration's ADP (G9.3: three digits).
  const auto values = numbers(summary_reading(base, "s['forces']['punch_n'], s['blank']['weight_kg']"), 2);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_NEAR(number_after(run.report, "PUNCHFORCE="), values[0], 1e-15 * std::abs(values[0]));
  EXPECT_NEAR(number_after(run.report, "Weight of the blank is"), values[1], 1e-7 * values[1]);  // G14.8: eight digits
  EXPECT_EQ(summary_reading(base, "[h[0] for h in s['history']] == list(range(1, s['iterations'] + 1)), "
                                  "s['adp']['final'] == s['history'][-1][1]"),
            "True True");
  const std::vector<std::string> records = records_of(run.console);
  const auto last_progress = std::find_if(records.rbegin(), records.rend(), [](auto& r) { return r.rfind("NN0=", 0) == 0; });
  ASSERT_NE(last_progress, records.rend());
  const double printed_adp = number_after(*last_progress, "ADP=");
  const auto row = numbers(summary_reading(base, "s['history'][-1]"), 4);
  ASSERT_EQ(row.size(), 4u);
  EXPECT_NEAR(row[1], printed_adp, 5e-3 * std::abs(printed_adp)) << *last_progress;
  // The forming limit: thinning and the least thickness agree; the margin is below the
  // plane-strain level less the largest major strain only when the minor strain helps.
  const auto part = numbers(summary_reading(base, "s['part']['min_thickness_mm'], s['part']['max_thinning'], "
                                                  "s['part']['fld']['thickness_mm'], s['part']['fld']['flc0']"), 4);
  ASSERT_EQ(part.size(), 4u);
  EXPECT_NEAR(1.0 - part[0] / part[2], part[1], 1e-12);  // the cup's sheet is one thickness
  EXPECT_NEAR(part[3], std::log1p((23.3 + 14.13 * 1.0) / 100.0), 1e-12);  // n = 0.22, t = 1 mm
}

// The cup with every node identifier n written as 900000 - n (the lines in their order): the summary
// names the node of the last MAXP by its identifier in the input, not by its place, though the text of
// the mesh lines is gone by the end of the run.
TEST(RunSummaryE2e, OutOfBalanceNodeIsNamedByItsInputIdentifier) {
  JobFolder folder;
  const std::string base = (folder.dir / "cup").string();
  std::ofstream(base + ".dat") << edited_job(read_text(kCup), [](const std::string& key, std::vector<std::string>& v) {
    const auto relabel = [&v](size_t first, size_t last) {
      for (size_t i = first; i <= last && i < v.size(); ++i) v[i] = std::to_string(900000 - std::stoll(v[i]));
    };
    if (key == "SHETNODE") relabel(0, 0);
    if (key == "SHETQUAD") relabel(1, 4);
  });
  const JobRun run = run_from(folder.dir, base, "TREVO_PICTURE=0");
  ASSERT_EQ(run.exit_status, 0) << run.console;
  const std::vector<std::string> records = records_of(run.console);
  const auto last_progress = std::find_if(records.rbegin(), records.rend(), [](auto& r) { return r.rfind("NN0=", 0) == 0; });
  ASSERT_NE(last_progress, records.rend());
  const long long place = std::stoll(last_progress->substr(last_progress->find("MAXP(") + 5));
  EXPECT_EQ(summary_reading(base, "s['maxp']['node']"), std::to_string(900000 - place)) << *last_progress;
}

// Each kind of end but a complete one (above): exit status, the line on the console, the summary's status.
TEST(RunSummaryE2e, EveryEndShowsInStatusMessageAndSummary) {
  const struct {
    std::string name, prefix, signal;
    bool input;
    int exit_status;
    std::string console, status;
  } rows[] = {
      {"report fails at open", "TREVO_FAIL_WRITE_AT=1", "", true, 2, "trevo: cannot write <base>.OUT: injected write failure",
       "write-failed"},
      {"blank mesh fails", "TREVO_FAIL_WRITE_AT=5", "", true, 2, "trevo: cannot write <base>_Blank.nas: injected", "write-failed"},
      {"sigterm", "", "TERM", true, 143, "trevo: interrupted by signal 15; results are incomplete", "interrupted"},
      {"sigint", "", "INT", true, 130, "trevo: interrupted by signal 2; results are incomplete", "interrupted"},
      {"no input", "", "", false, 0, "", "stopped"},
  };
  for (const auto& r : rows) {
    JobFolder folder;
    const std::string base = (folder.dir / "cup").string();
    if (r.input) fs::copy_file(kCup, base + ".dat");
    const JobRun run = run_from(folder.dir, base, r.prefix, r.signal);
    EXPECT_EQ(run.exit_status, r.exit_status) << r.name << "\n" << run.console;
    std::string line = r.console;
    if (const auto at = line.find("<base>"); at != std::string::npos) line.replace(at, 6, base);
    EXPECT_TRUE(contains(run.console, "\n" + line)) << r.name << ": no \"" << line << "\" in\n" << run.console;
    EXPECT_EQ(summary_reading(base, "s['status']"), r.status) << r.name;
    if (r.status == "stopped") {  // the stop's own message, as the console's last line shows it
      EXPECT_EQ(summary_reading(base, "s['message']"), records_of(run.console).back().substr(1)) << r.name;
    }
    // The message goes into the run report too, unless the report is the file that failed.
    if (r.exit_status != 0) {
      EXPECT_EQ(contains(run.report, line), !contains(line, ".OUT")) << r.name << ": in the run report or not";
    }
  }
}

// Job paths with blanks, non-ASCII characters and the longest base path (1022 characters, the
// base-path buffer's limit): complete runs, every file beside the job, none in the folder the
// run was started from.
TEST(RunSummaryE2e, AwkwardJobPathsKeepTheirFilesBesideTheJob) {
  JobFolder folder;
  const fs::path started_in = folder.dir / "started here";
  fs::create_directories(started_in);
  std::string longest = (folder.dir / "long").string();
  while (longest.size() + 203 <= 1022) longest += "/" + std::string(200, 'd');  // a name holds 255 bytes at most
  longest += "/" + std::string(1022 - longest.size() - 1, 'c');
  const std::string bases[] = {(folder.dir / "job with blanks" / "cup part 1").string(),
                               (folder.dir / "Werkstück_ø" / "カップ").string(), longest};
  for (const std::string& base : bases) {
    fs::create_directories(fs::path(base).parent_path());
    fs::copy_file(kCup, base + ".dat");
    const JobRun run = run_from(started_in, base);
    EXPECT_EQ(run.exit_status, 0) << base.size() << " " << base << "\n" << run.console;
    EXPECT_EQ(summary_reading(base, "s['status'], s['job'] == sys.argv[1][:-13], "
                                    "all(os.path.getsize(f['name']) == f['bytes'] for f in s['files'])"),
              "complete True True")
        << base;
    EXPECT_TRUE(fs::is_empty(started_in)) << base;
    for (const auto& f : fs::directory_iterator(fs::path(base).parent_path()))
      EXPECT_EQ(f.path().string().rfind(base, 0), 0u) << f.path() << " is not a file of " << base;
  }
}

}  // namespace
}  // namespace trevo::e2e
