// A file system that ignores letter case, for tests: a tiny FUSE server, in a thread
// of the test process, serving one read-only directory of empty files whose names are
// looked up without regard to ASCII case and listed as stored (as vfat or a case-folded
// ext4 directory would). Nothing is cached by the kernel: every lookup reaches the
// server. It is mounted in a private mount namespace, so nothing is left mounted if the
// test dies, or in the caller's own (caseless_fs_server, whose process a test stops to
// have a file system that stops answering). Needs root and /dev/fuse.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CaselessFs {
 public:
  enum class Namespace { Private, Callers };
  // Mounts at `mountPoint` a directory holding `storedNames`; on failure
  // mounted() is false and whyNot() says why.
  CaselessFs(const std::string& mountPoint, std::vector<std::string> storedNames,
             Namespace where = Namespace::Private);
  ~CaselessFs();
  CaselessFs(const CaselessFs&) = delete;
  CaselessFs& operator=(const CaselessFs&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& whyNot() const { return whyNot_; }

 private:
  struct Server;
  std::unique_ptr<Server> server_;
  std::string mountPoint_;
  bool mounted_ = false;
  std::string whyNot_;
};
