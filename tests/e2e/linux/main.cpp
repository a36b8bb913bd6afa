// The end-to-end tests run the real program on a real X server: $DISPLAY when it is
// set, otherwise a private Xvfb that lives as long as this test program.
//
// The program may be asked for a port number that no mapping names, and then searches
// the machine's serial devices; where /dev/ttyS0 is the system console that must not
// reach it. So the tests, and the program they start, run in a private mount namespace
// with /dev/null bound over every /dev/ttyS*.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cstdio>
#include <filesystem>

#include "x_session.h"

namespace {

void shieldSystemSerialPorts() {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    std::fprintf(stderr, "note: no private mount namespace (not root?); tests that need it are skipped\n");
    return;
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    if (entry.path().filename().string().rfind("ttyS", 0) == 0)
      ::mount("/dev/null", entry.path().c_str(), nullptr, MS_BIND, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!GTEST_FLAG_GET(list_tests)) {
    shieldSystemSerialPorts();
    if (!e2e::useDisplay()) {
      std::fprintf(stderr, "no X server: DISPLAY is not set and Xvfb could not be started\n");
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
