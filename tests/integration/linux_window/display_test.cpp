// The display itself, each case with an X server of its own and the probe program: the
// resolution from Xft.dpi, no display at all, and a display that dies under a window.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "x11_support.h"

extern char** environ;

using namespace wintest;

namespace {

struct ProbeRun {
  bool finished = false;
  int exitCode = -1;
  bool signalled = false;
  std::string output;
};

// Runs the probe with DISPLAY set to `display`, waiting at most `seconds`.
ProbeRun runProbe(const std::string& display, const std::vector<std::string>& args, double seconds,
             const std::function<void(pid_t)>& whileRunning = nullptr) {
  ProbeRun run;
  int out[2];
  if (pipe(out) != 0) return run;
  std::vector<std::string> all = {LINUX_WINDOW_PROBE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) envStrings.emplace_back(*e);
  envStrings.push_back("DISPLAY=" + display);
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    return run;
  }
  if (whileRunning) whileRunning(pid);
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      run.finished = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!run.finished) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else {
    run.signalled = WIFSIGNALED(status);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  char buf[256];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) run.output.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  return run;
}

struct DpiCase {
  const char* name;
  const char* resources;  // the root window's RESOURCE_MANAGER, "" for none
  int expected;
};

class ResolutionTest : public ::testing::TestWithParam<DpiCase> {};

}  // namespace

TEST_P(ResolutionTest, LogPixelsYIsXftDpiOr96) {
  PrivateXServer server;
  ASSERT_TRUE(server.start());
  Inspector inspector(server.display());
  ASSERT_TRUE(inspector.connected());
  if (*GetParam().resources) inspector.setRootResource(GetParam().resources);
  const ProbeRun run = runProbe(server.display(), {"dpi"}, 30);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(std::stoi(run.output), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, ResolutionTest,
    ::testing::Values(DpiCase{"Unset", "", 96}, DpiCase{"Dpi120", "Xft.dpi:\t120\n", 120},
                      DpiCase{"Dpi144AmongOthers", "Xft.antialias:\t1\nXft.dpi:\t144\n", 144},
                      DpiCase{"Fractional", "Xft.dpi:\t96.6\n", 97},
                      DpiCase{"Nonsense", "Xft.dpi:\tlots\n", 96},
                      DpiCase{"Absurd", "Xft.dpi:\t100000\n", 96}),
    [](const ::testing::TestParamInfo<DpiCase>& info) { return std::string(info.param.name); });

TEST(DisplayTest, WithoutAnXServerWindowsFailCleanly) {
  const ProbeRun run = runProbe(":9931", {"create"}, 30);
  ASSERT_TRUE(run.finished) << "no hang";
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "none 0 96\n");
}

TEST(DisplayTest, LosingTheXServerEndsTheProgramInsteadOfHanging) {
  PrivateXServer server;
  ASSERT_TRUE(server.start());
  const ProbeRun run = runProbe(server.display(), {"hold", "Held window"}, 20, [&](pid_t) {
    {
      Inspector inspector(server.display());
      const auto start = std::chrono::steady_clock::now();
      while (!inspector.findWindow("Held window") &&
             std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    server.kill();
  });
  ASSERT_TRUE(run.finished) << "the program hung after its X server died";
  EXPECT_FALSE(run.signalled) << "it ends by exiting, not by a signal";
  EXPECT_NE(run.exitCode, 0);
}
