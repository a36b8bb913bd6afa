// Does the trigger file exist in the current directory under exactly its name?
//
// DirectorySearch asks the platform for the first matching entry that is neither a
// directory nor hidden nor a system file, compared the way the platform compares
// names; TriggerFileProbe then compares the stored name byte for byte, so the answer
// is case-sensitive even where the file system is not. Nothing is ever reported: a
// search that fails simply finds nothing.
#pragma once

#include <string>

namespace DirectorySearch {
// The stored name of the first acceptable entry matching `name`, or "" for none.
// The search that found it stays open until the next call, which closes it first.
std::string firstMatch(const std::string& name);
}  // namespace DirectorySearch

namespace TriggerFileProbe {
bool isPresent(const std::string& triggerName);
}  // namespace TriggerFileProbe
