#include "modemsim_reader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace modemsim {

namespace {

// The same key the simulator derives from the device number.
std::string fileStem(const std::string& slavePath) {
  struct stat st;
  if (::stat(slavePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
  const unsigned majorNumber = major(st.st_rdev);
  if (majorNumber < 136 || majorNumber > 143) return {};
  const long pts = static_cast<long>(majorNumber - 136) * 256 + minor(st.st_rdev);
  return directory() + "/pts-" + std::to_string(pts);
}

bool lineFlag(const std::string& text, const char* key) {
  const std::size_t at = text.find(key);
  return at != std::string::npos && text.compare(at + 4, 1, "1") == 0;
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Lines& lines) {
  return out << "DTR=" << lines.dtr << " RTS=" << lines.rts;
}

bool loaded() { return ::dlsym(RTLD_DEFAULT, "modemsim_loaded") != nullptr; }

std::string directory() {
  const char* dir = std::getenv("MODEMSIM_DIR");
  return dir ? dir : "";
}

std::optional<Lines> lines(const std::string& slavePath) {
  const std::string stem = fileStem(slavePath);
  if (stem.empty() || directory().empty()) return std::nullopt;
  std::ifstream state(stem + ".state");
  std::string text;
  if (!std::getline(state, text)) return std::nullopt;
  return Lines{lineFlag(text, "DTR="), lineFlag(text, "RTS=")};
}

std::vector<Event> events(const std::string& slavePath) {
  std::vector<Event> result;
  const std::string stem = fileStem(slavePath);
  if (stem.empty() || directory().empty()) return result;
  std::ifstream log(stem + ".log");
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream fields(line);
    Event event{};
    std::string device, dtr, rts;
    if (!(fields >> event.monotonicNs >> event.pid >> device >> dtr >> rts >> event.cause))
      continue;
    event.lines = {dtr == "DTR=1", rts == "RTS=1"};
    result.push_back(event);
  }
  return result;
}

bool waitForLines(const std::string& slavePath, Lines wanted, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (lines(slavePath) == wanted) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace modemsim
