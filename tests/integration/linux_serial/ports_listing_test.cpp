// fileptt-ports against a made-up device tree: each COM number it lists leads where the
// layer's CreateFileA really goes, each device shows its by-id name, driver, USB
// identity, access and holder, and the listing ends with the line that pins a device.
// Also the layer's line on stderr when an open fails, for each kind of failure.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "fake_device_tree.h"
#include "platform/linux/kernel32/device_facts.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/platform.h"

extern char** environ;

namespace {

struct ToolRun {
  int code = -1;
  std::string out, err;
};

std::string readAll(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ownCommandName() {
  std::string name;
  std::getline(std::ifstream("/proc/self/comm"), name);
  return name;
}

// Runs fileptt-ports with XDG_CONFIG_HOME set, optionally through setpriv as another user.
ToolRun runTool(const std::vector<std::string>& args, const fs::path& configHome,
                const std::vector<std::string>& asUser = {}) {
  char pattern[] = "/tmp/fileptt-tool-XXXXXX";
  const int outFd = ::mkstemp(pattern);
  const fs::path outFile = pattern;
  char errPattern[] = "/tmp/fileptt-tool-XXXXXX";
  const int errFd = ::mkstemp(errPattern);
  const fs::path errFile = errPattern;

  std::vector<std::string> argv;
  if (!asUser.empty()) {
    argv.push_back("/usr/bin/setpriv");
    argv.insert(argv.end(), asUser.begin(), asUser.end());
    argv.push_back("--");
  }
  argv.push_back(FILEPTT_PORTS_PROGRAM);
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0) env.push_back(*e);
  env.push_back("XDG_CONFIG_HOME=" + configHome.string());
  std::vector<char*> cenv;
  for (auto& e : env) cenv.push_back(e.data());
  cenv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  pid_t pid = -1;
  ToolRun run;
  if (posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(outFd);
  ::close(errFd);
  run.out = readAll(outFile);
  run.err = readAll(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return run;
}

// Each entry of the listing: its header line ("  COM2 opens ...") and the facts under it.
struct Entry {
  std::string header, facts;
};

std::vector<Entry> entries(const std::string& listing) {
  std::vector<Entry> found;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("  COM", 0) == 0)
      found.push_back({line, ""});
    else if (line.rfind("       ", 0) == 0 && !found.empty())
      found.back().facts += line + "\n";
  }
  return found;
}

const Entry* entryStarting(const std::vector<Entry>& all, const std::string& start) {
  for (const Entry& e : all)
    if (e.header.rfind(start, 0) == 0) return &e;
  return nullptr;
}

// COMn -> the device it opens (through every link), or "nowhere"; as the listing says.
std::map<std::string, std::string> portsAsListed(const std::string& listing) {
  static const std::regex mapped(R"(^  (COM\d+) -> .* \(opens (\S+)\)$)");
  static const std::regex dangling(R"(^  (COM\d+) -> .* \(leads nowhere)");
  static const std::regex numbered(R"(^  (COM\d+) opens (\S+)$)");
  std::map<std::string, std::string> ports;
  for (const Entry& e : entries(listing)) {
    std::smatch m;
    if (std::regex_search(e.header, m, mapped) || std::regex_search(e.header, m, numbered))
      ports[m[1]] = fs::canonical(m[2].str()).string();
    else if (std::regex_search(e.header, m, dangling))
      ports[m[1]] = "nowhere";
  }
  return ports;
}

class PortsListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tree_.ok());
    const char* config = std::getenv("XDG_CONFIG_HOME");
    savedConfig_ = config ? std::optional<std::string>(config) : std::nullopt;
    ::setenv("XDG_CONFIG_HOME", tree_.configHome().c_str(), 1);
    posix::setOpeningRootsForTesting(tree_.roots());
  }
  void TearDown() override {
    posix::setOpeningRootsForTesting(posix::DeviceRoots{});
    if (savedConfig_)
      ::setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }

  HANDLE open(const std::string& name) {
    return platform::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // What the layer opened for `handle`: the device behind its descriptor.
  static std::string openedDevice(HANDLE handle) {
    const auto device = posix::findDevice(handle);
    return device ? fs::read_symlink("/proc/self/fd/" + std::to_string(device->fd)).string() : "";
  }
  // Holds `node` as another radio program would: open, with its flock.
  int hold(const std::string& node) {
    const int fd = ::open(tree_.slaveOf(node).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    return fd;
  }
  // The line CreateFileA writes on stderr for `name`, or "" when it writes none.
  std::string stderrOfOpen(const std::string& name) {
    char pattern[] = "/tmp/fileptt-stderr-XXXXXX";
    const int capture = ::mkstemp(pattern);
    const int saved = ::dup(2);
    ::dup2(capture, 2);
    const HANDLE handle = open(name);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(capture);
    if (handle != INVALID_HANDLE_VALUE) platform::CloseHandle(handle);
    std::string text = readAll(pattern);
    fs::remove(pattern);
    return text;
  }

  FakeDeviceTree tree_;
  std::optional<std::string> savedConfig_;
};

TEST_F(PortsListingTest, EachComNumberListedLeadsWhereTheLayerOpens) {
  const ToolRun run = runTool({"--root", tree_.root()}, tree_.configHome());
  ASSERT_EQ(run.code, 0) << run.err << run.out;
  const std::map<std::string, std::string> listed = portsAsListed(run.out);

  // COM1 is pinned to the Prolific adapter, which is also the second device; the
  // phantom ttyS1 counts for nothing; COM5's adapter is unplugged.
  const std::map<std::string, std::string> expected = {{"COM1", tree_.slaveOf("ttyUSB1")},
                                                       {"COM2", tree_.slaveOf("ttyUSB1")},
                                                       {"COM3", tree_.slaveOf("ttyACM0")},
                                                       {"COM4", tree_.slaveOf("ttyS0")},
                                                       {"COM5", "nowhere"}};
  EXPECT_EQ(listed, expected) << run.out;

  for (int n = 1; n <= 7; ++n) {
    const std::string name = "COM" + std::to_string(n);
    const HANDLE handle = open(name);
    const auto it = listed.find(name);
    if (it == listed.end() || it->second == "nowhere") {
      EXPECT_EQ(handle, INVALID_HANDLE_VALUE) << name << " opened " << openedDevice(handle);
    } else {
      ASSERT_NE(handle, INVALID_HANDLE_VALUE) << name;
      EXPECT_EQ(openedDevice(handle), it->second) << name;
    }
    if (handle != INVALID_HANDLE_VALUE) platform::CloseHandle(handle);
  }
}

TEST_F(PortsListingTest, EachDeviceShowsItsByIdNameDriverUsbIdentityAccessAndHolder) {
  const int held = hold("ttyACM0");
  const ToolRun run = runTool({"--root", tree_.root()}, tree_.configHome());
  ::close(held);
  ASSERT_EQ(run.code, 0) << run.err << run.out;
  const std::vector<Entry> all = entries(run.out);

  const Entry* mapping = entryStarting(all, "  COM1 -> ");
  ASSERT_NE(mapping, nullptr) << run.out;
  EXPECT_NE(mapping->header.find(tree_.byId(FakeDeviceTree::kProlificById)), std::string::npos);
  EXPECT_NE(mapping->facts.find("driver pl2303, USB 067b:2303 serial BFCCb112J20 "
                                "(Prolific Technology Inc. USB-Serial Controller)"),
            std::string::npos)
      << mapping->facts;

  const Entry* first = entryStarting(all, "  COM1 is mapped above; by number it would open " +
                                              (tree_.root() / "dev" / "ttyUSB0").string());
  ASSERT_NE(first, nullptr) << run.out;
  EXPECT_NE(first->facts.find("by-id " + tree_.byId(FakeDeviceTree::kFtdiById).string()),
            std::string::npos);
  EXPECT_NE(
      first->facts.find("driver ftdi_sio, USB 0403:6001 serial A50285BI (FTDI FT232R USB UART)"),
      std::string::npos)
      << first->facts;
  EXPECT_NE(first->facts.find("you may open it"), std::string::npos);
  EXPECT_NE(first->facts.find("held by no other process"), std::string::npos);

  const Entry* modem = entryStarting(all, "  COM3 opens ");
  ASSERT_NE(modem, nullptr) << run.out;
  EXPECT_NE(
      modem->facts.find("driver cdc_acm, USB 2e8a:000a serial E6614103E7 (Raspberry Pi Pico)"),
      std::string::npos)
      << modem->facts;
  EXPECT_NE(modem->facts.find("held by pid " + std::to_string(::getpid()) + " (" +
                              ownCommandName() + ")"),
            std::string::npos)
      << modem->facts;

  const Entry* uart = entryStarting(all, "  COM4 opens ");
  ASSERT_NE(uart, nullptr) << run.out;
  EXPECT_NE(uart->facts.find("driver serial8250\n"), std::string::npos) << uart->facts;
  EXPECT_EQ(uart->facts.find("by-id"), std::string::npos);
  EXPECT_EQ(run.out.find("ttyS1"), std::string::npos) << "the phantom UART is listed";
  EXPECT_NE(run.out.find("com2 is ignored"), std::string::npos);

  // The FTDI adapter is the one no mapping reaches; COM1 is taken, so it gets COM2.
  std::string last;
  for (std::istringstream lines(run.out); std::getline(lines, last) && lines.peek() != EOF;) {
  }
  EXPECT_EQ(last, "  ln -s " + tree_.byId(FakeDeviceTree::kFtdiById).string() + " " +
                      (tree_.portsDir() / "COM2").string())
      << run.out;
}

// A user outside the group that owns the device is told which group, and how to join.
TEST_F(PortsListingTest, AnotherUserIsToldWhichGroupOwnsTheDeviceAndWhoHoldsIt) {
  const group* dialout = ::getgrnam("dialout");
  if (::geteuid() != 0 || !dialout || !fs::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root, a dialout group and setpriv";
  ASSERT_EQ(::chown(tree_.slaveOf("ttyUSB0").c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(tree_.slaveOf("ttyUSB0").c_str(), 0660), 0);
  fs::permissions(tree_.root(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  const int held = hold("ttyACM0");
  const ToolRun run = runTool({"--root", tree_.root()}, tree_.configHome(),
                              {"--reuid=65534", "--regid=65534", "--clear-groups"});
  ::close(held);
  ASSERT_EQ(run.code, 0) << run.err << run.out;
  const std::vector<Entry> all = entries(run.out);
  const Entry* first = entryStarting(all, "  COM1 is mapped above");
  ASSERT_NE(first, nullptr) << run.out;
  EXPECT_NE(first->facts.find("you may not open it: permission denied (EACCES): the device "
                              "belongs to group dialout; run \"sudo usermod -aG dialout "
                              "$USER\", then log out and in"),
            std::string::npos)
      << first->facts;
  const Entry* modem = entryStarting(all, "  COM3 opens ");
  ASSERT_NE(modem, nullptr);
  EXPECT_NE(modem->facts.find("held by pid " + std::to_string(::getpid())), std::string::npos)
      << "a lock shows in /proc/locks to every user:\n"
      << modem->facts;
}

TEST(PortsListingEmptyTest, NoSerialDeviceEndsWithExitCode1AndSaysSo) {
  char pattern[] = "/tmp/fileptt-empty-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path root = pattern;
  fs::create_directories(root / "dev");
  fs::create_directories(root / "sys" / "class" / "tty");
  std::ofstream(root / "dev" / "ttyS0");  // a node with no driver behind it
  const ToolRun run = runTool({"--root", root}, root / "config");
  fs::remove_all(root);
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("No serial devices are present"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("ln -s"), std::string::npos) << run.out;
}

TEST(PortsListingArgumentsTest, AnUnknownArgumentIsRefusedWithTheUsage) {
  const ToolRun run = runTool({"--bogus"}, "/nonexistent");
  EXPECT_EQ(run.code, 2);
  EXPECT_NE(run.err.find("Usage: fileptt-ports"), std::string::npos) << run.err;
}

// The identity kept to find an adapter again once it is plugged back in.
TEST_F(PortsListingTest, IdentityIsTheByIdNameElseTheUsbSerialAndNoneForAPseudoTerminal) {
  using Kind = posix::DeviceIdentity::Kind;
  const posix::DeviceRoots roots = tree_.roots();
  const fs::path dev = tree_.root() / "dev";
  EXPECT_EQ(posix::identityOf(dev / "ttyUSB0", roots),
            (posix::DeviceIdentity{Kind::ById, FakeDeviceTree::kFtdiById}));
  EXPECT_EQ(posix::identityOf(tree_.portsDir() / "COM1", roots),
            posix::identityOf(dev / "ttyUSB1", roots))
      << "the same adapter, through its mapping or by its node";
  EXPECT_NE(posix::identityOf(dev / "ttyUSB0", roots), posix::identityOf(dev / "ttyUSB1", roots));

  fs::remove(tree_.byId(FakeDeviceTree::kPicoById));
  EXPECT_EQ(posix::identityOf(dev / "ttyACM0", roots),
            (posix::DeviceIdentity{Kind::Usb, "2e8a:000a:E6614103E7"}));

  // The made-up ttyS0 is a pseudo-terminal: its numbers go to whichever terminal is
  // opened next once it is gone, so it has no identity to be found again by.
  EXPECT_EQ(posix::identityOf(dev / "ttyS0", roots).kind, Kind::None);
  EXPECT_EQ(posix::identityOf(tree_.portsDir() / "COM5", roots).kind, Kind::None)
      << "a mapping that leads nowhere has no identity";
}

// ---- The line on stderr when an open fails --------------------------------------------------

TEST_F(PortsListingTest, AFailedOpenSaysWhyOnStderrAndAnOpenThatWorksSaysNothing) {
  std::ofstream(tree_.root() / "notes.txt") << "not a port\n";
  fs::create_symlink(tree_.root() / "notes.txt", tree_.portsDir() / "COM8");
  const int held = hold("ttyACM0");
  const std::string acm = (tree_.root() / "dev" / "ttyACM0").string();
  const std::string ports = tree_.portsDir().string();
  const std::string present = "4 serial devices are present (COM1 to COM4); run fileptt-ports";

  struct Case {
    std::string name;
    std::vector<std::string> parts;  // each must be in the line, in this order
  };
  const Case cases[] = {
      {"COM5",
       {"cannot open COM5 (" + ports + "/COM5): COM5 is mapped to " +
        tree_.byId("usb-Silicon_Labs_CP2102_0001-if00-port0").string() +
        ", which does not exist (ENOENT): is the adapter plugged in? " + present}},
      {"COM6", {"cannot open COM6: no mapping COM6 in " + ports + ", and " + present}},
      {"COM3",
       {"cannot open COM3 (" + acm + " -> " + tree_.slaveOf("ttyACM0") +
        "): held by another process: pid " + std::to_string(::getpid()) + " (" + ownCommandName() +
        ")"}},
      {"COM8",
       {"cannot open COM8 (" + ports + "/COM8 -> " + (tree_.root() / "notes.txt").string() +
        "): it is a disk file, not a serial port whose DTR and RTS can be driven"}},
      {"COM 1", {"cannot open COM 1: only COM1 to COM256, written plainly"}},
  };
  for (const Case& c : cases) {
    const std::string line = stderrOfOpen(c.name);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << c.name << ": " << line;
    std::size_t at = 0;
    for (const std::string& part : c.parts) {
      const std::size_t found = line.find(part, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": no \"" << part << "\" in\n" << line;
      if (found != std::string::npos) at = found + part.size();
    }
  }
  ::close(held);
  EXPECT_EQ(stderrOfOpen("COM2"), "") << "an open that works writes nothing";
  EXPECT_EQ(stderrOfOpen("COM3"), "") << "nor once the other program let go";
}

}  // namespace
