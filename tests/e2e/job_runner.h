// Runs the trevo program on a copy of a job in a fresh temporary folder and
// collects what a user sees: exit status, console, run report and result files.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace trevo::e2e {

inline std::string read_text(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A job file: below the source tree for trevo's own test parts ("tests/data/..."), else below
// ../shared/validation.
inline std::string validation_file(const std::string& relative) {
  if (relative.rfind("tests/data/", 0) == 0) return std::string(TREVO_SOURCE_DIR) + "/" + relative;
  return std::string(TREVO_SHARED_DIR) + "/validation/" + relative;
}

struct JobRun {
  std::filesystem::path dir;
  std::string base;  // dir/name
  int exit_status = -1;
  std::string console;
  std::string report;
  std::string file(const std::string& suffix) const { return read_text(base + suffix); }
  bool exists(const std::string& suffix) const { return std::filesystem::exists(base + suffix); }
};

class JobFolder {
 public:
  explicit JobFolder(const std::string& tag) {
    dir_ = std::filesystem::temp_directory_path() / ("trevo_e2e_" + tag + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~JobFolder() { std::filesystem::remove_all(dir_); }
  const std::filesystem::path& dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// Runs `trevo <dir>/<name> args...` with its console captured.
inline JobRun run_trevo(const std::filesystem::path& dir, const std::string& name, const std::vector<std::string>& args) {
  JobRun run;
  run.dir = dir;
  run.base = (dir / name).string();
  std::string command = std::string("'") + TREVO_BINARY + "' '" + run.base + "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " > '" + run.base + ".console' 2>&1";
  int status = std::system(command.c_str());
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.console = read_text(run.base + ".console");
  run.report = read_text(run.base + ".OUT");
  return run;
}

// Writes a job file from text, runs it with the keep-input flag unless told otherwise.
inline JobRun run_text_job(const JobFolder& folder, const std::string& text, std::vector<std::string> args = {"20000", "1"}) {
  std::ofstream(folder.dir() / "job.dat", std::ios::binary) << text;
  return run_trevo(folder.dir(), "job", args);
}

inline JobRun run_validation_job(const JobFolder& folder, const std::string& relative_dat,
                                 std::vector<std::string> args = {"20000", "1"}) {
  std::filesystem::path source = validation_file(relative_dat);
  std::string name = source.stem().string();
  std::filesystem::copy_file(source, folder.dir() / (name + ".dat"), std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(folder.dir() / (name + ".dat"), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  return run_trevo(folder.dir(), name, args);
}

}  // namespace trevo::e2e
