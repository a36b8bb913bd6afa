// fileptt.exe under Wine, started beside the Linux program so that its idle cost is
// measured over the same seconds: no port set, in a working directory of its own, on
// the benchmark's X server. The Wine prefix is one that scripts/windows/test.sh made
// (its `wine/prefix` under the cross build); the benchmark runs as root in a private
// mount namespace with every serial device covered, so a COM name reaches nothing.
#pragma once

#include <sys/types.h>

#include <string>

class WineProgram {
 public:
  WineProgram() = default;
  WineProgram(const WineProgram&) = delete;
  WineProgram& operator=(const WineProgram&) = delete;
  ~WineProgram();

  // Starts `exe` with WINEPREFIX=`prefix`; false, with the reason in error(), when it
  // cannot be started.
  bool start(const std::string& exe, const std::string& prefix);
  pid_t pid() const { return pid_; }            // the process that runs fileptt.exe
  pid_t wineserver() const;                     // the prefix's server, 0 if none is found
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = 0;
  std::string prefix_, work_, error_;
};
