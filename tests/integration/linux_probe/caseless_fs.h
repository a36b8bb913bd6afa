// A file system that ignores letter case, for tests: a tiny FUSE server, in a thread
// of the test process, serving one read-only directory of empty files whose names are
// looked up without regard to ASCII case and listed as stored (as vfat or a case-folded
// ext4 directory would). It is mounted in a private mount namespace, so nothing is
// left mounted if the test dies. Needs root and /dev/fuse.
#pragma once

#include <memory>
#include <string>
#include <vector>

class CaselessFs {
 public:
  // Mounts at `mountPoint` a directory holding `storedNames`; on failure
  // mounted() is false and whyNot() says why.
  CaselessFs(const std::string& mountPoint, std::vector<std::string> storedNames);
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
