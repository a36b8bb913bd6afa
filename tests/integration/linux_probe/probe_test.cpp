// The trigger file probe over the real Linux file search, in real temporary
// directories: which entries count as "TX.txt", what a search leaves open, a current
// directory that disappears or cannot be searched, and one replaced at its path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "caseless_fs.h"
#include "platform/linux/kernel32/handles.h"
#include "platform/linux/kernel32/working_directory.h"
#include "platform/platform.h"
#include "trigger/trigger_file_probe.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTrigger = "TX.txt";

// Each test runs in an empty temporary directory made its current directory.
class ProbeDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fileptt-probe-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    previousCwd_ = fs::current_path();
    fs::current_path(dir_);
    DirectorySearch::firstMatch("no such entry");  // a search left by an earlier test
  }
  void TearDown() override {
    DirectorySearch::firstMatch("no such entry");
    fs::current_path(previousCwd_);
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }

  static bool present() { return TriggerFileProbe::isPresent(kTrigger); }

  fs::path dir_;
  fs::path previousCwd_;
};

void writeFile(const fs::path& path, const std::string& text = "transmit") {
  std::ofstream(path) << text;
}

void makeSocket(const char* name) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", name);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

// ---- Which entries are the trigger file ---------------------------------------------------

struct EntryCase {
  const char* name;
  void (*make)();
  bool present;
};

class EntryTest : public ProbeDirectory, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryTest, ProbeAnswersAndLeavesASearchOpenOnlyWhenPresent) {
  GetParam().make();
  EXPECT_EQ(present(), GetParam().present);
  EXPECT_EQ(posix::openSearchCount(), GetParam().present ? 1u : 0u);
}

const EntryCase kEntryCases[] = {
    {"OrdinaryFile", [] { writeFile(kTrigger); }, true},
    {"EmptyFile", [] { writeFile(kTrigger, ""); }, true},
    {"ReadOnlyFile", [] { writeFile(kTrigger); fs::permissions(kTrigger, fs::perms::owner_read); }, true},
    {"FileWithoutAnyPermission", [] { writeFile(kTrigger); fs::permissions(kTrigger, fs::perms::none); }, true},
    {"SymlinkToFile", [] { writeFile("real"); fs::create_symlink("real", kTrigger); }, true},
    // A link whose target is gone is judged as the ordinary file it names.
    {"DanglingSymlink", [] { fs::create_symlink("nowhere", kTrigger); }, true},
    {"SymlinkLoop", [] { fs::create_symlink(kTrigger, kTrigger); }, true},
    // The same file also reachable as "tx.TXT": found under another case, then
    // confirmed by reading the directory.
    {"HardLinkUnderOtherCase", [] { writeFile(kTrigger); fs::create_hard_link(kTrigger, "tx.TXT"); }, true},
    {"NothingThere", [] {}, false},
    {"LowerCase", [] { writeFile("tx.txt"); }, false},
    {"UpperCase", [] { writeFile("TX.TXT"); }, false},
    {"MixedCase", [] { writeFile("Tx.Txt"); }, false},
    {"TrailingBlank", [] { writeFile("TX.txt "); }, false},
    {"HiddenNamesake", [] { writeFile(".TX.txt"); }, false},
    {"Directory", [] { fs::create_directory(kTrigger); }, false},
    {"Fifo", [] { ::mkfifo(kTrigger, 0644); }, false},
    {"Socket", [] { makeSocket(kTrigger); }, false},
    {"SymlinkToDirectory", [] { fs::create_directory("d"); fs::create_symlink("d", kTrigger); }, false},
    {"SymlinkToFifo", [] { ::mkfifo("f", 0644); fs::create_symlink("f", kTrigger); }, false},
};

INSTANTIATE_TEST_SUITE_P(Entries, EntryTest, ::testing::ValuesIn(kEntryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A writer that keeps the file open, or holds a lock on it, does not hide it.
TEST_F(ProbeDirectory, FileStillOpenForWritingIsPresent) {
  std::ofstream writer(kTrigger);
  writer << "partial";
  writer.flush();
  EXPECT_TRUE(present());
}

// ---- Over time ---------------------------------------------------------------------------

TEST_F(ProbeDirectory, EachProbeFollowsTheFileAsItComesAndGoes) {
  const struct {
    void (*change)();
    bool present;
  } steps[] = {
      {[] {}, false},
      {[] { writeFile(kTrigger); }, true},
      {[] {}, true},
      {[] { fs::remove(kTrigger); }, false},
      {[] { writeFile("tx.txt"); }, false},
      {[] { fs::rename("tx.txt", kTrigger); }, true},
      {[] { fs::rename(kTrigger, "TX.TXT"); }, false},
      {[] { fs::remove("TX.TXT"); fs::create_directory(kTrigger); }, false},
      {[] { fs::remove(kTrigger); writeFile(kTrigger); }, true},
  };
  int step = 0;
  for (const auto& s : steps) {
    s.change();
    EXPECT_EQ(present(), s.present) << "step " << step;
    EXPECT_EQ(posix::openSearchCount(), s.present ? 1u : 0u) << "step " << step;
    ++step;
  }
}

TEST_F(ProbeDirectory, ManyPositiveProbesKeepExactlyOneSearchAndNoDescriptorOpen) {
  writeFile(kTrigger);
  const auto descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  ASSERT_TRUE(present());
  const auto before = descriptors();
  for (int tick = 0; tick < 2000; ++tick) {
    ASSERT_TRUE(present()) << "tick " << tick;
    ASSERT_EQ(posix::openSearchCount(), 1u) << "tick " << tick;
  }
  EXPECT_EQ(descriptors(), before);
  fs::remove(kTrigger);
  EXPECT_FALSE(present());
  EXPECT_EQ(posix::openSearchCount(), 0u);
}

// ---- A current directory that cannot be searched ---------------------------------------------

TEST_F(ProbeDirectory, RemovedCurrentDirectoryIsAbsentForEverySearch) {
  fs::remove(dir_);
  EXPECT_FALSE(present());
  EXPECT_EQ(DirectorySearch::firstMatch("*"), "");
  EXPECT_EQ(DirectorySearch::firstMatch("TX.tx?"), "");
  EXPECT_EQ(posix::openSearchCount(), 0u);
}

// ---- The working directory replaced at its path -------------------------------------------

// The probe's current directory is `work` inside the test's directory, followed as the
// path the program was started in.
class StartDirectoryTest : public ProbeDirectory {
 protected:
  void SetUp() override {
    ProbeDirectory::SetUp();
    if (HasFatalFailure()) return;
    work_ = dir_ / "work";
    fs::create_directory(work_);
    fs::current_path(work_);
    posix::captureStartDirectory();
    ASSERT_EQ(posix::startDirectory(), work_.string());
  }
  void TearDown() override {
    fs::current_path(dir_);
    ProbeDirectory::TearDown();
    posix::captureStartDirectory();  // the test program's own again
  }

  // The probe's answer, and what it wrote on stderr meanwhile.
  static std::pair<bool, std::string> probeSaying() {
    ::testing::internal::CaptureStderr();
    const bool answer = present();
    return {answer, ::testing::internal::GetCapturedStderr()};
  }

  fs::path work_;
};

enum class Replacement { RemovedAndMadeAgain, MovedAwayAndMadeAgain, SymlinkedElsewhere };

struct ReplacementCase {
  const char* name;
  Replacement how;
};

class ReplacedDirectoryTest : public StartDirectoryTest,
                              public ::testing::WithParamInterface<ReplacementCase> {};

// The TX.txt of the old directory, still reachable through the process's current
// directory, is never seen again; the one written at the path is, from the next probe.
TEST_P(ReplacedDirectoryTest, ProbeFollowsThePathToTheNewDirectory) {
  switch (GetParam().how) {
    case Replacement::RemovedAndMadeAgain:
      ASSERT_FALSE(present());
      fs::remove(work_);
      fs::create_directory(work_);
      break;
    case Replacement::MovedAwayAndMadeAgain:
      writeFile(work_ / kTrigger);
      ASSERT_TRUE(present());
      fs::rename(work_, dir_ / "old");
      fs::create_directory(work_);
      break;
    case Replacement::SymlinkedElsewhere:
      writeFile(work_ / kTrigger);
      ASSERT_TRUE(present());
      fs::rename(work_, dir_ / "old");
      fs::create_directory(dir_ / "elsewhere");
      fs::create_directory_symlink(dir_ / "elsewhere", work_);
      break;
  }
  auto [answer, said] = probeSaying();
  EXPECT_FALSE(answer) << "the old directory's TX.txt was seen";
  EXPECT_NE(said.find("fileptt: the working directory " + work_.string() + " was replaced"),
            std::string::npos)
      << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

  writeFile(work_ / kTrigger);
  std::tie(answer, said) = probeSaying();
  EXPECT_TRUE(answer) << "the TX.txt written at the path was not seen";
  EXPECT_EQ(said, "") << "nothing to say on an ordinary probe";
  fs::remove(work_ / kTrigger);
  EXPECT_FALSE(present());
  EXPECT_EQ(posix::openSearchCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Replacements, ReplacedDirectoryTest,
    ::testing::Values(ReplacementCase{"RemovedAndMadeAgain", Replacement::RemovedAndMadeAgain},
                      ReplacementCase{"MovedAwayAndMadeAgain", Replacement::MovedAwayAndMadeAgain},
                      ReplacementCase{"SymlinkedElsewhere", Replacement::SymlinkedElsewhere}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartDirectoryTest, PathThatLeadsNowhereIsAbsentUntilADirectoryIsBackThere) {
  writeFile(work_ / kTrigger);
  ASSERT_TRUE(present());
  fs::rename(work_, dir_ / "old");  // TX.txt goes with it, out of anyone's sight
  auto [answer, said] = probeSaying();
  EXPECT_FALSE(answer);
  EXPECT_NE(said.find("the working directory " + work_.string() + " is gone"), std::string::npos)
      << said;
  for (int tick = 0; tick < 3; ++tick) {
    std::tie(answer, said) = probeSaying();
    EXPECT_FALSE(answer);
    EXPECT_EQ(said, "") << "said again on a later tick";
  }
  EXPECT_EQ(posix::openSearchCount(), 0u);

  fs::rename(dir_ / "old", work_);  // the same directory back at its path
  std::tie(answer, said) = probeSaying();
  EXPECT_TRUE(answer);
  EXPECT_NE(said.find("is back"), std::string::npos) << said;
}

// The working directory is a file system of its own, unmounted lazily while TX.txt is in
// it: the detached tree stays reachable through the current directory alone, where
// nobody can remove TX.txt.
TEST_F(StartDirectoryTest, LazyUnmountOfTheDirectoryMakesTheTriggerAbsent) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("fileptt-test", work_.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                 << "): needs root, as CI has";
  fs::current_path(work_);  // into the mounted file system
  posix::captureStartDirectory();
  writeFile(work_ / kTrigger);
  ASSERT_TRUE(present());

  ASSERT_EQ(::umount2(work_.c_str(), MNT_DETACH), 0) << std::strerror(errno);
  ASSERT_TRUE(fs::exists(kTrigger)) << "the detached tree is still the current directory";
  auto [answer, said] = probeSaying();
  EXPECT_FALSE(answer) << "TX.txt of the detached tree was seen";
  EXPECT_NE(said.find("was replaced"), std::string::npos) << said;
  writeFile(work_ / kTrigger);
  EXPECT_TRUE(present()) << "the path's own directory is the one looked in";
}

struct AccessCase {
  const char* name;
  fs::perms mode;
  const char* search;
  bool found;
};

class AccessTest : public ProbeDirectory, public ::testing::WithParamInterface<AccessCase> {};

// Root reads any directory, so the probe runs in a child that has dropped to
// "nobody" after making the directory its current one.
TEST_P(AccessTest, ProbeInADirectoryWithThisModeAsAnOrdinaryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
  writeFile(kTrigger);
  fs::permissions(dir_, GetParam().mode);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    const std::string found = DirectorySearch::firstMatch(GetParam().search);
    ::_exit(found.empty() ? 0 : found == kTrigger ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the probe crashed";
  ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop privileges";
  EXPECT_EQ(WEXITSTATUS(status), GetParam().found ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AccessTest,
    ::testing::Values(
        AccessCase{"NoAccessDirectLookup", fs::perms::none, kTrigger, false},
        AccessCase{"NoAccessWildcard", fs::perms::none, "TX.tx?", false},
        // Search but no read permission: a name can be looked up, not listed.
        AccessCase{"SearchOnlyDirectLookup", fs::perms::others_exec, kTrigger, true},
        AccessCase{"SearchOnlyWildcard", fs::perms::others_exec, "TX.tx?", false},
        AccessCase{"OpenDirectLookup", fs::perms::all, kTrigger, true},
        AccessCase{"OpenWildcard", fs::perms::all, "TX.tx?", true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Names the probe may be asked about ------------------------------------------------------

struct OddNameCase {
  const char* label;
  std::string name;
};

class OddTriggerNameTest : public ProbeDirectory, public ::testing::WithParamInterface<OddNameCase> {};

// The stored names the search returns are bare, so a name with a directory part is
// never present even when the file is there.
TEST_P(OddTriggerNameTest, IsNeverPresentAndLeavesNothingOpen) {
  fs::create_directory("sub");
  writeFile("sub/TX.txt");
  writeFile(kTrigger);
  EXPECT_FALSE(TriggerFileProbe::isPresent(GetParam().name));
  DirectorySearch::firstMatch("no such entry");
  EXPECT_EQ(posix::openSearchCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OddTriggerNameTest,
    ::testing::Values(OddNameCase{"WithDirectoryPart", "sub/TX.txt"},
                      OddNameCase{"CurrentDirectoryPrefix", "./TX.txt"},
                      OddNameCase{"AbsolutePath", "/tmp"},
                      OddNameCase{"Root", "/"},
                      OddNameCase{"Dot", "."},
                      OddNameCase{"DotDot", ".."},
                      OddNameCase{"TrailingSlash", "TX.txt/"},
                      OddNameCase{"FarTooLong", std::string(5000, 'T')},
                      OddNameCase{"LongComponent", std::string(300, 'x') + "/TX.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace

// ---- A file system that ignores letter case -----------------------------------------------

namespace {

std::string caseName(const std::string& text) {
  std::string name;
  for (char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

struct CaselessCase {
  const char* stored;
  bool present;
};

class CaselessDirectoryTest : public ProbeDirectory,
                              public ::testing::WithParamInterface<CaselessCase> {};

// The search finds the entry whatever its case, as it would on Windows, and reports
// it under its stored name; the comparison then refuses any other case.
TEST_P(CaselessDirectoryTest, SearchFindsTheStoredNameAndTheProbeComparesIt) {
  fs::create_directory("mnt");
  CaselessFs caseless((dir_ / "mnt").string(), {"readme.md", GetParam().stored, "zz.dat"});
  if (!caseless.mounted()) GTEST_SKIP() << "no FUSE here: " << caseless.whyNot();
  fs::current_path(dir_ / "mnt");
  ASSERT_TRUE(fs::exists("tX.TxT")) << "the mount does not ignore case";

  EXPECT_EQ(DirectorySearch::firstMatch(kTrigger), GetParam().stored);
  EXPECT_EQ(present(), GetParam().present);
  EXPECT_EQ(posix::openSearchCount(), 1u) << "the found entry's search stays open";
  fs::current_path(dir_);
}

INSTANTIATE_TEST_SUITE_P(
    StoredNames, CaselessDirectoryTest,
    ::testing::Values(CaselessCase{"TX.txt", true}, CaselessCase{"tx.txt", false},
                      CaselessCase{"TX.TXT", false}, CaselessCase{"Tx.Txt", false}),
    [](const auto& info) { return caseName(info.param.stored); });

}  // namespace
