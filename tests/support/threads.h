// Many threads at once on the same objects.
#pragma once

#include <thread>
#include <vector>

namespace test_support {

// Runs `body(i)` for i = 0 .. count - 1, each on a thread of its own, and waits for them all.
template <class Body>
void onThreads(int count, Body body) {
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) threads.emplace_back(body, i);
  for (std::thread& thread : threads) thread.join();
}

}  // namespace test_support
