// What one trigger probe costs on Linux, with the file present and absent, in a
// directory of 10 entries and of 100,000: the probe looks the name up directly, so the
// size of the directory should not show. A wildcard search, which reads the directory,
// is timed beside it for contrast.
//
// Usage: probe_bench [--dir PARENT] [--iterations N]
//   PARENT (default /tmp) decides the file system measured.
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "trigger/trigger_file_probe.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTrigger = "TX.txt";
constexpr int kRounds = 7;  // the median of these is reported

void fill(const fs::path& dir, int entries) {
  char name[32];
  for (int i = 1; i < entries; ++i) {  // the trigger file is the last entry
    std::snprintf(name, sizeof name, "entry-%06d.dat", i);
    const int fd = ::open((dir / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::perror("create");
      std::exit(1);
    }
    ::close(fd);
  }
}

// Median nanoseconds per call of `probe` over `iterations` calls; every answer must
// be `expected`.
template <class Probe>
double nsPerProbe(Probe probe, long iterations, bool expected) {
  std::vector<double> rounds;
  for (int r = 0; r < kRounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < iterations; ++i) {
      if (probe() != expected) {
        std::fprintf(stderr, "wrong answer at iteration %ld\n", i);
        std::exit(1);
      }
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    rounds.push_back(std::chrono::duration<double, std::nano>(elapsed).count() / iterations);
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[rounds.size() / 2];
}

struct Result {
  int entries;
  double present, absent, wildcard;
};

Result measure(const fs::path& parent, int entries, long iterations) {
  const fs::path dir = parent / ("fileptt-bench-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(entries));
  fs::create_directory(dir);
  fill(dir, entries);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);

  const auto probe = [] { return TriggerFileProbe::isPresent(kTrigger); };
  const auto wildcard = [] { return !DirectorySearch::firstMatch("TX.tx?").empty(); };

  Result result{entries, 0, 0, 0};
  ::close(::open(kTrigger, O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
  nsPerProbe(probe, iterations / 10, true);  // warm the caches
  result.present = nsPerProbe(probe, iterations, true);
  // Reading 100,000 entries takes milliseconds: fewer rounds of it are plenty.
  const long scans = std::max(10L, iterations * 10 / std::max(entries, 10) / 10);
  result.wildcard = nsPerProbe(wildcard, std::min(scans, iterations), true);
  fs::remove(kTrigger);
  result.absent = nsPerProbe(probe, iterations, false);

  DirectorySearch::firstMatch("no such entry");
  fs::current_path(previous);
  fs::remove_all(dir);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path parent = "/tmp";
  long iterations = 200000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--dir") == 0) parent = argv[i + 1];
    else if (std::strcmp(argv[i], "--iterations") == 0) iterations = std::atol(argv[i + 1]);
  }

  utsname host;
  ::uname(&host);
  std::printf("Trigger probe: %ld probes x %d rounds (median), directory under %s, %s %s\n\n",
              iterations, kRounds, parent.c_str(), host.sysname, host.release);
  std::printf("| entries | present (ns/probe) | absent (ns/probe) | wildcard scan (ns/search) |\n");
  std::printf("|--------:|-------------------:|------------------:|--------------------------:|\n");
  std::vector<Result> results;
  for (int entries : {10, 100000}) {
    results.push_back(measure(parent, entries, iterations));
    const Result& r = results.back();
    std::printf("| %7d | %18.0f | %17.0f | %25.0f |\n", r.entries, r.present, r.absent, r.wildcard);
  }
  std::printf("\nratio 100,000 / 10 entries: present %.2f, absent %.2f, wildcard scan %.0f\n",
              results[1].present / results[0].present, results[1].absent / results[0].absent,
              results[1].wildcard / results[0].wildcard);
  return 0;
}
