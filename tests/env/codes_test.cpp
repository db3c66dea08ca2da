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

std::string toBase36(int value, int width) {
  std::string buffer(static_cast<std::size_t>(width), '#');
  intToBase36(value, buffer.data(), width);
  return buffer;
}

std::string toBase64(int value, int width) {
  std::string buffer(static_cast<std::size_t>(width), '#');
  intToBase64(value, buffer.data(), width);
  return buffer;
}

TEST(Base36Test, WritesFixedWidthDigits) {
  EXPECT_EQ(toBase36(0, 4), "0000");
  EXPECT_EQ(toBase36(5, 3), "005");
  EXPECT_EQ(toBase36(35, 3), "00Z");
  EXPECT_EQ(toBase36(36, 3), "010");
  EXPECT_EQ(toBase36(1295, 2), "ZZ");
  EXPECT_EQ(toBase36(1296, 2), "00");  // the leading 1 is lost
  EXPECT_EQ(toBase36(INT_MAX, 6), "ZIK0ZJ");
  // Writes exactly `width` characters: no NUL, nothing for a width below 1.
  char buffer[4] = {'#', '#', '#', '#'};
  intToBase36(7, buffer + 1, 2);
  EXPECT_EQ(std::string(buffer, 4), "#07#");
  intToBase36(7, buffer, 0);
  intToBase36(7, buffer, -3);
  intToBase36(7, nullptr, 5);
  EXPECT_EQ(std::string(buffer, 4), "#07#");
}

TEST(Base36Test, NegativeValuesRoundTripAsTheirUnsignedPattern) {
  EXPECT_EQ(toBase36(-1, 7), "1Z141Z3");  // 4294967295
  EXPECT_EQ(toBase36(-2118184961, 6), "ZZZZZZ");
  for (int value : {-1, -36, INT_MIN, -123456789}) {
    const std::string digits = toBase36(value, 7);
    EXPECT_EQ(base36ToInt(digits.data(), 7), value) << digits;
    const std::string digits64 = toBase64(value, 6);
    EXPECT_EQ(base64ToInt(digits64.data(), 6), value) << digits64;
  }
}

TEST(Base36Test, ReadsEitherCaseUntilANonDigit) {
  EXPECT_EQ(base36ToInt("zz", 2), 1295);
  EXPECT_EQ(base36ToInt("ZZ", 2), 1295);
  int end = -1;
  EXPECT_EQ(base36ToInt("1z-3", 4, end), 71);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(base36ToInt("12", 2, end), 38);
  EXPECT_EQ(end, 2);
  EXPECT_EQ(base36ToInt("1\0002", 3, end), 1);  // a NUL is not a digit
  EXPECT_EQ(end, 1);
  EXPECT_EQ(base36ToInt("123", 0, end), 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(base36ToInt("123", -2, end), 0);
  EXPECT_EQ(end, -2);
  EXPECT_EQ(base36ToInt(nullptr, 5, end), 0);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(base36ToInt("ZZZZZZ", 6), static_cast<int>(2176782335u));
  EXPECT_EQ(base36ToInt("\xff\x80", 2, end), 0);  // bytes above 127 are not digits either
  EXPECT_EQ(end, 0);
}

TEST(Base36Test, AgreesWithStrtoulOnRandomDigits) {
  std::mt19937 random(20260512);
  const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  for (int round = 0; round < 20000; ++round) {
    // Up to 12 digits: past 32 bits both wrap the same way, and 36^12 still fits strtoul's 64 bits.
    std::string text;
    const int length = static_cast<int>(random() % 12) + 1;
    for (int i = 0; i < length; ++i) text += digits[random() % 62];
    if (random() % 4 == 0) text += "#!/ ."[random() % 5];  // a stop character
    char* stop = nullptr;
    const unsigned long expected = std::strtoul(text.c_str(), &stop, 36);
    int end = -1;
    const int value = base36ToInt(text.data(), static_cast<int>(text.size()), end);
    ASSERT_EQ(static_cast<unsigned>(value), static_cast<unsigned>(expected)) << text;
    ASSERT_EQ(end, stop - text.c_str()) << text;
  }
}

TEST(Base64Test, UsesTheLibrarysOwnAlphabet) {
  EXPECT_EQ(toBase64(63, 2), "0.");
  EXPECT_EQ(toBase64(64, 2), "10");
  EXPECT_EQ(toBase64(62, 1), "_");
  EXPECT_EQ(toBase64(36, 1), "a");
  EXPECT_EQ(toBase64(INT_MAX, 6), "1.....");
  EXPECT_EQ(base64ToInt("z", 1), 61);
  EXPECT_EQ(base64ToInt("Z", 1), 35);
  EXPECT_EQ(base64ToInt("_", 1), 62);
  EXPECT_EQ(base64ToInt(".", 1), 63);
  int end = -1;
  EXPECT_EQ(base64ToInt("aB9 xy", 6, end), (36 * 64 + 11) * 64 + 9);
  EXPECT_EQ(end, 3);
  EXPECT_EQ(base64ToInt("+/=", 3, end), 0);  // the published Base64's symbols are not digits here
  EXPECT_EQ(end, 0);
  for (int value = 0; value < 70000; value += 7) {
    const std::string digits = toBase64(value, 3);
    ASSERT_EQ(base64ToInt(digits.data(), 3), value) << digits;
    const std::string digits36 = toBase36(value, 4);
    ASSERT_EQ(base36ToInt(digits36.data(), 4), value) << digits36;
  }
}

TEST(MinLengthTest, DigitsOfTheMagnitude) {
  EXPECT_EQ(minLengthForBase36(0), 1u);
  EXPECT_EQ(minLengthForBase36(35), 1u);
  EXPECT_EQ(minLengthForBase36(36), 2u);
  EXPECT_EQ(minLengthForBase36(1295), 2u);
  EXPECT_EQ(minLengthForBase36(1296), 3u);
  EXPECT_EQ(minLengthForBase36(INT_MAX), 6u);
  EXPECT_EQ(minLengthForBase36(-36), 2u);
  EXPECT_EQ(minLengthForBase36(INT_MIN), 6u);
  EXPECT_EQ(minLengthForBase64(63), 1u);
  EXPECT_EQ(minLengthForBase64(64), 2u);
  EXPECT_EQ(minLengthForBase64(4095), 2u);
  EXPECT_EQ(minLengthForBase64(4096), 3u);
  EXPECT_EQ(minLengthForBase64(INT_MAX), 6u);
  EXPECT_EQ(minLengthForBase64(INT_MIN), 6u);
}

TEST(CodesTest, ConcurrentFirstUseBuildsTheTablesOnce) {
  std::vector<std::thread> threads;
  std::vector<int> results(8, -1);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([i, &results] {
      char digits[6];
      if (i % 2 == 0) {
        intToBase36(123456 + i, digits, 6);
        results[i] = base36ToInt(digits, 6) - i;
      } else {
        intToBase64(123456 + i, digits, 6);
        results[i] = base64ToInt(digits, 6) - i;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int result : results) EXPECT_EQ(result, 123456);
}

}  // namespace
}  // namespace zem_util
