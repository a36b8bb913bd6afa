// Reading a guest run's trace and steps into line timelines (line_trace.h).
#include "line_trace.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace rig {

namespace {

constexpr unsigned kModemControl = 4, kScratch = 7;
constexpr unsigned kMcrDtr = 0x01, kMcrRts = 0x02, kMcrLoop = 0x10;
constexpr unsigned kFtdiSetModemCtrl = 0x4001;

// "PID@SEC.USEC:event rest" -> microseconds and the text after the event name.
bool splitLine(const std::string& line, const char* event, std::int64_t* us, std::string* rest) {
  const auto at = line.find('@'), colon = line.find(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at) return false;
  const std::string name = std::string(event) + " ";
  if (line.compare(colon + 1, name.size(), name) != 0) return false;
  long long sec = 0, usec = 0;
  if (std::sscanf(line.c_str() + at + 1, "%lld.%lld", &sec, &usec) != 2) return false;
  *us = sec * 1000000 + usec;
  *rest = line.substr(colon + 1 + name.size());
  return true;
}

}  // namespace

const char* nameOf(Device d) { return d == Device::Uart ? "8250" : "ftdi_sio"; }

Run Run::load(const std::string& dir, std::string* error) {
  Run run;
  std::ifstream steps(dir + "/steps.log");
  if (!steps) {
    *error = "no " + dir + "/steps.log: the guest job did not run";
    return run;
  }
  std::vector<Step> announced;
  std::string line;
  while (std::getline(steps, line)) {
    std::istringstream in(line);
    std::string first;
    in >> first;
    if (first == "fact") {
      std::string name, value;
      in >> name;
      std::getline(in >> std::ws, value);
      run.facts_[name] = value;
    } else if (!first.empty()) {
      Step s{std::stoi(first), "", 0};
      in >> s.label;
      announced.push_back(s);
    }
  }

  std::ifstream trace(dir + "/trace.log");
  if (!trace) {
    *error = "no " + dir + "/trace.log";
    return run;
  }
  Lines uart, ftdi;
  std::size_t next = 0;  // the next announced step whose marker is awaited
  while (std::getline(trace, line)) {
    std::int64_t us = 0;
    std::string rest;
    unsigned addr = 0, value = 0, request = 0;
    if (splitLine(line, "serial_write", &us, &rest) &&
        std::sscanf(rest.c_str(), "write addr 0x%x val 0x%x", &addr, &value) == 2) {
      run.last_ = us;
      if (addr == kModemControl) {
        // In loopback the UART keeps its modem outputs inactive.
        const bool out = !(value & kMcrLoop);
        uart = Lines{out && (value & kMcrDtr), out && (value & kMcrRts)};
        run.uart_.push_back({us, uart});
      } else if (addr == kScratch && next < announced.size() &&
                 value == static_cast<unsigned>(announced[next].number & 0xff)) {
        announced[next].us = us;
        run.steps_.push_back(announced[next++]);
      }
    } else if (splitLine(line, "usb_serial_handle_control", &us, &rest) &&
               std::sscanf(rest.c_str(), "dev %*u:%*u got control 0x%x, value 0x%x", &request,
                           &value) == 2) {
      run.last_ = us;
      if (request != kFtdiSetModemCtrl) continue;
      // High byte: which lines the request sets; low byte: their new state.
      if (value & 0x100) ftdi.dtr = value & 0x01;
      if (value & 0x200) ftdi.rts = value & 0x02;
      run.ftdi_.push_back({us, ftdi});
    }
  }
  if (next < announced.size())
    *error = "the trace lacks the marker of step " + std::to_string(announced[next].number) + " (" +
             announced[next].label + ")";
  return run;
}

std::optional<Step> Run::step(const std::string& label) const {
  for (const Step& s : steps_)
    if (s.label == label) return s;
  return std::nullopt;
}

std::int64_t Run::endOf(const Step& s) const {
  for (const Step& t : steps_)
    if (t.number > s.number) return t.us;
  return last_;
}

std::string Run::fact(const std::string& name) const {
  const auto it = facts_.find(name);
  return it == facts_.end() ? "" : it->second;
}

Lines Run::at(Device d, std::int64_t us) const {
  Lines lines;
  for (const LineWrite& w : writes(d)) {
    if (w.us > us) break;
    lines = w.after;
  }
  return lines;
}

std::vector<LineWrite> Run::writesBetween(Device d, std::int64_t from, std::int64_t to) const {
  std::vector<LineWrite> found;
  for (const LineWrite& w : writes(d))
    if (w.us >= from && w.us <= to) found.push_back(w);
  return found;
}

std::optional<std::int64_t> Run::firstFrom(Device d, std::int64_t from, bool (*holds)(Lines)) const {
  if (holds(at(d, from))) return from;
  for (const LineWrite& w : writes(d))
    if (w.us > from && holds(w.after)) return w.us;
  return std::nullopt;
}

std::optional<std::int64_t> Run::bothLowFrom(Device d, std::int64_t from) const {
  return firstFrom(d, from, [](Lines l) { return !l.any(); });
}
std::optional<std::int64_t> Run::dtrUpFrom(Device d, std::int64_t from) const {
  return firstFrom(d, from, [](Lines l) { return l.dtr; });
}
std::optional<std::int64_t> Run::rtsUpFrom(Device d, std::int64_t from) const {
  return firstFrom(d, from, [](Lines l) { return l.rts; });
}

std::int64_t Run::upTimeBetween(Device d, std::int64_t from, std::int64_t to) const {
  std::int64_t up = 0, since = from;
  Lines lines = at(d, from);
  for (const LineWrite& w : writesBetween(d, from + 1, to)) {
    if (lines.any()) up += w.us - since;
    since = w.us;
    lines = w.after;
  }
  if (lines.any()) up += to - since;
  return up;
}

std::string Run::describe(Device d, std::int64_t from, std::int64_t to) const {
  std::ostringstream out;
  const Lines start = at(d, from);
  out << nameOf(d) << " at +0: DTR " << start.dtr << " RTS " << start.rts;
  for (const LineWrite& w : writesBetween(d, from + 1, to))
    out << "; +" << (w.us - from) << " us: DTR " << w.after.dtr << " RTS " << w.after.rts;
  return out.str();
}

}  // namespace rig
