#include "wine_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

WineProgram::~WineProgram() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!prefix_.empty()) {
    // The prefix's server outlives its last client by a few seconds; the test runs
    // after this must not find it holding the prefix.
    const std::string kill = "WINEPREFIX='" + prefix_ + "' wineserver -k 2>/dev/null";
    [[maybe_unused]] const int ignored = std::system(kill.c_str());
  }
  std::error_code ignored;
  if (!work_.empty()) fs::remove_all(work_, ignored);
}

bool WineProgram::start(const std::string& exe, const std::string& prefix) {
  if (!fs::exists(fs::path(prefix) / "system.reg")) {
    error_ = "no Wine prefix at " + prefix + " (scripts/windows/test.sh makes it)";
    return false;
  }
  char pattern[] = "/tmp/fileptt-bench-wine-XXXXXX";
  if (!::mkdtemp(pattern)) {
    error_ = "no working directory";
    return false;
  }
  work_ = pattern;
  prefix_ = prefix;
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.rfind("WINE", 0) != 0 && entry.rfind("LD_PRELOAD=", 0) != 0) env.push_back(entry);
  }
  env.push_back("WINEPREFIX=" + prefix);
  env.push_back("WINEDEBUG=-all");
  env.push_back("WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string wine = "wine", program = exe;
  char* argv[] = {wine.data(), program.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, work_.c_str());
  const int result = ::posix_spawnp(&pid_, "wine", &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = 0;
    error_ = "cannot run wine";
    return false;
  }
  return true;
}

// The wineserver whose environment names our prefix.
pid_t WineProgram::wineserver() const {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream comm(entry.path() / "comm");
    std::string command;
    std::getline(comm, command);
    if (command.rfind("wineserver", 0) != 0) continue;  // wineserver64 on Debian
    std::ifstream environment(entry.path() / "environ");
    std::string variable;
    while (std::getline(environment, variable, '\0'))
      if (variable == "WINEPREFIX=" + prefix_) return static_cast<pid_t>(std::stoi(name));
  }
  return 0;
}
