// What the platform layer promises beyond what the public tests of mutexes, events, threads and error texts
// already see through it: written against the layer's headers alone, so it holds on either back end.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "os/clock.h"
#include "os/files.h"
#include "os/process.h"
#include "os/sync.h"
#include "support/temp_dir.h"

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

// The count lock bounds every sleep, so a wake-up that did nothing would only make it slow: here a wake must end
// a wait long before its bound. Each wait returns either way, so a failure shows as a time, not a hang.
TEST(WordWaitTest, ReturnsAtOnceWhenTheWordDiffersAndWhenWoken) {
  constexpr int kLongMs = 20000;
  const auto start = std::chrono::steady_clock::now();
  auto elapsedMs = [start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  std::atomic<std::uint32_t> word{1};
  waitWhileEqual(word, 0, kLongMs);
  EXPECT_LT(elapsedMs(), kLongMs / 2);

  std::thread waker([&word] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    issueProcessBarrier();  // harmless with any number of threads running
    word = 2;
    wakeOneWaiter(word);
  });
  while (word == 1) waitWhileEqual(word, 1, kLongMs);
  EXPECT_LT(elapsedMs(), kLongMs / 2);
  waker.join();
}

TEST(ClockTest, LocalTimeIsTheSystemsLocalTime) {
  const auto before = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const LocalTime t = getLocalTime();
  const std::tm local = *std::localtime(&before);  // copied: the run-time may reuse its buffer
  EXPECT_EQ(t.year, local.tm_year + 1900);
  EXPECT_EQ(t.month, local.tm_mon + 1);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.minute, 59);
  EXPECT_LE(t.second, 60);
  EXPECT_LE(t.millisecond, 999);
  // The system time of the same moment, turned into local time, names the same second (or the next one).
  const SystemTime now = getSystemTime();
  const LocalTime same = getLocalTimeOf(now.second);
  EXPECT_GE(now.second, static_cast<std::int64_t>(before));
  EXPECT_LE(now.second - static_cast<std::int64_t>(before), 2);
  EXPECT_LE(now.millisecond, 999);
  const int seconds = (same.hour * 60 + same.minute) * 60 + same.second;
  const int expected = (local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec;
  EXPECT_LE((seconds - expected + 86400) % 86400, 2);
}

TEST(SeparatorTest, APlatformThatAddsBackslashesSplitsPathAtSemicolons) {
  EXPECT_TRUE(kNativeSeparator == '/' || kNativeSeparator == '\\');
  EXPECT_EQ(kNativeSeparator == '\\', kPathListSeparator == ';');  // drive letters contain ':'
}

// Both separators count on every platform, and levels that exist already are passed over.
TEST(FilesTest, MakeDirectoriesMakesEveryLevel) {
  test_support::TempDir dir;
  const struct {
    const char* path;
    const char* made;
  } cases[] = {{"a/b/c/", "a/b/c"}, {"a/b/d", "a/b/d"}, {"e//f", "e/f"}, {"g\\h\\", "g/h"}};
  for (const auto& c : cases) {
    makeDirectories((dir.path().string() + kNativeSeparator + c.path).c_str());
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / c.made)) << c.path;
  }
}

// The size a stream counts is the size the file has on disk once closed, line ends included (two bytes each in
// Windows text mode), over several writes, and what was there before stays in front.
TEST(FilesTest, AppendStreamCountsWhatTheFileHolds) {
  test_support::TempDir dir;
  const struct {
    const char* name;
    const char* before;  // null: no file yet
    const char* written;
  } cases[] = {{"new.log", nullptr, "one\n"}, {"old.log", "earlier\n", "a\nb\n\nc"}, {"nothing_new.log", "x\n", ""}};
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    if (c.before) std::ofstream(path) << c.before;
    AppendStream* stream = openAppendStream(path.c_str());
    ASSERT_NE(stream, nullptr) << c.name;
    EXPECT_EQ(getStreamSize(stream), c.before ? static_cast<std::int64_t>(std::filesystem::file_size(path)) : 0);
    writeStream(stream, c.written, std::strlen(c.written));
    writeStream(stream, "<42>\n", 5);
    const std::int64_t size = getStreamSize(stream);
    closeStream(stream);
    EXPECT_EQ(size, static_cast<std::int64_t>(std::filesystem::file_size(path))) << c.name;
    std::string content = test_support::readFile(path);
    content.erase(std::remove(content.begin(), content.end(), '\r'), content.end());
    EXPECT_EQ(content, std::string(c.before ? c.before : "") + c.written + "<42>\n") << c.name;
  }
}

}  // namespace
}  // namespace zem_util::os
