// The trigger file probe through the real Win32 file search (Windows, or Wine), in a
// fresh directory made current for each test.
//
// Wine differences met here: Wine emulates the case-blind Windows name lookup on a
// case-sensitive Unix file system, so "tx.txt" is found by the search and refused only
// by the probe's byte comparison, as on Windows; Wine keeps the hidden and system
// attributes in an extended attribute of the Unix file, so the prefix must live on a
// file system with user extended attributes (ext4 here).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "serial/error_status.h"
#include "tests/support/handle_gauge.h"
#include "trigger/trigger_file_probe.h"

namespace {

const std::string kTrigger = "TX.txt";

// A new empty directory under the user's temporary directory, current for the test.
class RealDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
    char previous[MAX_PATH];
    ASSERT_NE(::GetCurrentDirectoryA(MAX_PATH, previous), 0u);
    previous_ = previous;
    static unsigned serial = 0;
    dir_ = std::string(temp) + "fileptt-probe-" + std::to_string(::GetCurrentProcessId()) + "-" +
           std::to_string(++serial);
    ASSERT_TRUE(::CreateDirectoryA(dir_.c_str(), nullptr)) << dir_ << ": " << ::GetLastError();
    ASSERT_TRUE(::SetCurrentDirectoryA(dir_.c_str()));
  }

  void TearDown() override {
    // A positive probe leaves its search open; a probe of a name that cannot exist
    // closes it so that the directory can go.
    DirectorySearch::firstMatch("no such entry");
    ::SetCurrentDirectoryA(previous_.c_str());
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      const std::string& name = *it;
      const std::string path = dir_ + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!::DeleteFileA(path.c_str())) ::RemoveDirectoryA(path.c_str());
    }
    EXPECT_TRUE(::RemoveDirectoryA(dir_.c_str())) << dir_ << " left behind: " << ::GetLastError();
  }

  void createFile(const std::string& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name << ": " << ::GetLastError();
    ::CloseHandle(file);
    created_.push_back(name);
    setAttributes(name, attributes);
  }

  void createDirectory(const std::string& name) {
    ASSERT_TRUE(::CreateDirectoryA(name.c_str(), nullptr)) << name << ": " << ::GetLastError();
    created_.push_back(name);
  }

  void setAttributes(const std::string& name, DWORD attributes) {
    ASSERT_TRUE(::SetFileAttributesA(name.c_str(), attributes)) << name;
    // The attribute must really be stored, or the case proves nothing.
    const DWORD stored = ::GetFileAttributesA(name.c_str());
    const DWORD meaningful = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_READONLY;
    ASSERT_EQ(stored & meaningful, attributes & meaningful) << name << " attributes not kept";
  }

  void remove(const std::string& name) {
    ::SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(::DeleteFileA(name.c_str())) << name << ": " << ::GetLastError();
    std::erase(created_, name);
  }

  std::string dir_;

 private:
  std::string previous_;
  std::vector<std::string> created_;
};

// ---- One entry in the directory --------------------------------------------------------
struct EntryCase {
  const char* label;
  const char* name;
  bool isDirectory;
  DWORD attributes;
  bool present;
  const char* found;  // what the search returns before the byte comparison
};

void PrintTo(const EntryCase& c, std::ostream* out) { *out << c.label; }

class OneEntry : public RealDirectory, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(OneEntry, PresentOnlyForAnAcceptableEntryStoredExactlyAsTXtxt) {
  const EntryCase& c = GetParam();
  if (c.isDirectory)
    createDirectory(c.name);
  else
    createFile(c.name, c.attributes);
  if (HasFatalFailure()) return;

  EXPECT_EQ(DirectorySearch::firstMatch(kTrigger), c.found);
  EXPECT_EQ(TriggerFileProbe::isPresent(kTrigger), c.present);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneEntry,
    ::testing::Values(
        EntryCase{"OrdinaryFile", "TX.txt", false, FILE_ATTRIBUTE_NORMAL, true, "TX.txt"},
        EntryCase{"ReadOnlyFile", "TX.txt", false, FILE_ATTRIBUTE_READONLY, true, "TX.txt"},
        EntryCase{"ArchiveFile", "TX.txt", false, FILE_ATTRIBUTE_ARCHIVE, true, "TX.txt"},
        EntryCase{"LowerCase", "tx.txt", false, FILE_ATTRIBUTE_NORMAL, false, "tx.txt"},
        EntryCase{"UpperCase", "TX.TXT", false, FILE_ATTRIBUTE_NORMAL, false, "TX.TXT"},
        EntryCase{"MixedCase", "Tx.Txt", false, FILE_ATTRIBUTE_NORMAL, false, "Tx.Txt"},
        EntryCase{"HiddenFile", "TX.txt", false, FILE_ATTRIBUTE_HIDDEN, false, ""},
        EntryCase{"SystemFile", "TX.txt", false, FILE_ATTRIBUTE_SYSTEM, false, ""},
        EntryCase{"HiddenReadOnlyFile", "TX.txt", false,
                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY, false, ""},
        EntryCase{"Directory", "TX.txt", true, 0, false, ""},
        EntryCase{"SimilarNameOnly", "TX.txt.bak", false, FILE_ATTRIBUTE_NORMAL, false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Changes between probes ------------------------------------------------------------
TEST_F(RealDirectory, FollowsTheFileAsItIsCreatedAndDeletedBetweenProbes) {
  EXPECT_FALSE(TriggerFileProbe::isPresent(kTrigger));
  createFile(kTrigger);
  EXPECT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  EXPECT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  // Deleted while the last positive probe's search is still open.
  remove(kTrigger);
  EXPECT_FALSE(TriggerFileProbe::isPresent(kTrigger));
  createFile(kTrigger);
  EXPECT_TRUE(TriggerFileProbe::isPresent(kTrigger));
}

TEST_F(RealDirectory, FileHiddenAfterAPositiveProbeIsAbsentAtTheNext) {
  createFile(kTrigger);
  ASSERT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  setAttributes(kTrigger, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(TriggerFileProbe::isPresent(kTrigger));
}

TEST_F(RealDirectory, FileStillHeldOpenByItsWriterIsPresent) {
  HANDLE writer = ::CreateFileA(kTrigger.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ::WriteFile(writer, "on", 2, &written, nullptr);
  EXPECT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  ::CloseHandle(writer);
  ASSERT_TRUE(::DeleteFileA(kTrigger.c_str()));
  EXPECT_FALSE(TriggerFileProbe::isPresent(kTrigger));
}

// Hours of ticks with the file present must not pile up search handles: the probe keeps
// exactly one search open between positive ticks, and none between negative ones.
TEST_F(RealDirectory, ManyProbesHoldAtMostOneSearchHandle) {
  createFile(kTrigger);
  ASSERT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  const DWORD_PTR before = handleGauge();
  for (int tick = 0; tick < 500; ++tick) ASSERT_TRUE(TriggerFileProbe::isPresent(kTrigger));
  EXPECT_LE(handleGauge(), before);
  // Now each probe finds a directory by that name and must close the search it opened.
  remove(kTrigger);
  createDirectory(kTrigger);
  for (int tick = 0; tick < 500; ++tick) ASSERT_FALSE(TriggerFileProbe::isPresent(kTrigger));
  // One search was open before; none is after the negative probes.
  EXPECT_LE(handleGauge(), before);
}

// ---- Names and directories the probe cannot use ----------------------------------------
TEST_F(RealDirectory, NameWithADirectoryPartIsNeverPresent) {
  createDirectory("sub");
  createFile("sub\\TX.txt");
  ErrorStatusScope status;
  EXPECT_EQ(DirectorySearch::firstMatch("sub\\TX.txt"), "TX.txt");
  EXPECT_FALSE(TriggerFileProbe::isPresent("sub\\TX.txt"));
  EXPECT_FALSE(TriggerFileProbe::isPresent("missing\\TX.txt"));
  EXPECT_FALSE(TriggerFileProbe::isPresent("Q:\\nowhere\\TX.txt"));
  EXPECT_EQ(takeErrorStatus(), 0) << "the probe never records an error";
  remove("sub\\TX.txt");
}

}  // namespace
