#include <gtest/gtest.h>
#include <zem_util/cst_str.h>

#include <iomanip>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace zem_util {
namespace {

using namespace std::string_view_literals;

TEST(StdInteropTest, ViewsShareTheTextAndStrCopiesIt) {
  ArrayPtr<char> line("key=a long value");
  ArrayPtr<char> value = line.slice(4, 12);
  EXPECT_EQ(value.view(), "a long value");
  EXPECT_EQ(value.view().data(), line.toPtr() + 4);  // the window itself
  EXPECT_EQ(CstStr(value).view().data(), line.toPtr() + 4);
  EXPECT_EQ(value.str(), "a long value");
  EXPECT_EQ(std::string(value.begin(), value.end()), "a long value");
  EXPECT_TRUE(ArrayPtr<char>(std::string_view()).isNull());
  EXPECT_FALSE(ArrayPtr<char>(""sv).isNull());
  EXPECT_EQ(ArrayPtr<char>("a\0b"sv).length(), 3);
  EXPECT_EQ(CstStr("a\0b-long-text"sv).view(), "a\0b-long-text"sv);

  // A concatenation is copied out by str() as it is, and flattened by view().
  const CstStr joined = CstStr::cat(CstStr("0123456789"), CstStr("abcdefghij"));
  EXPECT_EQ(joined.str(), "0123456789abcdefghij");
  EXPECT_EQ(joined.internIdx(), -1);
  EXPECT_EQ(joined.view(), "0123456789abcdefghij");
  EXPECT_EQ(joined.internIdx(), 0);

  std::ostringstream out;
  out << std::setw(4) << ArrayPtr<char>("ab") << '|' << std::left << std::setw(4) << CstStr("cd") << '|'
      << ArrayPtr<char>() << joined;
  EXPECT_EQ(out.str(), "  ab|cd  |0123456789abcdefghij");
}

// Every pair of kinds (handle, constant string, C string) answers every comparison as the texts order.
TEST(StdInteropTest, TextsOfEveryKindCompareAsTheirBytesOrder) {
  struct Row {
    const char* left;
    const char* right;
    int order;  // sign of left - right
  };
  const Row rows[] = {
      {"abc", "abc", 0},
      {"abc", "abd", -1},
      {"abd", "abc", 1},
      {"ab", "abc", -1},
      {"B", "a", -1},
      {"\xE9", "A", -1},
      {"", "", 0},
      {"", "a", -1},
      {"0123456789x", "0123456789y", -1},
      {"0123456789", "0123456789", 0},
  };
  auto check = [](const auto& l, const auto& r, int order, const char* kinds) {
    SCOPED_TRACE(kinds);
    EXPECT_EQ(l == r, order == 0);
    EXPECT_EQ(l != r, order != 0);
    EXPECT_EQ(l < r, order < 0);
    EXPECT_EQ(l > r, order > 0);
    EXPECT_EQ(l <= r, order <= 0);
    EXPECT_EQ(l >= r, order >= 0);
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.left) + " vs " + row.right);
    const ArrayPtr<char> a1(row.left), a2(row.right);
    const CstStr c1(row.left), c2(row.right);
    check(a1, a2, row.order, "handle, handle");
    check(a1, c2, row.order, "handle, constant");
    check(c1, a2, row.order, "constant, handle");
    check(a1, row.right, row.order, "handle, C string");
    check(row.left, a2, row.order, "C string, handle");
    check(c1, c2, row.order, "constant, constant");
    check(c1, row.right, row.order, "constant, C string");
    check(row.left, c2, row.order, "C string, constant");
  }
  EXPECT_TRUE(ArrayPtr<char>() == "");  // null and empty are equal texts
  EXPECT_TRUE(ArrayPtr<char>() == CstStr());
}

TEST(StdInteropTest, TextsKeyStandardContainers) {
  // One text in different blocks and windows is one key, and every kind hashes it alike.
  ArrayPtr<char> block("..net.log");
  const ArrayPtr<char> window = block.slice(2, 7);
  std::unordered_map<ArrayPtr<char>, int> counts{{window, 1}};
  ++counts[ArrayPtr<char>("net.log")];
  EXPECT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts[window], 2);
  const std::size_t expected = std::hash<std::string_view>()("net.log");
  EXPECT_EQ(std::hash<ArrayPtr<char>>()(window), expected);
  EXPECT_EQ(std::hash<CstStr>()(CstStr::cat(CstStr("net"), CstStr(".log"))), expected);

  // Keys that differ only where the library's sampling hash does not look still spread.
  std::unordered_set<std::size_t> hashes;
  std::unordered_set<CstStr> keys;
  for (int i = 0; i < 100; ++i) {
    const ArrayPtr<char> key = format("/var/log/app/file%04d.log", i);
    hashes.insert(std::hash<ArrayPtr<char>>()(key));
    keys.insert(CstStr(key));
  }
  EXPECT_EQ(hashes.size(), 100u);
  EXPECT_EQ(keys.size(), 100u);

  std::map<ArrayPtr<char>, int> ordered{{"b", 1}, {"a", 2}, {"\xE9", 3}, {"ab", 4}};
  std::string order;
  for (const auto& entry : ordered) order += std::to_string(entry.second);
  EXPECT_EQ(order, "3241");

  // Object handles key by identity: copies are one key, another object is another.
  struct Job : Shared {};
  const Ptr<Job> job(new Job), copy = job, other(new Job);
  const std::set<Ptr<Job>> orderedJobs{job, copy, other, Ptr<Job>()};
  const std::unordered_set<Ptr<Job>> hashedJobs{job, copy, other};
  EXPECT_EQ(orderedJobs.size(), 3u);
  EXPECT_EQ(hashedJobs.size(), 2u);
  EXPECT_TRUE(orderedJobs.begin()->isNull());
}

}  // namespace
}  // namespace zem_util
