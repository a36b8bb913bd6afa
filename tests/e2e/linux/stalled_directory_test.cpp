// A working directory whose file system stops answering while the transmitter is keyed
// (a FUSE server stopped with SIGSTOP, as a stalled network share): the program's one
// thread hangs in the trigger lookup, and its watchdog drops both lines within two
// seconds while the process lives on; when the file system answers again, TX.txt is
// still there and the next tick keys the transmitter again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_test.h"

namespace e2e {
namespace {

// caseless_fs_server mounted over a directory, in a process of its own that the test
// stops and continues.
class StoppableFs {
 public:
  StoppableFs(const fs::path& mountPoint, const std::string& storedName) : mountPoint_(mountPoint) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string program = CASELESS_FS_SERVER, point = mountPoint.string(), name = storedName;
    char* argv[] = {program.data(), point.data(), name.data(), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string said;
    pollfd ready{out[0], POLLIN, 0};
    char buffer[64];
    while (pid_ > 0 && said.find('\n') == std::string::npos && ::poll(&ready, 1, 10000) == 1) {
      const ssize_t got = ::read(out[0], buffer, sizeof buffer);
      if (got <= 0) break;
      said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    serving_ = said == "mounted\n";
  }
  ~StoppableFs() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGCONT);
    ::umount2(mountPoint_.c_str(), MNT_DETACH);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  StoppableFs(const StoppableFs&) = delete;
  StoppableFs& operator=(const StoppableFs&) = delete;

  bool serving() const { return serving_; }
  void stop() { ::kill(pid_, SIGSTOP); }
  void resume() { ::kill(pid_, SIGCONT); }

 private:
  fs::path mountPoint_;
  pid_t pid_ = -1;
  bool serving_ = false;
};

std::optional<modemsim::Event> firstDropSince(const std::vector<modemsim::Event>& events,
                                              std::int64_t sinceNs) {
  for (const auto& e : events)
    if (e.monotonicNs >= sinceNs && e.lines == modemsim::kBothLow) return e;
  return std::nullopt;
}

TEST_F(ProgramTest, StalledWorkingDirectoryDropsBothLinesWithinTwoSecondsThenTheTickKeysAgain) {
  PseudoTerminal port;
  ASSERT_TRUE(port.ok());
  run_.mapPort(1, port.slavePath());
  StoppableFs directory(run_.workDir(), "TX.txt");
  if (!directory.serving()) GTEST_SKIP() << "no FUSE here (needs root and /dev/fuse)";
  ASSERT_NO_FATAL_FAILURE(startProgram());
  ASSERT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  ASSERT_TRUE(window().clickSetComport());
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "not keyed:" << describe(port.events());

  const std::int64_t stoppedNs = monotonicNs();
  directory.stop();
  ASSERT_TRUE(eventually([&] { return port.lines() == modemsim::kBothLow; }, 20s))
      << "the lines stayed up with the program hung:" << describe(port.events());
  const auto drop = firstDropSince(port.events(run_.pid()), stoppedNs);
  ASSERT_TRUE(drop) << describe(port.events());
  EXPECT_LT(drop->monotonicNs - stoppedNs, 2'000'000'000)
      << "dropped " << (drop->monotonicNs - stoppedNs) / 1000000 << " ms after the stall";
  EXPECT_TRUE(run_.running()) << "the program must live on, hung";
  EXPECT_TRUE(eventually([&] {
    return run_.errorOutput().find("DTR and RTS dropped on " + port.slavePath()) !=
           std::string::npos;
  })) << run_.errorOutput();

  directory.resume();
  EXPECT_TRUE(eventually([&] { return port.lines() == modemsim::kBothHigh; }))
      << "TX.txt is still there, but the lines stayed down:" << describe(port.events());
  EXPECT_TRUE(eventually([&] {
    return run_.errorOutput().find("runs again") != std::string::npos;
  })) << run_.errorOutput();
  EXPECT_EQ(window().waitForLabel(LabelText::PttOn).text, LabelText::PttOn);
  closeWithExitCodeZero();
}

}  // namespace
}  // namespace e2e
