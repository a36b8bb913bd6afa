// The Linux window-system tests run against a real X server: $DISPLAY when it is set,
// otherwise a private Xvfb that lives as long as this program.
#include <gtest/gtest.h>

#include "x11_support.h"

namespace {

// Windows a test leaves behind would keep ticking and talking into the next test.
class CloseTestWindows : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    wintest::reaction = nullptr;
    wintest::destroyTestDialogs();
    wintest::received().clear();
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests)) wintest::useTestDisplay();
  ::testing::UnitTest::GetInstance()->listeners().Append(new CloseTestWindows);
  return RUN_ALL_TESTS();
}
