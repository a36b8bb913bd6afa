#include "program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/pseudo_terminal.h"

extern char** environ;

namespace e2e {

std::string Exit::describe() const {
  return exited ? "exit code " + std::to_string(code)
                : "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

void pauseBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

ProgramRun::ProgramRun() {
  char pattern[] = "/tmp/fileptt-e2e-XXXXXX";
  if (::mkdtemp(pattern)) root_ = pattern;
  work_ = root_ / "work";
  simulator_ = root_ / "modemsim";
  fs::create_directories(work_);
  fs::create_directories(simulator_);
  fs::create_directories(portsDir());
  ::setenv("MODEMSIM_DIR", simulator_.c_str(), 1);
}

ProgramRun::~ProgramRun() {
  if (running()) {
    ::kill(pid_, SIGKILL);
    int status;
    waitpid(pid_, &status, 0);
  }
  std::error_code ignored;
  if (!root_.empty()) fs::remove_all(root_, ignored);
}

void ProgramRun::mapPort(int number, const fs::path& target) {
  fs::create_symlink(target, portsDir() / ("COM" + std::to_string(number)));
}

void ProgramRun::runAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups) {
  user_ = User{uid, gid, groups};
  fs::create_directories(root_ / "home");
  using fs::perms;
  const perms open = perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                     perms::others_exec;
  for (const fs::path& dir :
       {root_, work_, root_ / "config", root_ / "config" / "fileptt", portsDir()})
    fs::permissions(dir, open);
  // The simulator's state files are written by the program, read by the test.
  fs::permissions(simulator_, perms::all);
  fs::permissions(root_ / "home", perms::all);
}

bool ProgramRun::start(const std::string& program, const std::string& simulatorLibrary) {
  if (running()) return false;
  exit_.reset();
  std::error_code ignored;
  fs::remove(root_ / "output.txt", ignored);
  // The program's environment is ours with its own ports and simulator directories.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const char* name : {"XDG_CONFIG_HOME=", "MODEMSIM_DIR=", "LD_PRELOAD="})
      replaced = replaced || entry.rfind(name, 0) == 0;
    if (user_) replaced = replaced || entry.rfind("HOME=", 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  env.push_back("XDG_CONFIG_HOME=" + (root_ / "config").string());
  env.push_back("MODEMSIM_DIR=" + simulator_.string());
  env.push_back("LD_PRELOAD=" + simulatorLibrary);
  if (user_) env.push_back("HOME=" + (root_ / "home").string());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  std::vector<std::string> args;
  if (user_) {
    std::string groups;
    for (gid_t g : user_->groups) groups += (groups.empty() ? "" : ",") + std::to_string(g);
    args = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user_->uid),
            "--regid=" + std::to_string(user_->gid),
            groups.empty() ? "--clear-groups" : "--groups=" + groups, "--"};
  }
  args.push_back(program);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string path = args.front();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, work_.c_str());
  const std::string output = (root_ / "output.txt").string();
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

bool ProgramRun::running() {
  if (pid_ <= 0 || exit_) return false;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid_) {
    Exit e;
    e.exited = WIFEXITED(status);
    e.code = e.exited ? WEXITSTATUS(status) : 0;
    e.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    exit_ = e;
  }
  return false;
}

std::optional<Exit> ProgramRun::waitForExit(std::chrono::milliseconds timeout) {
  eventually([&] { return !running(); }, timeout);
  return exit_;
}

std::string ProgramRun::errorOutput() const {
  std::ifstream in(root_ / "output.txt");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void ProgramRun::createFile(const std::string& name) { std::ofstream(work_ / name) << ""; }

void ProgramRun::remove(const std::string& name) {
  std::error_code ignored;
  fs::remove(work_ / name, ignored);
}

PseudoTerminal::PseudoTerminal() {
  testpty::Opened pty = testpty::open();
  master_ = pty.master;
  slavePath_ = std::move(pty.slave);
}

PseudoTerminal::~PseudoTerminal() {
  release();
  if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::hold() {
  release();
  held_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (held_ < 0) return false;
  if (::flock(held_, LOCK_EX | LOCK_NB) != 0) {
    release();
    return false;
  }
  return true;
}

void PseudoTerminal::release() {
  if (held_ >= 0) ::close(held_);
  held_ = -1;
}

std::vector<modemsim::Event> PseudoTerminal::events(pid_t pid) const {
  std::vector<modemsim::Event> all = modemsim::events(slavePath_);
  if (pid == 0) return all;
  std::vector<modemsim::Event> mine;
  for (const auto& e : all)
    if (e.pid == pid) mine.push_back(e);
  return mine;
}

std::optional<modemsim::Lines> PseudoTerminal::lines() const { return modemsim::lines(slavePath_); }

std::string describe(const std::vector<modemsim::Event>& events) {
  if (events.empty()) return "(no events)";
  std::ostringstream out;
  const std::int64_t start = events.front().monotonicNs;
  for (const auto& e : events)
    out << "\n  +" << (e.monotonicNs - start) / 1000000 << " ms pid " << e.pid << " " << e.lines
        << " " << e.cause;
  return out.str();
}

}  // namespace e2e
