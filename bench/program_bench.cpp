// The whole program, as an operator runs it: the real fileptt on a private Xvfb, its
// port (COM1) a pseudo-terminal with the modem-line simulator preloaded.
//
//   1. start-up: process start to the main window mapped, over --starts runs;
//   2. memory: VmRSS and VmHWM after the first ticks, after the idle phases, after the
//      keying phase and --soak seconds after start;
//   3. idle CPU (utime+stime, and schedstat's run time) and wakeups (voluntary
//      context switches of every thread)
//      over --idle seconds, with no port and with the port open (every tick then writes
//      both lines), side by side with three floors the benchmark runs itself (bare
//      nanosleep loops of 1 ms, 15.6 ms and 500 ms) and, with --wine, fileptt.exe;
//   4. click to handler: --clicks clicks on "Set comport" (xdotool moves and presses,
//      the release is ours through XTest), from the release request to the first close,
//      open or tcsetattr of the port in the simulator's log; then as many whole xdotool
//      clicks, from xdotool's launch, for contrast;
//   5. keying latency: TX.txt created (removed) to the simulator's log showing RTS
//      raised (dropped), both on CLOCK_MONOTONIC, over --toggles pairs at a random
//      phase to the 500 ms tick.
//
// Usage: program_bench [--program PATH] [--starts N] [--idle SECONDS] [--clicks N]
//                      [--toggles N] [--soak SECONDS] [--wine EXE [--wine-prefix DIR]]
// Defaults: 20 starts, 30 s idle, 100 clicks, 100 toggle pairs, 300 s soak: about five
// and a half minutes. A short run: --starts 3 --idle 5 --clicks 20 --toggles 10 --soak 0.
// With --wine, fileptt.exe under Wine (in the prefix that scripts/windows/test.sh made)
// idles beside the program through the idle phases (wine_program.h).
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "program_run.h"
#include "process_stats.h"
#include "program_window.h"
#include "wine_program.h"
#include "x_session.h"

using namespace e2e;
using namespace std::chrono_literals;
using namespace bench;

namespace {

struct Options {
  std::string program = FILEPTT_PROGRAM;  // --program: another build, to compare
  int starts = 20;
  int idleSeconds = 30;
  int clicks = 100;
  int toggles = 100;
  int soakSeconds = 300;
  std::string wine;        // --wine: a fileptt.exe to run under Wine beside the program
  std::string winePrefix;  // --wine-prefix: default <the exe's folder>/wine/prefix
};

std::int64_t monotonicNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "program_bench: %s\n", what.c_str());
  std::exit(1);
}

// A mapped COM1 never reaches the machine's own serial ports, but a slip must not either:
// where /dev/ttyS0 is the console, bind /dev/null over every /dev/ttyS* privately.
void shieldSystemSerialPorts() {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/dev", error))
    if (entry.path().filename().string().rfind("ttyS", 0) == 0)
      ::mount("/dev/null", entry.path().c_str(), nullptr, MS_BIND, nullptr);
}

struct Summary {
  double min = 0, median = 0, p99 = 0, max = 0;
};

Summary summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  Summary s;
  if (values.empty()) return s;
  auto at = [&](double q) {
    const std::size_t i =
        static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
  };
  s.min = values.front();
  s.median = at(0.5);
  s.p99 = at(0.99);
  s.max = values.back();
  return s;
}

std::string firstLineOf(const std::vector<std::string>& command) {
  std::string joined;
  for (const auto& c : command) joined += c + " ";
  FILE* p = ::popen((joined + "2>&1").c_str(), "r");
  if (!p) return "?";
  char buf[256] = {};
  const bool got = std::fgets(buf, sizeof buf, p) != nullptr;
  ::pclose(p);
  std::string line = got ? buf : "?";
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

std::string cpuModel() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "?";
}

// ---- The simulator's log, read as it grows ---------------------------------------------------
class LogTail {
 public:
  explicit LogTail(std::string path) : path_(std::move(path)) {}

  // New events since the last call.
  std::vector<modemsim::Event> fresh() {
    std::vector<modemsim::Event> out;
    std::ifstream in(path_);
    if (!in) return out;
    in.seekg(offset_);
    std::string line;
    while (std::getline(in, line)) {
      if (in.eof()) break;  // a line still being written
      offset_ += static_cast<std::streamoff>(line.size() + 1);
      std::istringstream fields(line);
      modemsim::Event e{};
      std::string device, dtr, rts;
      if (!(fields >> e.monotonicNs >> e.pid >> device >> dtr >> rts >> e.cause)) continue;
      e.lines = {dtr == "DTR=1", rts == "RTS=1"};
      out.push_back(e);
    }
    return out;
  }

 private:
  std::string path_;
  std::streamoff offset_ = 0;
};

std::string logPathOf(const fs::path& simulatorDir, const std::string& slavePath) {
  return (simulatorDir / ("pts-" + slavePath.substr(slavePath.rfind('/') + 1) + ".log")).string();
}

// ---- The phases --------------------------------------------------------------------------------
void startUp(const Options& options) {
  std::vector<double> ms;
  XSession x;
  x.watchMaps();
  for (int i = 0; i <= options.starts; ++i) {  // run 0 warms the caches and is not counted
    ProgramRun run;
    Clock::time_point mapped;
    const auto started = Clock::now();
    if (!run.start(options.program, MODEMSIM_LIBRARY)) fail("cannot start " + options.program);
    if (!x.waitForMap(kMainTitle, started + 10s, mapped)) {
      if (!run.running() && displayRefused(run.errorOutput())) {  // see XSession
        --i;
        continue;
      }
      fail("no window after 10 s: " + run.errorOutput());
    }
    if (i > 0) ms.push_back(std::chrono::duration<double, std::milli>(mapped - started).count());
    const unsigned long id = x.waitForWindow(kMainTitle, 10s);
    x.sendDeleteWindow(id);
    if (!run.waitForExit(10s)) fail("the program did not end on WM_DELETE_WINDOW");
    x.waitUntilNoWindow(kMainTitle, 10s);
  }
  const Summary s = summarise(ms);
  std::printf("\n### Start-up (process start to main window mapped), %d runs\n\n", options.starts);
  std::printf("| min | median | max |\n|---:|---:|---:|\n| %.1f ms | %.1f ms | %.1f ms |\n", s.min,
              s.median, s.max);
}

void printMemory(const char* when, pid_t pid) {
  std::printf("| %s | %ld kB | %ld kB |\n", when, statusKb(pid, "VmRSS"), statusKb(pid, "VmHWM"));
  std::fflush(stdout);
}

// The release half of a click, sent by us through XTest so that it can be timed to the
// request leaving this process (xdotool's own click is a process start away and pauses
// 12 ms between press and release). The XTest client library is loaded at run time:
// the build has the X11 headers but not XTest's.
class Releaser {
 public:
  Releaser() : display_(XOpenDisplay(nullptr)), library_(::dlopen("libXtst.so.6", RTLD_NOW)) {
    if (!display_) fail("cannot open the display");
    if (library_) fake_ = reinterpret_cast<Fake>(::dlsym(library_, "XTestFakeButtonEvent"));
    if (!fake_) fail("no XTestFakeButtonEvent in libXtst.so.6");
  }
  ~Releaser() {
    XCloseDisplay(display_);
    ::dlclose(library_);
  }
  // The left button released; the time just before the request is sent.
  std::int64_t release() {
    const std::int64_t now = monotonicNs();
    fake_(display_, 1, False, 0);
    XFlush(display_);
    return now;
  }
  void sync() { XSync(display_, False); }

 private:
  using Fake = int (*)(Display*, unsigned int, Bool, unsigned long);
  Display* display_;
  void* library_;
  Fake fake_ = nullptr;
};

void printIdle(const char* what, const Idle& idle) {
  std::printf("| %s | %.2f %% | %.3f %% | %.1f |\n", what, idle.cpuPercent, idle.schedPercent,
              idle.wakeupsPerSecond);
}

struct Toggle {
  double onMs, offMs;
};

void longRun(const Options& options) {
  PseudoTerminal port;
  if (!port.ok()) fail("no pseudo-terminal");
  ProgramRun run;
  run.mapPort(1, port.slavePath());
  XSession x;
  // fileptt.exe first, so that its window is the one there is; the program's is the other.
  WineProgram wine;
  unsigned long wineWindow = 0;
  if (!options.wine.empty()) {
    const std::string prefix = options.winePrefix.empty()
                                   ? (fs::path(options.wine).parent_path() / "wine/prefix").string()
                                   : options.winePrefix;
    if (!wine.start(options.wine, prefix)) fail(wine.error());
    wineWindow = x.waitForWindow(kMainTitle, 120s);
    if (!wineWindow) fail("no window from " + options.wine);
  }
  auto programWindow = [&] {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      for (unsigned long w : x.windowsNamed(kMainTitle))
        if (w != wineWindow) return w;
      std::this_thread::sleep_for(10ms);
    }
    return 0ul;
  };
  const auto started = Clock::now();
  unsigned long id = 0;
  for (int attempt = 0; attempt < 3 && !id; ++attempt) {
    if (!run.start(options.program, MODEMSIM_LIBRARY)) fail("cannot start " + options.program);
    id = programWindow();
  }
  if (!id) fail("no window: " + run.errorOutput());
  ProgramWindow window(x, id);
  if (window.waitForLabel(LabelText::PttOff).text != LabelText::PttOff) fail("no PTT OFF");
  std::this_thread::sleep_for(1100ms);  // two more ticks

  std::printf("\n### Memory\n\n| when | VmRSS | VmHWM |\n|---|---:|---:|\n");
  printMemory("after the first ticks (about 1.5 s)", run.pid());

  const pid_t millisecondLoop = startSleeper(1000000), halfSecondLoop = startSleeper(500000000),
              timerTickLoop = startSleeper(15600000);
  std::vector<pid_t> measured{run.pid(), millisecondLoop, halfSecondLoop, timerTickLoop};
  if (wine.pid()) measured.push_back(wine.pid());
  if (wine.pid() && wine.wineserver()) measured.push_back(wine.wineserver());
  const auto idleNoPort = measureIdle(measured, options.idleSeconds);

  LogTail log(logPathOf(run.simulatorDir(), port.slavePath()));
  if (!window.clickSetComport()) fail("xdotool failed");
  auto waitFor = [&](bool rts, std::int64_t afterNs) -> std::optional<std::int64_t> {
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
      for (const auto& e : log.fresh())
        if (e.pid == run.pid() && e.monotonicNs > afterNs && e.lines.rts == rts)
          return e.monotonicNs;
      std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
  };
  if (!waitFor(false, 0)) fail("\"Set comport\" did not open COM1");
  const auto idlePort = measureIdle(measured, options.idleSeconds);
  stopSleeper(millisecondLoop);
  stopSleeper(halfSecondLoop);
  stopSleeper(timerTickLoop);
  printMemory("after the idle phases, port open", run.pid());

  // Each click closes and reopens COM1; the first close, open or tcsetattr of the
  // program after the release is the handler at work (a tick's line writes are ioctls).
  std::vector<double> fromRelease, fromXdotool;
  std::mt19937 pause(7);
  std::uniform_int_distribution<int> pauseUs(20000, 120000);
  auto handlerAfter = [&](std::int64_t afterNs) -> std::optional<std::int64_t> {
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
      for (const auto& e : log.fresh())
        if (e.pid == run.pid() && e.monotonicNs > afterNs && e.cause != "ioctl")
          return e.monotonicNs;
      std::this_thread::sleep_for(200us);
    }
    return std::nullopt;
  };
  int buttonX, buttonY;
  window.centreOf(0, 45, 60, 14, buttonX, buttonY);
  {
    Releaser releaser;
    for (int i = 0; i < options.clicks; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(pause)));
      log.fresh();
      if (!xdotool(
              {"mousemove", std::to_string(buttonX), std::to_string(buttonY), "mousedown", "1"}))
        fail("xdotool failed");
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(pause) / 4));
      log.fresh();
      const std::int64_t released = releaser.release();
      const auto handled = handlerAfter(released);
      if (!handled) fail("the click wrote no line");
      fromRelease.push_back(static_cast<double>(*handled - released) / 1e6);
    }
    for (int i = 0; i < options.clicks; ++i) {  // the whole click by xdotool, for contrast
      std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(pause)));
      log.fresh();
      const std::int64_t launched = monotonicNs();
      if (!window.clickSetComport()) fail("xdotool failed");
      const auto handled = handlerAfter(launched);
      if (!handled) fail("the click wrote no line");
      fromXdotool.push_back(static_cast<double>(*handled - launched) / 1e6);
    }
  }
  std::this_thread::sleep_for(600ms);  // nothing of the clicks pending before the keying phase

  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> phaseUs(0, 499999);
  std::vector<double> on, off;
  log.fresh();
  for (int i = 0; i < options.toggles; ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(phaseUs(random)));
    const std::int64_t created = monotonicNs();
    run.createFile("TX.txt");
    const auto raised = waitFor(true, created);
    if (!raised) fail("RTS did not rise");
    on.push_back(static_cast<double>(*raised - created) / 1e6);

    std::this_thread::sleep_for(std::chrono::microseconds(phaseUs(random)));
    const std::int64_t removed = monotonicNs();
    run.remove("TX.txt");
    const auto dropped = waitFor(false, removed);
    if (!dropped) fail("RTS did not drop");
    off.push_back(static_cast<double>(*dropped - removed) / 1e6);
  }
  const double sinceStart = std::chrono::duration<double>(Clock::now() - started).count();
  char when[96];
  std::snprintf(when, sizeof when, "after %d toggles (%.0f s after start)", options.toggles,
                sinceStart);
  printMemory(when, run.pid());
  const auto soakEnd = started + std::chrono::seconds(options.soakSeconds);
  if (Clock::now() < soakEnd) {
    std::this_thread::sleep_for(soakEnd - Clock::now());
    std::snprintf(when, sizeof when, "%d s after start", options.soakSeconds);
    printMemory(when, run.pid());
  }

  std::printf(
      "\n### Idle, side by side (over %d s each: CPU as %% of one core, voluntary context "
      "switches)\n\n",
      options.idleSeconds);
  std::printf(
      "| process | CPU, utime+stime | CPU, schedstat | wakeups/s |\n|---|---:|---:|---:|\n");
  printIdle("fileptt, no port set", idleNoPort[0]);
  printIdle("fileptt, port open (both lines written every tick)", idlePort[0]);
  printIdle("1 ms nanosleep loop (during no port)", idleNoPort[1]);
  printIdle("1 ms nanosleep loop (during port open)", idlePort[1]);
  printIdle("500 ms loop (during no port)", idleNoPort[2]);
  printIdle("500 ms loop (during port open)", idlePort[2]);
  printIdle("15.6 ms nanosleep loop (during no port)", idleNoPort[3]);
  printIdle("15.6 ms nanosleep loop (during port open)", idlePort[3]);
  const char* wineRows[] = {"fileptt.exe under Wine, no port set", "its wineserver"};
  for (std::size_t i = 4; i < idleNoPort.size(); ++i) {
    printIdle((std::string(wineRows[i - 4]) + " (during no port)").c_str(), idleNoPort[i]);
    printIdle((std::string(wineRows[i - 4]) + " (during port open)").c_str(), idlePort[i]);
  }

  std::printf(
      "\n### Click on \"Set comport\" to the handler's first close, open or tcsetattr of the port, "
      "%d clicks\n\n",
      options.clicks);
  std::printf("| from | min | median | p99 | max |\n|---|---:|---:|---:|---:|\n");
  const Summary r = summarise(fromRelease), l = summarise(fromXdotool);
  std::printf("| XTest release sent (press by xdotool) | %.2f ms | %.2f ms | %.2f ms | %.2f ms |\n",
              r.min, r.median, r.p99, r.max);
  std::printf(
      "| xdotool launched (its start and press-release pause included) | %.2f ms | %.2f ms | %.2f "
      "ms | %.2f ms |\n",
      l.min, l.median, l.p99, l.max);

  std::printf(
      "\n### Keying latency (file change to RTS change in the simulator's log), %d toggles\n\n",
      options.toggles);
  std::printf("| change | min | median | p99 | max |\n|---|---:|---:|---:|---:|\n");
  const Summary a = summarise(on), b = summarise(off);
  std::printf("| TX.txt created, RTS up | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", a.min,
              a.median, a.p99, a.max);
  std::printf("| TX.txt removed, RTS down | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", b.min,
              b.median, b.p99, b.max);

  window.clickClose();
  if (!run.waitForExit(10s)) fail("the program did not end on \"&Close\"");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--program")
      options.program = argv[i + 1];
    else if (flag == "--starts")
      options.starts = value;
    else if (flag == "--idle")
      options.idleSeconds = value;
    else if (flag == "--clicks")
      options.clicks = value;
    else if (flag == "--toggles")
      options.toggles = value;
    else if (flag == "--soak")
      options.soakSeconds = value;
    else if (flag == "--wine")
      options.wine = fs::absolute(argv[i + 1]).string();
    else if (flag == "--wine-prefix")
      options.winePrefix = fs::absolute(argv[i + 1]).string();
    else
      fail("unknown option " + flag);
  }
  shieldSystemSerialPorts();
  // Always a private server: the numbers are for Xvfb, and nothing flashes on a desktop.
  ::unsetenv("DISPLAY");
  if (!useDisplay()) fail("cannot start Xvfb");

  utsname u{};
  ::uname(&u);
  std::printf("## fileptt program benchmark\n\n");
  std::printf("- machine: %ld CPUs (%s), Linux %s\n", ::sysconf(_SC_NPROCESSORS_ONLN),
              cpuModel().c_str(), u.release);
  std::printf("- program: %s\n", options.program.c_str());
  std::printf("- X server: Xvfb %s, private, 1024x768x24, no window manager\n",
              firstLineOf({"dpkg-query", "-W", "-f='${Version}'", "xvfb"}).c_str());
  std::fflush(stdout);
  startUp(options);
  longRun(options);
  return 0;
}
