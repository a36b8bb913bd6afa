// What the fuzz targets share: the input read as lines of commands, and a scratch
// directory of the process's own in which each input builds its files.
//
// An input is a list of lines; each line is a command letter, then fields separated by
// tabs. In a field, %XX stands for the byte XX, so any byte (a newline, a tab, bytes
// that are not UTF-8) can reach a name. Built on POSIX file calls; leaves out anything
// a target must not touch: every path made here lies inside the scratch directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzinput {

struct Command {
  char letter;
  std::vector<std::string> fields;  // decoded
  std::string field(std::size_t i) const { return i < fields.size() ? fields[i] : std::string(); }
};

std::vector<Command> parse(const std::uint8_t* data, std::size_t size);

// A name for an entry below the scratch directory: not empty, not absolute, no NUL,
// no ".." component.
bool staysInside(std::string_view path);

// The scratch directory, made on first use and removed at exit; the process's
// current directory is left alone.
const std::string& scratch();

// Empties `directory` (which stays), following no symbolic link.
void empty(const std::string& directory);

// Makes `path` a new regular file holding `text`, with `mode`; never opens anything
// that is already there (a FIFO would block, a link could lead out of the scratch
// directory). False when it exists or cannot be made.
bool makeFile(const std::string& path, const std::string& text, unsigned mode = 0644);

// mkdir -p below an existing directory; false when some part could not be made.
bool makeDirectories(const std::string& path);

// How many descriptors the process holds: a target's calls must leave it unchanged.
int openDescriptors();

// Stops the process with a message: libFuzzer saves the input that got there.
[[noreturn]] void fail(const std::string& what);

}  // namespace fuzzinput
