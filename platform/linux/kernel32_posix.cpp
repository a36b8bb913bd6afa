// Serial ports, file search, error mode and last error on POSIX.
