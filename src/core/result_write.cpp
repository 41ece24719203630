// Checked result writes and the interruption flag.
#include "core/result_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <algorithm>

namespace trevo {

namespace {

volatile std::sig_atomic_t g_signal = 0;  // the signal that arrived, 0 while none
int g_calls = 0;                          // checked write calls so far
long g_fail_at = 0;                       // the injected failure's call, 0 for none
std::vector<std::string> g_files;         // files checked, in the order of their first check

extern "C" void note_signal(int signal) { g_signal = signal; }

// The system's text for the last error; a stream that failed without one (a full buffer
// refused by the stream itself) still gets a reason.
std::string last_error() { return errno != 0 ? std::strerror(errno) : "input/output error"; }

// Counts one write call into file; true when it is the injected failure.
bool injected_failure(const std::string& file) {
  if (std::find(g_files.begin(), g_files.end(), file) == g_files.end()) g_files.push_back(file);
  return ++g_calls == g_fail_at;
}

}  // namespace

void begin_checked_run() {
  g_calls = 0;
  g_files.clear();
  g_signal = 0;
  const char* at = std::getenv("TREVO_FAIL_WRITE_AT");
  g_fail_at = at != nullptr ? std::strtol(at, nullptr, 10) : 0;
  struct sigaction action {};
  action.sa_handler = note_signal;
  action.sa_flags = SA_RESETHAND;  // a second signal ends the process at once, as without a handler
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void check_interrupted() {
  if (g_signal != 0) throw RunInterrupted{g_signal};
}

void clear_interruption() { g_signal = 0; }

void check_written(const std::ostream& stream, const std::string& file) {
  check_interrupted();
  if (injected_failure(file)) throw WriteFailed{file, "injected write failure (TREVO_FAIL_WRITE_AT)"};
  if (!stream.good()) throw WriteFailed{file, last_error()};
}

void close_checked(std::ofstream& unit, const std::string& file) {
  // errno is left as the failed write left it, which is the reason given.
  if (unit.is_open()) unit.close();  // a failed flush on close sets failbit
  check_written(unit, file);
}

void sync_file(const std::string& file) {
  check_interrupted();
  if (injected_failure(file)) throw WriteFailed{file, "injected write failure (TREVO_FAIL_WRITE_AT)"};
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) throw WriteFailed{file, last_error()};
  const bool synced = ::fsync(fd) == 0;
  const std::string reason = synced ? "" : last_error();
  ::close(fd);
  if (!synced) throw WriteFailed{file, reason};
}

int write_calls() { return g_calls; }

const std::vector<std::string>& checked_files() { return g_files; }

}  // namespace trevo
