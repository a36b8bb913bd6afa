// The recording fake of the platform, for unit tests: every platform:: call is
// appended to one log (name and a short rendering of its arguments) so that tests can
// check the order and number of calls; each area of the fake (fake_kernel32.cpp,
// fake_user32.cpp) adds the state that tests script, and resets it in fake::reset().
// It links in place of platform/linux or platform/windows and builds on both.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fake {

struct Call {
  std::string name;    // the Win32 name, e.g. "CreateFileA"
  std::string detail;  // the arguments that matter, rendered by the fake
};

void record(std::string name, std::string detail = {});
const std::vector<Call>& calls();
std::vector<std::string> callNames();
std::size_t countOf(std::string_view name);
void clearCalls();

// Clears the log and every area's scripted state.
void reset();

// An area registers its own reset once, from a static object.
struct ResetHook {
  explicit ResetHook(void (*resetArea)());
};

}  // namespace fake
