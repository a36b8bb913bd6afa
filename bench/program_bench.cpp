// The whole program, as an operator runs it: the real fileptt on a private Xvfb, its
// port (COM1) a pseudo-terminal with the modem-line simulator preloaded.
//
//   1. start-up: process start to the main window mapped, over --starts runs;
//   2. memory: VmRSS and VmHWM after the first ticks, after the idle phases, after the
//      keying phase and --soak seconds after start;
//   3. idle CPU: utime+stime over --idle seconds, with no port and with the port open
//      (every tick then writes both lines);
//   4. keying latency: TX.txt created (removed) to the simulator's log showing RTS
//      raised (dropped), both on CLOCK_MONOTONIC, over --toggles pairs at a random
//      phase to the 500 ms tick.
//
// Usage: program_bench [--starts N] [--idle SECONDS] [--toggles N] [--soak SECONDS]
// Defaults: 20 starts, 30 s idle, 100 toggles, 300 s soak: about five and a half minutes.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/utsname.h>
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
#include "program_window.h"
#include "x_session.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

struct Options {
  int starts = 20;
  int idleSeconds = 30;
  int toggles = 100;
  int soakSeconds = 300;
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
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
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
    const std::size_t i = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
  };
  s.min = values.front();
  s.median = at(0.5);
  s.p99 = at(0.99);
  s.max = values.back();
  return s;
}

// ---- /proc ---------------------------------------------------------------------------------
long statusKb(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
  return -1;
}

// utime + stime, in clock ticks.
long cpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {  // field 3 is the state
    if (i == 14) utime = std::stol(f);
    if (i == 15) stime = std::stol(f);
  }
  return utime + stime;
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
    if (!run.start(FILEPTT_PROGRAM, MODEMSIM_LIBRARY)) fail("cannot start " + std::string(FILEPTT_PROGRAM));
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

double idleCpuPercent(pid_t pid, int seconds) {
  const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
  const long before = cpuTicks(pid);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const long after = cpuTicks(pid);
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return 100.0 * static_cast<double>(after - before) / static_cast<double>(ticksPerSecond) / wall;
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
  const auto started = Clock::now();
  unsigned long id = 0;
  for (int attempt = 0; attempt < 3 && !id; ++attempt) {
    if (!run.start(FILEPTT_PROGRAM, MODEMSIM_LIBRARY)) fail("cannot start the program");
    id = x.waitForWindow(kMainTitle, 10s);
  }
  if (!id) fail("no window: " + run.errorOutput());
  ProgramWindow window(x, id);
  if (window.waitForLabel(LabelText::PttOff).text != LabelText::PttOff) fail("no PTT OFF");
  std::this_thread::sleep_for(1100ms);  // two more ticks

  std::printf("\n### Memory\n\n| when | VmRSS | VmHWM |\n|---|---:|---:|\n");
  printMemory("after the first ticks (about 1.5 s)", run.pid());

  const double idleNoPort = idleCpuPercent(run.pid(), options.idleSeconds);

  LogTail log(logPathOf(run.simulatorDir(), port.slavePath()));
  if (!window.clickSetComport()) fail("xdotool failed");
  auto waitFor = [&](bool rts, std::int64_t afterNs) -> std::optional<std::int64_t> {
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
      for (const auto& e : log.fresh())
        if (e.pid == run.pid() && e.monotonicNs > afterNs && e.lines.rts == rts) return e.monotonicNs;
      std::this_thread::sleep_for(1ms);
    }
    return std::nullopt;
  };
  if (!waitFor(false, 0)) fail("\"Set comport\" did not open COM1");
  const double idlePort = idleCpuPercent(run.pid(), options.idleSeconds);
  printMemory("after the idle phases, port open", run.pid());

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
  std::snprintf(when, sizeof when, "after %d toggles (%.0f s after start)", options.toggles, sinceStart);
  printMemory(when, run.pid());
  const auto soakEnd = started + std::chrono::seconds(options.soakSeconds);
  if (Clock::now() < soakEnd) {
    std::this_thread::sleep_for(soakEnd - Clock::now());
    std::snprintf(when, sizeof when, "%d s after start", options.soakSeconds);
    printMemory(when, run.pid());
  }

  std::printf("\n### Idle CPU (utime+stime over %d s, %% of one core)\n\n", options.idleSeconds);
  std::printf("| no port set | port open (both lines written every tick) |\n|---:|---:|\n");
  std::printf("| %.2f %% | %.2f %% |\n", idleNoPort, idlePort);

  std::printf("\n### Keying latency (file change to RTS change in the simulator's log), %d toggles\n\n",
              options.toggles);
  std::printf("| change | min | median | p99 | max |\n|---|---:|---:|---:|---:|\n");
  const Summary a = summarise(on), b = summarise(off);
  std::printf("| TX.txt created, RTS up | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", a.min, a.median, a.p99, a.max);
  std::printf("| TX.txt removed, RTS down | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", b.min, b.median, b.p99, b.max);

  window.clickClose();
  if (!run.waitForExit(10s)) fail("the program did not end on \"&Close\"");
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const int value = std::atoi(argv[i + 1]);
    if (flag == "--starts") options.starts = value;
    else if (flag == "--idle") options.idleSeconds = value;
    else if (flag == "--toggles") options.toggles = value;
    else if (flag == "--soak") options.soakSeconds = value;
    else fail("unknown option " + flag);
  }
  shieldSystemSerialPorts();
  // Always a private server: the numbers are for Xvfb, and nothing flashes on a desktop.
  ::unsetenv("DISPLAY");
  if (!useDisplay()) fail("cannot start Xvfb");

  utsname u{};
  ::uname(&u);
  std::printf("## fileptt program benchmark\n\n");
  std::printf("- machine: %ld CPUs (%s), Linux %s\n", ::sysconf(_SC_NPROCESSORS_ONLN), cpuModel().c_str(),
              u.release);
  std::printf("- X server: Xvfb %s, private, 1024x768x24, no window manager\n",
              firstLineOf({"dpkg-query", "-W", "-f='${Version}'", "xvfb"}).c_str());
  std::fflush(stdout);
  startUp(options);
  longRun(options);
  return 0;
}
