#include <gtest/gtest.h>
#include <zem_util/core.h>

#include <atomic>

#include "testing/test_access.h"

namespace zem_util {
namespace {

struct Counted : Shared {
  explicit Counted(std::atomic<int>* destroyed) : destroyed(destroyed) {}
  ~Counted() override { destroyed->fetch_add(1); }
  std::atomic<int>* destroyed;
  Ptr<Counted> next;
};

// Built by another file's static initialisation order: the library's statics must already be there.
ArrayPtr<char> staticText("built before main");
Ptr<Counted> staticObject;

TEST(HandlesTest, WorkDuringStaticInitialisation) {
  EXPECT_STREQ(staticText.toNullTerminatedPtr(), "built before main");
  ArrayPtr<char> copy = staticText;
  EXPECT_TRUE(copy.sharesBlockWith(staticText));
  EXPECT_EQ(test_access::getBlockCount(copy), 2);
}

TEST(HandlesTest, PtrCountsAndDeletesOnce) {
  std::atomic<int> destroyed{0};
  {
    Ptr<Counted> a(new Counted(&destroyed));
    Ptr<Counted> b = a;
    Ptr<Counted> c;
    EXPECT_TRUE(c.isNull());
    c = b;
    c = a;  // same object: no change
    const Ptr<Counted>& self = a;
    a = self;
    EXPECT_EQ(a.get(), c.get());
    b = Ptr<Counted>();
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(HandlesTest, AssigningFromInsideTheReleasedObjectIsSafe) {
  std::atomic<int> destroyed{0};
  Ptr<Counted> node(new Counted(&destroyed));
  node->next = new Counted(&destroyed);
  node->next->next = new Counted(&destroyed);
  node = node->next;  // the old head held the only reference to its successor
  EXPECT_EQ(destroyed, 1);
  node = node->next;
  EXPECT_EQ(destroyed, 2);
  node = Ptr<Counted>();
  EXPECT_EQ(destroyed, 3);
}

TEST(HandlesTest, ArrayAssignmentSharesBlockAndWindow) {
  ArrayPtr<char> text("abcdefgh");
  ArrayPtr<char> slice = text.slice(2, 3);
  EXPECT_EQ(test_access::getBlockCount(text), 2);
  slice = text;  // same block: no count change, the window is copied
  EXPECT_EQ(test_access::getBlockCount(text), 2);
  EXPECT_EQ(slice.length(), 8);
  EXPECT_EQ(slice.offset(), 0);
  const ArrayPtr<char>& self = slice;
  slice = self;
  EXPECT_EQ(test_access::getBlockCount(text), 2);

  ArrayPtr<int> numbers(3);
  EXPECT_EQ(numbers.length(), 3);
  EXPECT_EQ(numbers[0], 0);
}

TEST(HandlesTest, ListAssignmentStopsAtFirstEmptyText) {
  ArrayPtr<char> items[] = {"one", "two", "", "four"};
  ArrayPtr<ArrayPtr<char>> list;
  list = items;
  ASSERT_EQ(list.length(), 2);
  EXPECT_TRUE(list[1].sharesBlockWith(items[1]));  // shared, not copied
  EXPECT_TRUE(list[2].isNull());                   // the terminator
  list = static_cast<const ArrayPtr<char>*>(nullptr);
  EXPECT_TRUE(list.isNull());
}

}  // namespace
}  // namespace zem_util
