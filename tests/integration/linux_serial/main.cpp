// These tests open serial devices by name. On a machine whose /dev/ttyS* is the system
// console, a wrong turn into the device search must not reach it: the tests run in a
// private mount namespace with /dev/null bound over every /dev/ttyS*, so such a slip
// shows as a port refused for having no modem lines and never as a write to the console.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

namespace {

void shieldSystemSerialPorts() {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    std::fprintf(stderr, "note: no private mount namespace (not root?); /dev/ttyS* unshielded\n");
    return;
  }
  struct stat null, port;
  if (::stat("/dev/null", &null) != 0) return;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
    if (entry.path().filename().string().rfind("ttyS", 0) != 0) continue;
    ::mount("/dev/null", entry.path().c_str(), nullptr, MS_BIND, nullptr);
    if (::stat(entry.path().c_str(), &port) != 0 || port.st_rdev != null.st_rdev)
      std::fprintf(stderr, "warning: %s could not be shielded\n", entry.path().c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  shieldSystemSerialPorts();
  return RUN_ALL_TESTS();
}
