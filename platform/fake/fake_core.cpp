#include "platform/fake/fake_platform.h"

#include <algorithm>

namespace fake {
namespace {
std::vector<Call>& log() {
  static std::vector<Call> entries;
  return entries;
}
std::vector<void (*)()>& resetHooks() {
  static std::vector<void (*)()> hooks;
  return hooks;
}
}  // namespace

void record(std::string name, std::string detail) {
  log().push_back({std::move(name), std::move(detail)});
}

const std::vector<Call>& calls() { return log(); }

std::vector<std::string> callNames() {
  std::vector<std::string> names;
  for (const Call& c : log()) names.push_back(c.name);
  return names;
}

std::size_t countOf(std::string_view name) {
  return static_cast<std::size_t>(
      std::count_if(log().begin(), log().end(), [&](const Call& c) { return c.name == name; }));
}

void clearCalls() { log().clear(); }

void reset() {
  log().clear();
  for (auto hook : resetHooks()) hook();
}

ResetHook::ResetHook(void (*resetArea)()) { resetHooks().push_back(resetArea); }

}  // namespace fake
