// What the platform layer promises beyond what the public tests of mutexes, events, threads and error texts
// already see through it: written against the layer's headers alone, so it holds on either back end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>

#include "os/clock.h"
#include "os/files.h"
#include "os/process.h"
#include "os/sync.h"

namespace zem_util::os {
namespace {

TEST(PulseEventTest, ReleasesTheCallersLockBeforeWaiting) {
  unsigned error = 0;
  PulseEvent* event = newPulseEvent(&error);
  ASSERT_NE(event, nullptr) << "error " << error;
  std::atomic<bool> released{false};
  const WaitResult result = waitPulseEvent(
      event, 20, [](void* flag) { *static_cast<std::atomic<bool>*>(flag) = true; }, &released, &error);
  EXPECT_TRUE(released);
  EXPECT_EQ(result, WaitResult::Timeout);
  deletePulseEvent(event);
}

TEST(ClockTest, LocalTimeIsTheSystemsLocalTime) {
  const auto before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const LocalTime t = getLocalTime();
  const std::tm* local = std::localtime(&before);
  EXPECT_EQ(t.year, local->tm_year + 1900);
  EXPECT_EQ(t.month, local->tm_mon + 1);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.minute, 59);
  EXPECT_LE(t.second, 60);
  EXPECT_LE(t.millisecond, 999);
}

TEST(SeparatorTest, APlatformThatAddsBackslashesSplitsPathAtSemicolons) {
  EXPECT_TRUE(kNativeSeparator == '/' || kNativeSeparator == '\\');
  EXPECT_EQ(kNativeSeparator == '\\', kPathListSeparator == ';');  // drive letters contain ':'
}

}  // namespace
}  // namespace zem_util::os
