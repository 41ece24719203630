// Starting the drawing tool at the end of a complete run.
#include "driver/run_picture.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

extern char** environ;

namespace trevo {

namespace {

constexpr const char* kToolName = "trevo-picture";
constexpr const char* kSwitch = "TREVO_PICTURE";

bool executable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

std::string own_folder() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

// The last non-empty line of a text.
std::string last_line(const std::string& text) {
  std::istringstream in(text);
  std::string last;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) last = line;
  return last;
}

// Runs the tool with its output discarded and its error stream collected; the reason of a
// failure, or empty after a clean exit.
std::string run_tool(const std::string& tool, const std::string& base) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) return "no pipe to the drawing tool";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_ends[1]);
  std::string tool_arg = tool, base_arg = base;
  char* argv[] = {tool_arg.data(), base_arg.data(), nullptr};
  pid_t child = 0;
  const int spawned = posix_spawn(&child, tool.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_ends[1]);
  std::string errors;
  char buffer[4096];
  while (spawned == 0) {
    const ssize_t n = ::read(pipe_ends[0], buffer, sizeof buffer);
    if (n > 0) errors.append(buffer, static_cast<size_t>(n));
    if (n == 0 || (n < 0 && errno != EINTR)) break;
  }
  ::close(pipe_ends[0]);
  if (spawned != 0) return "the drawing tool could not be started";
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  const std::string said = last_line(errors);
  if (!said.empty()) return said;
  return WIFSIGNALED(status) ? kToolName + std::string(" ended by signal ") + std::to_string(WTERMSIG(status))
                             : kToolName + std::string(" exit status ") + std::to_string(WEXITSTATUS(status));
}

}  // namespace

std::string find_picture_tool(const std::string& folder) {
  if (!folder.empty() && executable(folder + "/" + kToolName)) return folder + "/" + kToolName;
  const char* path = std::getenv("PATH");
  std::istringstream entries(path != nullptr ? path : "");
  for (std::string entry; std::getline(entries, entry, ':');) {
    if (!entry.empty() && executable(entry + "/" + kToolName)) return entry + "/" + kToolName;
  }
  return "";
}

void draw_run_picture(const std::string& base, Reporter& reporter) {
  const char* setting = std::getenv(kSwitch);
  if (setting != nullptr && std::string(setting) == "0") return;
  const std::string tool = find_picture_tool(own_folder());
  if (tool.empty()) return;
  const std::string failure = run_tool(tool, base);
  if (!failure.empty()) reporter.console(" warning: no picture " + base + ".png (" + failure + ")");
}

}  // namespace trevo
