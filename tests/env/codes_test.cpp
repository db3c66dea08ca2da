#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "zem_util/env.h"

namespace zem_util {
namespace {

std::string encode(void (*encoder)(int, char*, int), int value, int width) {
  std::string buffer(static_cast<std::size_t>(width), '#');
  encoder(value, buffer.data(), width);
  return buffer;
}

TEST(CodesTest, WritesFixedWidthDigits) {
  EXPECT_EQ(encode(intToBase36, 0, 4), "0000");
  EXPECT_EQ(encode(intToBase36, 35, 3), "00Z");
  EXPECT_EQ(encode(intToBase36, 1295, 2), "ZZ");
  EXPECT_EQ(encode(intToBase36, 1296, 2), "00");  // the leading 1 is lost
  EXPECT_EQ(encode(intToBase36, INT_MAX, 6), "ZIK0ZJ");
  EXPECT_EQ(encode(intToBase64, 63, 2), "0.");
  EXPECT_EQ(encode(intToBase64, 62 * 64 + 36, 2), "_a");
  EXPECT_EQ(encode(intToBase64, INT_MAX, 6), "1.....");
  // Negative values are written as their 32-bit pattern, which reading gives back.
  EXPECT_EQ(encode(intToBase36, -1, 7), "1Z141Z3");
  for (int value : {-1, INT_MIN, -123456789}) {
    EXPECT_EQ(base36ToInt(encode(intToBase36, value, 7).data(), 7), value);
    EXPECT_EQ(base64ToInt(encode(intToBase64, value, 6).data(), 6), value);
  }
  // Exactly `width` characters and no NUL; nothing at all for a width below 1 or a null buffer.
  char buffer[] = "####";
  intToBase36(7, buffer + 1, 2);
  intToBase36(7, buffer, 0);
  intToBase64(7, buffer, -3);
  intToBase36(7, nullptr, 5);
  EXPECT_STREQ(buffer, "#07#");
}

TEST(CodesTest, ReadsDigitsUntilTheFirstNonDigit) {
  int end = -1;
  EXPECT_EQ(base36ToInt("zz", 2), 1295);  // base 36 reads either case
  EXPECT_EQ(base36ToInt("1z-3", 4, end), 71);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(base36ToInt("1\0002", 3, end), 1);
  EXPECT_EQ(end, 1);
  EXPECT_EQ(base36ToInt("ZZZZZZ", 6), static_cast<int>(2176782335u));
  EXPECT_EQ(base36ToInt("\xff", 1, end), 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(base64ToInt("z", 1) + base64ToInt("Z", 1) + base64ToInt("_", 1) + base64ToInt(".", 1), 61 + 35 + 62 + 63);
  EXPECT_EQ(base64ToInt("aB9 xy", 6, end), (36 * 64 + 11) * 64 + 9);
  EXPECT_EQ(end, 3);
  EXPECT_EQ(base64ToInt("+/", 2, end), 0);  // the published Base64's symbols are not digits here
  EXPECT_EQ(end, 0);
  // Lengths below 1 give 0 and store the length; null digits give 0 and end 0.
  EXPECT_EQ(base36ToInt("123", 0, end), 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(base64ToInt("123", -2, end), 0);
  EXPECT_EQ(end, -2);
  EXPECT_EQ(base36ToInt(nullptr, 5, end), 0);
  EXPECT_EQ(end, 0);
}

TEST(CodesTest, Base36AgreesWithStrtoullOnRandomDigits) {
  std::mt19937 random(20260512);
  const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  for (int round = 0; round < 20000; ++round) {
    // Up to 12 digits: past 32 bits both wrap alike, and 36^12 still fits strtoull's 64 bits.
    std::string text;
    for (int i = static_cast<int>(random() % 12); i >= 0; --i) text += digits[random() % 62];
    if (random() % 4 == 0) text += "#!/ ."[random() % 5];
    char* stop = nullptr;
    const unsigned long long expected = std::strtoull(text.c_str(), &stop, 36);
    int end = -1;
    ASSERT_EQ(static_cast<unsigned>(base36ToInt(text.data(), static_cast<int>(text.size()), end)),
              static_cast<unsigned>(expected))
        << text;
    ASSERT_EQ(end, stop - text.c_str()) << text;
  }
}

TEST(CodesTest, MinimumLengthCountsTheMagnitudesDigits) {
  EXPECT_EQ(minLengthForBase36(0), 1u);
  EXPECT_EQ(minLengthForBase36(35), 1u);
  EXPECT_EQ(minLengthForBase36(36), 2u);
  EXPECT_EQ(minLengthForBase36(-1296), 3u);
  EXPECT_EQ(minLengthForBase36(INT_MAX), 6u);
  EXPECT_EQ(minLengthForBase36(INT_MIN), 6u);
  EXPECT_EQ(minLengthForBase64(63), 1u);
  EXPECT_EQ(minLengthForBase64(64), 2u);
  EXPECT_EQ(minLengthForBase64(INT_MIN), 6u);
}

TEST(CodesTest, ConcurrentFirstUseBuildsEachTableOnce) {
  std::vector<std::thread> threads;
  std::vector<int> results(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([i, &results] {
      char digits[6];
      auto encoder = i % 2 ? intToBase36 : intToBase64;
      auto decoder = i % 2 ? static_cast<int (*)(const char*, int)>(base36ToInt)
                           : static_cast<int (*)(const char*, int)>(base64ToInt);
      encoder(123456 + i, digits, 6);
      results[i] = decoder(digits, 6) - i;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int result : results) EXPECT_EQ(result, 123456);
}

}  // namespace
}  // namespace zem_util
