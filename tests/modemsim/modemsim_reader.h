// Reading the modem-line simulator from a test: a pseudo-terminal's current DTR and RTS,
// its log of events, and waiting (with a deadline) for a given state. The simulator
// (libmodemsim.so) must be preloaded into the process that drives the device; the
// reader may run in any process that sees the same MODEMSIM_DIR.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace modemsim {

struct Lines {
  bool dtr;
  bool rts;
  bool operator==(const Lines&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Lines& lines);

inline constexpr Lines kBothLow{false, false};
inline constexpr Lines kBothHigh{true, true};

// One line of a device's log: what happened, and the lines after it.
struct Event {
  std::int64_t monotonicNs;
  int pid;
  Lines lines;
  std::string cause;  // "open", "ioctl", "termios" (a tcsetattr) or "close"
};

// True when libmodemsim.so is loaded into this process.
bool loaded();

// The simulator's directory: $MODEMSIM_DIR, or "" when it is not set.
std::string directory();

// The lines of the pseudo-terminal slave at `slavePath` ("/dev/pts/5"), or nothing
// while the simulator has never touched it.
std::optional<Lines> lines(const std::string& slavePath);

std::vector<Event> events(const std::string& slavePath);

// Polls until the lines are `wanted` or `timeout` has passed; true on success.
bool waitForLines(const std::string& slavePath, Lines wanted,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace modemsim
