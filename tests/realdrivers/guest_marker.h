// Step markers of the rig's guest programs: each step is appended to steps.log in the
// current directory as "N LABEL" and N (1, 2, ...) is written into the 16550's scratch
// register, which the 8250 driver never touches after probing, so that QEMU's trace of
// that register write lines the step up, on the host's clock, with the line changes.
// Facts the host cannot see in the trace go to steps.log as "fact NAME VALUE".
// Built on /dev/port (the guest runs as root); leaves out any reading back.
#pragma once

#include <string>

namespace rig {

bool mark(const std::string& label);
void fact(const std::string& name, const std::string& value);

}  // namespace rig
