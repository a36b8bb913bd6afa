// One guest run of the rig, read back on the host: DTR and RTS of the 16550 and of the
// FTDI adapter over time, from QEMU's trace (trace.log), and the guest's steps
// (steps.log: "N LABEL" for the step whose marker N went into the 16550's scratch
// register, "fact NAME VALUE" for what the guest found out). Times are host-clock
// microseconds. Built on the standard library only; leaves out every register but the
// modem control register and the scratch register, and every FTDI request but
// SET_MODEM_CTRL.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace rig {

enum class Device { Uart, Ftdi };

struct Lines {
  bool dtr = false;
  bool rts = false;
  bool any() const { return dtr || rts; }
  bool both() const { return dtr && rts; }
};

// One write that sets the lines: an MCR write of the 16550 or a SET_MODEM_CTRL request.
struct LineWrite {
  std::int64_t us;
  Lines after;
};

struct Step {
  int number;
  std::string label;
  std::int64_t us;
};

class Run {
 public:
  // Reads DIR/trace.log and DIR/steps.log; `error` says what is missing or unreadable.
  static Run load(const std::string& dir, std::string* error);

  // The step with this label (the first, if several), or none.
  std::optional<Step> step(const std::string& label) const;
  // The step after `s` (the end of the trace if none).
  std::int64_t endOf(const Step& s) const;
  std::string fact(const std::string& name) const;  // "" when not recorded

  Lines at(Device d, std::int64_t us) const;  // lines as of this instant
  std::vector<LineWrite> writesBetween(Device d, std::int64_t from, std::int64_t to) const;
  // The first instant at or after `from` with both lines low.
  std::optional<std::int64_t> bothLowFrom(Device d, std::int64_t from) const;
  // The first instant at or after `from` at which DTR (RTS) is up; none if never.
  std::optional<std::int64_t> dtrUpFrom(Device d, std::int64_t from) const;
  std::optional<std::int64_t> rtsUpFrom(Device d, std::int64_t from) const;
  // How long any line was up between the two instants, in microseconds.
  std::int64_t upTimeBetween(Device d, std::int64_t from, std::int64_t to) const;

  const std::vector<Step>& steps() const { return steps_; }
  std::int64_t lastUs() const { return last_; }
  std::string describe(Device d, std::int64_t from, std::int64_t to) const;

 private:
  const std::vector<LineWrite>& writes(Device d) const { return d == Device::Uart ? uart_ : ftdi_; }
  std::optional<std::int64_t> firstFrom(Device d, std::int64_t from, bool (*holds)(Lines)) const;

  std::vector<LineWrite> uart_, ftdi_;
  std::vector<Step> steps_;
  std::map<std::string, std::string> facts_;
  std::int64_t last_ = 0;
};

const char* nameOf(Device d);

}  // namespace rig
