#include <gtest/gtest.h>

#include "serial/error_status.h"

namespace {

TEST(ErrorStatusTest, LatestFailureWins) {
  ErrorStatusScope status;
  recordError(52);
  recordError(69);
  EXPECT_EQ(takeErrorStatus(), 69);
}

TEST(ErrorStatusTest, TakeReturnsStatusAndResetsItToZero) {
  ErrorStatusScope status;
  recordError(64);
  EXPECT_EQ(takeErrorStatus(), 64);
  EXPECT_EQ(takeErrorStatus(), 0);
}

TEST(ErrorStatusTest, NestedInvocationNeitherSeesNorChangesTheOuterStatus) {
  ErrorStatusScope outer;
  recordError(69);
  {
    ErrorStatusScope nested;
    EXPECT_EQ(takeErrorStatus(), 0);
    recordError(52);
    recordError(5);
    EXPECT_EQ(takeErrorStatus(), 5);
    recordError(52);  // left behind when the nested invocation returns
  }
  EXPECT_EQ(takeErrorStatus(), 69);
}

TEST(ErrorStatusTest, EachInvocationStartsAtZero) {
  {
    ErrorStatusScope first;
    recordError(52);
  }
  ErrorStatusScope second;
  EXPECT_EQ(takeErrorStatus(), 0);
}

class FatalErrorTest : public ::testing::TestWithParam<int> {};

TEST_P(FatalErrorTest, NumberOf241OrMoreEndsTheProcessWith255) {
  const auto number = static_cast<std::uint8_t>(GetParam());
  EXPECT_EXIT(
      {
        ErrorStatusScope status;
        recordError(number);
      },
      ::testing::ExitedWithCode(255), "");
}

INSTANTIATE_TEST_SUITE_P(Numbers, FatalErrorTest, ::testing::Values(241, 242, 255));

TEST(ErrorStatusTest, NumberBelow241IsOnlyRecorded) {
  ErrorStatusScope status;
  recordError(240);
  EXPECT_EQ(takeErrorStatus(), 240);
}

}  // namespace
