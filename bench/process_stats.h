// What /proc tells of a process for the benchmarks: its memory, its CPU time (clock
// ticks and the scheduler's nanoseconds), its wakeups, and an idle measurement of several
// processes over the same seconds; and the sleep loops that serve as floors beside them.
#pragma once

#include <sys/types.h>

#include <vector>

namespace bench {

long statusKb(pid_t pid, const char* field);  // a field of /proc/<pid>/status, in kB
long cpuTicks(pid_t pid);                     // utime + stime, in clock ticks
long wakeups(pid_t pid);    // voluntary context switches of every thread
long long cpuNs(pid_t pid);  // run time of every thread, from schedstat, in ns

// A child that only sleeps `periodNs` again and again: a floor to compare a program with.
pid_t startSleeper(long periodNs);
void stopSleeper(pid_t pid);

struct Idle {
  double cpuPercent = 0, schedPercent = 0, wakeupsPerSecond = 0;
};

// Every process of `pids` over the same `seconds`.
std::vector<Idle> measureIdle(const std::vector<pid_t>& pids, int seconds);

}  // namespace bench
