#include "process_stats.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

namespace bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

// Voluntary context switches (the thread slept and was woken) of every thread.
long wakeups(pid_t pid) {
  long total = 0;
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream in(task.path() / "status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
        total += std::strtol(line.c_str() + 24, nullptr, 10);
  }
  return total;
}

// Time on a CPU in ns of every thread (the scheduler's own account, finer than the
// clock ticks of utime+stime).
long long cpuNs(pid_t pid) {
  long long total = 0;
  std::error_code error;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream in(task.path() / "schedstat");
    long long ns = 0;
    if (in >> ns) total += ns;
  }
  return total;
}

// A child that only sleeps `periodNs` again and again: a floor to compare the program with.
pid_t startSleeper(long periodNs) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const timespec period{periodNs / 1000000000, periodNs % 1000000000};
    for (;;) ::nanosleep(&period, nullptr);
  }
  return pid;
}

void stopSleeper(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

std::vector<Idle> measureIdle(const std::vector<pid_t>& pids, int seconds) {
  const double ticksPerSecond = static_cast<double>(::sysconf(_SC_CLK_TCK));
  std::vector<long> ticks, switches;
  std::vector<long long> ns;
  for (pid_t pid : pids) {
    ticks.push_back(cpuTicks(pid));
    ns.push_back(cpuNs(pid));
    switches.push_back(wakeups(pid));
  }
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<Idle> out;
  for (std::size_t i = 0; i < pids.size(); ++i)
    out.push_back(
        {100.0 * static_cast<double>(cpuTicks(pids[i]) - ticks[i]) / ticksPerSecond / wall,
         100.0 * static_cast<double>(cpuNs(pids[i]) - ns[i]) / 1e9 / wall,
         static_cast<double>(wakeups(pids[i]) - switches[i]) / wall});
  return out;
}

}  // namespace bench
