#include <gtest/gtest.h>
#include <zem_util/system.h>

#include <cstring>

namespace zem_util {
namespace {

TEST(ExceptionTest, CopiesShareTheMessage) {
  Exception empty;
  EXPECT_TRUE(empty.getMessage().isNull());
  EXPECT_EQ(empty.getRetCode(), 0);

  Exception original(ArrayPtr<char>("disk full"), 28);
  Exception copy(original);
  EXPECT_TRUE(copy.getMessage().sharesBlockWith(original.getMessage()));
  EXPECT_EQ(copy.getRetCode(), 28);
  copy.setMessage(ArrayPtr<char>("other"));
  EXPECT_STREQ(original.getMessage().toNullTerminatedPtr(), "disk full");
  Exception assigned;
  assigned = original;
  EXPECT_EQ(assigned.getRetCode(), 28);
  EXPECT_TRUE(assigned.getMessage().sharesBlockWith(original.getMessage()));
}

TEST(ExceptionTest, SystemErrorTextsTakeTheirFourForms) {
  // No system has a text for this code.
  EXPECT_STREQ(getSystemErrorMsg(0xFFFFFFFFu).toNullTerminatedPtr(), "error code 4294967295");
  EXPECT_STREQ(getSystemErrorMsg("CreateMutex", 0xFFFFFFFFu).toNullTerminatedPtr(),
               "'CreateMutex' returned error code 4294967295");
  EXPECT_STREQ(getSystemErrorMsg("Cannot go on", "CreateMutex", 0xFFFFFFFFu).toNullTerminatedPtr(),
               "Cannot go on : 'CreateMutex' returned error code 4294967295");

  // Code 2 has a text everywhere ("file not found" in one wording or another), passed through untrimmed.
  ArrayPtr<char> text = getSystemErrorMsg(2);
  ASSERT_GT(text.length(), 0);
  ArrayPtr<char> withFunction = getSystemErrorMsg("open", 2);
  EXPECT_TRUE(withFunction == ArrayPtr<char>("'open' returned error code 2 : ") + text);
  ArrayPtr<char> withContext = getSystemErrorMsg("Context", "open", 2);
  EXPECT_TRUE(withContext == ArrayPtr<char>("Context : 'open' returned error code 2 : ") + text);
}

TEST(ExceptionTest, OverlongContextHitsTheFormatLimit) {
  char context[3100];
  std::memset(context, 'x', sizeof context - 1);
  context[sizeof context - 1] = '\0';
  EXPECT_THROW(getSystemErrorMsg(context, "f", 0xFFFFFFFFu), const char*);
}

}  // namespace
}  // namespace zem_util
