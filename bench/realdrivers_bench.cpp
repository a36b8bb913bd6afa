// Line timings on real kernel serial drivers, read from the traces of the rig's guest
// runs (tests/realdrivers): how long the lines are up when the port is opened (the
// first open after boot, a later open of a device something else gave a speed, an
// open at B0), and how long after a close and after a SIGKILL of the holder the kernel
// drops them. Each run directory holds one boot's trace; the table gives the median,
// minimum and maximum over the runs. Run by bench/realdrivers_bench.sh.
// Usage: realdrivers_bench 8250|ftdi_sio RUN_DIR...
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "line_trace.h"

namespace {

using rig::Device;
using rig::Run;

struct Measure {
  const char* name;
  std::function<std::optional<double>(const Run&, Device)> us;
};

std::optional<double> pulse(const Run& r, Device d, const char* label) {
  const auto s = r.step(label);
  if (!s) return std::nullopt;
  return static_cast<double>(r.upTimeBetween(d, s->us, r.endOf(*s)));
}

std::optional<double> dropAfter(const Run& r, Device d, const char* label) {
  const auto s = r.step(label);
  if (!s || !r.at(d, s->us).any()) return std::nullopt;
  const auto low = r.bothLowFrom(d, s->us);
  if (!low) return std::nullopt;
  return static_cast<double>(*low - s->us);
}

const Measure kMeasures[] = {
    {"open pulse, first open after boot", [](const Run& r, Device d) { return pulse(r, d, "first-open"); }},
    {"open pulse, later open (speed set by another program)",
     [](const Run& r, Device d) { return pulse(r, d, "later-open"); }},
    {"open pulse, open at B0", [](const Run& r, Device d) { return pulse(r, d, "b0-open"); }},
    {"drop after close (keyed)", [](const Run& r, Device d) { return dropAfter(r, d, "close-keyed"); }},
    {"drop after SIGKILL of the holder", [](const Run& r, Device d) { return dropAfter(r, d, "sigkill"); }},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: realdrivers_bench 8250|ftdi_sio RUN_DIR...\n");
    return 2;
  }
  const Device device = std::string(argv[1]) == "ftdi_sio" ? Device::Ftdi : Device::Uart;
  std::vector<Run> runs;
  for (int i = 2; i < argc; ++i) {
    std::string error;
    Run run = Run::load(argv[i], &error);
    if (!error.empty()) {
      std::fprintf(stderr, "realdrivers_bench: %s: %s\n", argv[i], error.c_str());
      continue;
    }
    runs.push_back(std::move(run));
  }
  std::printf("| %s: what (%zu boots) | median (us) | min (us) | max (us) |\n", rig::nameOf(device),
              runs.size());
  std::printf("|---|---:|---:|---:|\n");
  for (const Measure& m : kMeasures) {
    std::vector<double> values;
    for (const Run& r : runs)
      if (const auto v = m.us(r, device)) values.push_back(*v);
    if (values.empty()) {
      std::printf("| %s | - | - | - |\n", m.name);
      continue;
    }
    std::sort(values.begin(), values.end());
    std::printf("| %s | %.0f | %.0f | %.0f |\n", m.name, values[values.size() / 2], values.front(),
                values.back());
  }
  return 0;
}
