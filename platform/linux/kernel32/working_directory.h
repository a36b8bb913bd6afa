// The working directory as a path, not as a directory: TX.txt is looked for in the
// directory that the path the program was started in leads to now. A directory removed
// and made again at that path, or a file system unmounted lazily from under it, would
// otherwise leave the process in a directory nobody else can reach, seeing there a
// TX.txt that nobody can remove, or never the one written at the path. Built on
// get_current_dir_name, stat and chdir; leaves out every relative path but the current
// directory's (the program uses no other).
#pragma once

#include <string>

namespace posix {

// Takes the current directory's path as the one to follow. Runs once at start-up,
// before main; a test that has changed directory calls it again.
void captureStartDirectory();

// The path being followed, "" when none could be told at start-up.
std::string startDirectory();

// Called before every lookup of a relative name, with one stat of the path: when it
// leads to another directory than the one it led to before (device and inode), the
// process changes to it. False when the path leads nowhere (or cannot be entered):
// then nothing is found. Says on stderr once when the directory is replaced, gone, or
// back.
bool followStartDirectory();

}  // namespace posix
