// POSIX side of the trace tests' faults: a file-size limit in a forked child, and /dev/full.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "trace/fault_support.h"

namespace test_support {

ChildOutcome runWithFileSizeLimit(std::size_t bytes, const std::function<int()>& body) {
  ChildOutcome outcome;
  const pid_t child = fork();
  if (child < 0) {
    outcome.why = "fork failed";
    return outcome;
  }
  if (child == 0) {
    // Ignoring SIGXFSZ turns a write past the limit into a failing write (EFBIG).
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    int result = 125;
    try {
      result = body();
    } catch (...) {
    }
    _exit(result);  // no static destructors or atexit handlers of the test program in the child
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) {
    outcome.why = "waitpid failed";
    return outcome;
  }
  outcome.ran = true;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  if (outcome.exitCode == 126) {
    outcome.ran = false;
    outcome.why = "setrlimit(RLIMIT_FSIZE) failed";
  }
  return outcome;
}

std::string fullDevicePath() {
  struct stat status {};
  return stat("/dev/full", &status) == 0 && S_ISCHR(status.st_mode) ? "/dev/full" : "";
}

}  // namespace test_support
