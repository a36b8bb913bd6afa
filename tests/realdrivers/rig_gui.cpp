// The rig's GUI job inside the guest: the real fileptt on Xvfb, driven with xdotool as
// an operator would, once per scenario below and per port given, each step marked
// (guest_marker.h) so that the host can judge the lines from QEMU's trace. Nothing here
// reads the lines: what it records as facts is only what the program showed or how it
// ended. Built on the end-to-end tests' helpers (XSession, ProgramWindow, ProgramRun,
// StoppableFs) and xtest::Xvfb; runs in the guest with the host's libraries, over the
// shared root.
//
// Usage: rig_gui PROGRAM NAME=PORT_TEXT...   e.g. rig_gui /path/fileptt ftdi_sio=1 8250=2
//   Steps are labelled NAME.SCENARIO.STEP (gui_cases.cpp reads them).
//
// A scenario is a row of kScenarios: how the keyed program is ended (or starved, as by
// a working directory that stops answering), and what the run records. A new way is a
// new row and a new row in gui_cases.cpp.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "guest_marker.h"
#include "program_run.h"
#include "program_window.h"
#include "stoppable_fs.h"
#include "x_session.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::LabelText;

constexpr auto kWindowDeadline = 60s;  // a start-up under TCG takes seconds
constexpr auto kLabelDeadline = 10s;
constexpr auto kExitDeadline = 20s;
// For the program's word on stderr about a stall, which the watchdog gives after 1 s.
constexpr auto kStallDeadline = 20s;
// Two ticks and a little: long enough for the lines to show whether a tick moved them.
constexpr auto kTwoTicks = 1100ms;

struct Session {
  xtest::Xvfb& x;
  e2e::ProgramRun& run;
  std::optional<e2e::XSession>& connection;  // ours, to look at and close windows
  e2e::XSession& xs;
  e2e::ProgramWindow window;
  e2e::StoppableFs* directory;  // the working directory, when the row asks for one
  std::string prefix;
  bool mark(const std::string& step) const { return rig::mark(prefix + "." + step); }
  void fact(const std::string& name, const std::string& value) const {
    rig::fact(prefix + "." + name, value);
  }
};

// Waits (polling) until the program holds a tty open: the port is set.
bool waitForHeldPort(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec))
      if (fs::read_symlink(e.path(), ec).string().rfind("/dev/tty", 0) == 0) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

// Polls the program's stderr for `text`, gently: the guest has one emulated core, which
// the program under test needs.
bool waitForOutput(Session& s, const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (s.run.errorOutput().find(text) != std::string::npos) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
}

struct Scenario {
  const char* name;
  // Ends (or not) the keyed program; true when it did what it should.
  std::function<bool(Session&)> end;
  // The working directory is a FUSE mount holding TX.txt from the start, which the row
  // can stop answering: the program is keyed by "Set comport", not by a TX.txt created.
  bool stallableDirectory = false;
};

bool waitForExit(Session& s) {
  const auto exit = s.run.waitForExit(kExitDeadline);
  s.fact("exit", exit ? exit->describe() : "still running");
  return exit.has_value();
}

// The step that ends the run, between the "end" and "ended" marks the cases judge by.
bool endWith(Session& s, const std::function<void()>& act) {
  s.mark("end");
  act();
  const bool ended = waitForExit(s);
  s.mark("ended");
  return ended;
}

bool killWith(Session& s, int signal) {
  return endWith(s, [&] { ::kill(s.run.pid(), signal); });
}

const Scenario kScenarios[] = {
    // The whole keying cycle, then a second "Set comport" on the same port, then Escape.
    {"escape",
     [](Session& s) {
       s.mark("tx-removed");
       s.run.remove("TX.txt");
       s.fact("label-after-remove", e2e::describe(s.window.waitForLabel(LabelText::PttOff, kLabelDeadline).text));
       s.mark("unkeyed");
       std::this_thread::sleep_for(kTwoTicks);
       s.mark("second-set");
       s.window.clickSetComport();
       std::this_thread::sleep_for(kTwoTicks);
       s.mark("second-set-done");
       s.run.createFile("TX.txt");
       s.window.waitForLabel(LabelText::PttOn, kLabelDeadline);
       std::this_thread::sleep_for(kTwoTicks);
       return endWith(s, [] { e2e::pressKeys({"Escape"}); });
     }},
    {"close-button",
     [](Session& s) {
       return endWith(s, [&] { s.window.clickClose(); });
     }},
    {"close-box",
     [](Session& s) {
       return endWith(s, [&] { s.xs.sendDeleteWindow(s.window.id()); });
     }},
    {"sigkill", [](Session& s) { return killWith(s, SIGKILL); }},
    {"sigterm", [](Session& s) { return killWith(s, SIGTERM); }},
    {"sigsegv", [](Session& s) { return killWith(s, SIGSEGV); }},
    // The working directory stops answering while keyed: the program's one thread hangs
    // in the lookup, its watchdog drops the lines; answering again, it keys again.
    {"stalled-directory",
     [](Session& s) {
       s.mark("stalled");
       s.directory->stop();
       s.fact("drop-said",
              waitForOutput(s, "DTR and RTS dropped on", kStallDeadline) ? "yes" : "no");
       s.fact("alive-after-drop", s.run.running() ? "yes" : "no");
       s.mark("answering");
       s.directory->resume();
       s.fact("runs-again-said", waitForOutput(s, "runs again", kStallDeadline) ? "yes" : "no");
       s.fact("label-after-answering",
              e2e::describe(s.window.waitForLabel(LabelText::PttOn, kLabelDeadline).text));
       std::this_thread::sleep_for(kTwoTicks);
       return endWith(s, [] { e2e::pressKeys({"Escape"}); });
     },
     true},
    // Last for a port: the X server goes, and is started again for the next port.
    {"x-killed",
     [](Session& s) {
       // Our own connection would end this process with the server (Xlib's I/O error
       // handler exits), so it goes first; the window is not looked at again.
       s.connection.reset();
       return endWith(s, [&] { s.x.kill(); });
     }},
};

// One scenario on one port: start, set the port, key with TX.txt (created, or there from
// the start in a stallable directory), end as the row says. A stallable directory is
// unmounted before the run, made before it, removes the directory it covers.
bool runScenario(xtest::Xvfb& x, const std::string& program, const std::string& port,
                 const std::string& portText, const Scenario& scenario) {
  ::setenv("DISPLAY", x.display().c_str(), 1);
  std::optional<e2e::XSession> connection;
  e2e::XSession& xs = connection.emplace();
  e2e::ProgramRun run;
  std::optional<e2e::StoppableFs> directory;
  const std::string prefix = port + "." + scenario.name;
  rig::mark(prefix + ".start");
  if (scenario.stallableDirectory &&
      !directory.emplace(CASELESS_FS_SERVER, run.workDir(), "TX.txt").serving())
    return rig::fact(prefix + ".failed", "no FUSE working directory"), false;
  if (!xs.connected() || !run.start(program, "")) return rig::fact(prefix + ".failed", "no start"), false;
  const unsigned long id = xs.waitForWindow(e2e::kMainTitle, kWindowDeadline);
  if (id == 0) return rig::fact(prefix + ".failed", "no window"), false;
  e2e::StoppableFs* const stallable = directory ? &*directory : nullptr;
  Session s{x, run, connection, xs, e2e::ProgramWindow(xs, id), stallable, prefix};
  s.window.waitForLabel(directory ? LabelText::PttOn : LabelText::PttOff, kLabelDeadline);
  std::this_thread::sleep_for(kTwoTicks);

  s.mark("set");
  s.window.typePortText(portText);
  s.window.clickSetComport();
  const bool held = waitForHeldPort(run.pid(), kLabelDeadline);
  s.fact("port-held", held ? "yes" : "no");
  std::this_thread::sleep_for(kTwoTicks);

  if (!directory) {
    s.mark("tx-created");
    run.createFile("TX.txt");
    s.fact("label-after-create",
           e2e::describe(s.window.waitForLabel(LabelText::PttOn, kLabelDeadline).text));
    std::this_thread::sleep_for(kTwoTicks);
  }
  s.mark("keyed");
  const bool ended = scenario.end(s);
  if (!ended) ::kill(run.pid(), SIGKILL), run.waitForExit(kExitDeadline);
  return ended;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: rig_gui PROGRAM NAME=PORT_TEXT...\n");
    return 2;
  }
  const std::string program = argv[1];
  int failures = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto eq = arg.find('=');
    const std::string port = arg.substr(0, eq), text = arg.substr(eq + 1);
    xtest::Xvfb x;
    if (!x.start()) {
      std::fprintf(stderr, "rig_gui: no Xvfb\n");
      return 1;
    }
    for (const Scenario& scenario : kScenarios) {
      if (!runScenario(x, program, port, text, scenario)) ++failures;
      std::fprintf(stderr, "rig_gui: %s %s done\n", port.c_str(), scenario.name);
    }
  }
  rig::mark("end");
  return failures == 0 ? 0 : 1;
}
