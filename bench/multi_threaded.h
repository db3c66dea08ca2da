// The standard library elides atomic reference counting until a process starts its first thread. Components
// that use this library run threads, so every benchmark runs in a process that has started one.
#pragma once

#include <thread>

namespace bench {
inline const bool multiThreaded = [] {
  std::thread([] {}).join();
  return true;
}();
}  // namespace bench
