// Faults the trace tests inflict on the file system, by means only some platforms have (one implementation per
// platform, chosen by the build). Each says when it cannot, so that the test skips with the reason.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace test_support {

// How a body run in a process of its own ended.
struct ChildOutcome {
  bool ran = false;  // false: the platform cannot do it, and `why` says so
  std::string why;
  int exitCode = -1;  // the body's result when it returned
  int signal = 0;     // the signal that ended the process instead, or 0
};

// Runs `body` in a child process in which no file may grow beyond `bytes`: writes past the limit fail (EFBIG)
// instead of killing the process. The child returns the body's result as its exit code, or 125 when an exception
// left the body.
ChildOutcome runWithFileSizeLimit(std::size_t bytes, const std::function<int()>& body);

// A file that accepts opening for appending and fails every write because the disk is full, or "" when the
// platform has none.
std::string fullDevicePath();

}  // namespace test_support
