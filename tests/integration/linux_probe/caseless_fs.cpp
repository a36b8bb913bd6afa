#include "caseless_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <sched.h>
#include <strings.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

struct CaselessFs::Server {
  int device = -1;
  std::vector<std::string> names;  // node id of names[i] is i + 2; the root is 1
  std::thread thread;

  void reply(const fuse_in_header& in, int error, const void* body = nullptr, std::size_t size = 0) {
    fuse_out_header out{};
    out.len = static_cast<std::uint32_t>(sizeof out + size);
    out.error = -error;
    out.unique = in.unique;
    std::vector<char> message(sizeof out + size);
    std::memcpy(message.data(), &out, sizeof out);
    if (size) std::memcpy(message.data() + sizeof out, body, size);
    (void)!::write(device, message.data(), message.size());
  }

  fuse_attr attributes(std::uint64_t node) const {
    fuse_attr attr{};
    attr.ino = node;
    attr.mode = node == FUSE_ROOT_ID ? (S_IFDIR | 0755) : (S_IFREG | 0644);
    attr.nlink = node == FUSE_ROOT_ID ? 2 : 1;
    attr.blksize = 4096;
    return attr;
  }

  void lookup(const fuse_in_header& in, const char* name) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (in.nodeid == FUSE_ROOT_ID && ::strcasecmp(names[i].c_str(), name) == 0) {
        fuse_entry_out entry{};
        entry.nodeid = i + 2;
        entry.attr = attributes(entry.nodeid);
        return reply(in, 0, &entry, sizeof entry);
      }
    }
    reply(in, ENOENT);
  }

  void readDirectory(const fuse_in_header& in, const fuse_read_in& read) {
    std::vector<char> out;
    for (std::size_t i = read.offset; i < names.size(); ++i) {
      const std::size_t size = FUSE_DIRENT_ALIGN(FUSE_NAME_OFFSET + names[i].size());
      if (out.size() + size > read.size) break;
      std::vector<char> record(size, 0);
      fuse_dirent dirent{};
      dirent.ino = i + 2;
      dirent.off = i + 1;
      dirent.namelen = static_cast<std::uint32_t>(names[i].size());
      dirent.type = DT_REG;
      std::memcpy(record.data(), &dirent, FUSE_NAME_OFFSET);
      std::memcpy(record.data() + FUSE_NAME_OFFSET, names[i].data(), names[i].size());
      out.insert(out.end(), record.begin(), record.end());
    }
    reply(in, 0, out.data(), out.size());
  }

  void serve() {
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const ssize_t got = ::read(device, buffer.data(), buffer.size());
      if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == ENOENT)) continue;
      if (got < static_cast<ssize_t>(sizeof(fuse_in_header))) return;  // unmounted
      const auto& in = *reinterpret_cast<const fuse_in_header*>(buffer.data());
      const char* body = buffer.data() + sizeof in;
      switch (in.opcode) {
        case FUSE_INIT: {
          const auto& init = *reinterpret_cast<const fuse_init_in*>(body);
          fuse_init_out out{};
          out.major = FUSE_KERNEL_VERSION;
          out.minor = FUSE_KERNEL_MINOR_VERSION;
          out.max_readahead = init.max_readahead;
          out.max_background = 16;
          out.congestion_threshold = 12;
          out.max_write = 4096;
          out.time_gran = 1;
          reply(in, 0, &out, sizeof out);
          break;
        }
        case FUSE_LOOKUP: lookup(in, body); break;
        case FUSE_GETATTR: {
          fuse_attr_out out{};
          out.attr = attributes(in.nodeid);
          reply(in, 0, &out, sizeof out);
          break;
        }
        case FUSE_OPENDIR: {
          fuse_open_out out{};
          reply(in, 0, &out, sizeof out);
          break;
        }
        case FUSE_READDIR: readDirectory(in, *reinterpret_cast<const fuse_read_in*>(body)); break;
        case FUSE_RELEASEDIR: reply(in, 0); break;
        case FUSE_FORGET: case FUSE_BATCH_FORGET: break;  // never answered
        case FUSE_DESTROY: reply(in, 0); return;
        default: reply(in, ENOSYS); break;
      }
    }
  }
};

CaselessFs::CaselessFs(const std::string& mountPoint, std::vector<std::string> storedNames,
                       Namespace where)
    : server_(std::make_unique<Server>()), mountPoint_(mountPoint) {
  if (where == Namespace::Private &&
      (::unshare(CLONE_NEWNS) != 0 ||
       ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)) {
    whyNot_ = std::string("no private mount namespace: ") + std::strerror(errno);
    return;
  }
  server_->device = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
  if (server_->device < 0) {
    whyNot_ = std::string("/dev/fuse: ") + std::strerror(errno);
    return;
  }
  server_->names = std::move(storedNames);
  const std::string options = "fd=" + std::to_string(server_->device) +
                              ",rootmode=40000,user_id=0,group_id=0,allow_other";
  if (::mount("caseless", mountPoint.c_str(), "fuse.caseless", MS_NOSUID | MS_NODEV,
              options.c_str()) != 0) {
    whyNot_ = std::string("mount: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
  server_->thread = std::thread([server = server_.get()] { server->serve(); });
}

CaselessFs::~CaselessFs() {
  if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
  if (server_->device >= 0) ::close(server_->device);
  if (server_->thread.joinable()) server_->thread.join();
}
