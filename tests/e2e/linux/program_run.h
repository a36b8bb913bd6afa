// One run of the real fileptt executable in surroundings of its own: an empty temporary
// working directory (where TX.txt comes and goes), a ports directory reached through
// XDG_CONFIG_HOME (COMn -> a device of the test's choosing), and the modem-line
// simulator preloaded with a state directory of its own. Pseudo-terminals stand in for
// serial ports.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "modemsim_reader.h"

namespace e2e {

namespace fs = std::filesystem;

// How the process ended.
struct Exit {
  bool exited = false;  // false: killed by `signal`
  int code = 0;
  int signal = 0;
  std::string describe() const;
};

class ProgramRun {
 public:
  ProgramRun();  // also points this process's MODEMSIM_DIR (for the reader) at its own
  ~ProgramRun();  // ends the process if it still runs, removes the directories
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  const fs::path& workDir() const { return work_; }
  fs::path portsDir() const { return root_ / "config" / "fileptt" / "ports"; }
  const fs::path& simulatorDir() const { return simulator_; }

  // COMn -> target (a symbolic link, as an operator sets it up).
  void mapPort(int number, const fs::path& target);

  // Later starts run the program as this user (through setpriv), with exactly these
  // supplementary groups, as an operator who is not root would run it. Opens the run's
  // directories to that user.
  void runAs(uid_t uid, gid_t gid, const std::vector<gid_t>& groups);

  // Starts `program` in the working directory with DISPLAY as this process has it (again,
  // once an earlier start has ended).
  bool start(const std::string& program, const std::string& simulatorLibrary);
  pid_t pid() const { return pid_; }
  bool running();  // false once it has ended (and it is then reaped)
  std::optional<Exit> waitForExit(std::chrono::milliseconds timeout);
  const std::optional<Exit>& exit() const { return exit_; }
  // What the program wrote to stderr, for failure messages.
  std::string errorOutput() const;

  // The trigger file, and other entries, in the working directory.
  void createFile(const std::string& name);
  void remove(const std::string& name);

 private:
  fs::path root_, work_, simulator_;
  pid_t pid_ = -1;
  std::optional<Exit> exit_;
  struct User {
    uid_t uid;
    gid_t gid;
    std::vector<gid_t> groups;
  };
  std::optional<User> user_;
};

// A pseudo-terminal standing in for a serial port; the test holds the master side for
// its whole life, so the device stays usable after the program lets go of it.
class PseudoTerminal {
 public:
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& slavePath() const { return slavePath_; }

  // Opens the device and takes its lock, as another radio program does; false if it
  // cannot (held by someone else).
  bool hold();
  void release();

  // What the simulator logged for this device from process `pid` (every process when
  // pid is 0), and the lines now, as the latest ProgramRun's simulator has them.
  std::vector<modemsim::Event> events(pid_t pid = 0) const;
  std::optional<modemsim::Lines> lines() const;

 private:
  int master_ = -1;
  int held_ = -1;
  std::string slavePath_;
};

std::string describe(const std::vector<modemsim::Event>& events);

void pauseBriefly();  // a few milliseconds between two looks

// Polls until `condition` holds or the timeout has passed; the last answer.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    pauseBriefly();
  }
}

}  // namespace e2e
