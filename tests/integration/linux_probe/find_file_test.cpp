// FindFirstFileA, FindNextFileA and FindClose of the Linux layer in a real directory:
// the attributes the probe decides by, wildcard searches, and the bounds of the record.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

class FindFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/fileptt-find-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    previousCwd_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previousCwd_);
    fs::remove_all(dir_);
  }

  // Every name a wildcard search returns, after which it reports no more files.
  std::set<std::string> searchAll(const char* pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = platform::FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.insert(found.cFileName);
    while (platform::FindNextFileA(search, &found));
    EXPECT_EQ(platform::GetLastError(), 18u);
    EXPECT_TRUE(platform::FindClose(search));
    return names;
  }

  fs::path dir_;
  fs::path previousCwd_;
};

struct AttributeCase {
  const char* label;
  const char* name;
  void (*make)(const char* name);
  DWORD attributes;
};

class AttributeTest : public FindFileTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(AttributeTest, DirectLookupReportsTheStoredNameAndAttributes) {
  GetParam().make(GetParam().name);
  WIN32_FIND_DATAA found;
  std::memset(&found, 0x55, sizeof found);
  const HANDLE search = platform::FindFirstFileA(GetParam().name, &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << "last error " << platform::GetLastError();
  EXPECT_STREQ(found.cFileName, GetParam().name);
  EXPECT_EQ(found.dwFileAttributes, GetParam().attributes);
  EXPECT_FALSE(platform::FindNextFileA(search, &found)) << "a direct lookup names one entry";
  EXPECT_EQ(platform::GetLastError(), 18u);
  EXPECT_TRUE(platform::FindClose(search));
}

constexpr DWORD kArchive = FILE_ATTRIBUTE_ARCHIVE, kDirectory = FILE_ATTRIBUTE_DIRECTORY,
                kHidden = FILE_ATTRIBUTE_HIDDEN, kSystem = FILE_ATTRIBUTE_SYSTEM,
                kReadOnly = FILE_ATTRIBUTE_READONLY;

INSTANTIATE_TEST_SUITE_P(
    Entries, AttributeTest,
    ::testing::Values(
        AttributeCase{"File", "TX.txt", [](const char* n) { std::ofstream(n) << "x"; }, kArchive},
        AttributeCase{"ReadOnlyFile", "TX.txt",
                      [](const char* n) { std::ofstream(n) << "x"; ::chmod(n, 0444); },
                      kArchive | kReadOnly},
        AttributeCase{"Directory", "TX.txt", [](const char* n) { fs::create_directory(n); }, kDirectory},
        AttributeCase{"Fifo", "TX.txt", [](const char* n) { ::mkfifo(n, 0644); }, kSystem},
        AttributeCase{"DanglingSymlink", "TX.txt", [](const char* n) { fs::create_symlink("gone", n); }, kArchive},
        AttributeCase{"SymlinkToDirectory", "TX.txt",
                      [](const char* n) { fs::create_directory("d"); fs::create_symlink("d", n); }, kDirectory},
        AttributeCase{"HiddenFile", ".TX.txt", [](const char* n) { std::ofstream(n) << "x"; }, kHidden | kArchive},
        AttributeCase{"HiddenDirectory", ".cache", [](const char* n) { fs::create_directory(n); }, kHidden | kDirectory}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(FindFileTest, DirectLookupReportsSizeAndWriteTime) {
  std::ofstream("TX.txt") << "12345";
  struct stat st;
  ASSERT_EQ(::stat("TX.txt", &st), 0);
  WIN32_FIND_DATAA found;
  const HANDLE search = platform::FindFirstFileA("TX.txt", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(found.nFileSizeLow, 5u);
  EXPECT_EQ(found.nFileSizeHigh, 0u);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
      found.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(ticks / 10000000 - 11644473600ull, static_cast<std::uint64_t>(st.st_mtim.tv_sec));
  platform::FindClose(search);
}

TEST_F(FindFileTest, WildcardsFollowWin32Rules) {
  for (const char* name : {"TX.txt", "TTX.txt", "tx.txt", "README", "a.b.c", ".hidden"})
    std::ofstream(name) << "x";
  EXPECT_EQ(searchAll("?X.txt"), (std::set<std::string>{"TX.txt"}));
  EXPECT_EQ(searchAll("*X.txt"), (std::set<std::string>{"TX.txt", "TTX.txt"}));
  EXPECT_EQ(searchAll("*.txt"), (std::set<std::string>{"TX.txt", "TTX.txt", "tx.txt"}));
  EXPECT_EQ(searchAll("a*c"), (std::set<std::string>{"a.b.c"}));
  // "*.*" matches every name, those without a dot too.
  EXPECT_EQ(searchAll("*.*"), (std::set<std::string>{".", "..", "TX.txt", "TTX.txt", "tx.txt",
                                                     "README", "a.b.c", ".hidden"}));
  EXPECT_TRUE(searchAll("*.doc").empty());
  EXPECT_EQ(platform::GetLastError(), 2u);
}

TEST_F(FindFileTest, WildcardSearchInASubdirectoryReportsBareNames) {
  fs::create_directory("logs");
  std::ofstream("logs/TX.txt") << "x";
  EXPECT_EQ(searchAll("logs/T?.txt"), (std::set<std::string>{"TX.txt"}));
}

TEST_F(FindFileTest, LongestNameFitsTheRecordWithItsTerminator) {
  const std::string longest(255, 'n');
  std::ofstream(longest) << "x";
  WIN32_FIND_DATAA found;
  std::memset(&found, 0x55, sizeof found);
  const HANDLE search = platform::FindFirstFileA("n*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::string(found.cFileName), longest);
  EXPECT_EQ(found.cAlternateFileName[0], '\0');
  platform::FindClose(search);
}

struct FailureCase {
  const char* label;
  const char* name;
  DWORD lastError;
};

class FindFailureTest : public FindFileTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FindFailureTest, FailsWithTheWin32Code) {
  std::ofstream("file") << "x";
  WIN32_FIND_DATAA found;
  EXPECT_EQ(platform::FindFirstFileA(GetParam().name, &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), GetParam().lastError);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FindFailureTest,
    ::testing::Values(FailureCase{"Missing", "TX.txt", 2}, FailureCase{"NoMatch", "*.doc", 2},
                      FailureCase{"Empty", "", 3}, FailureCase{"UnderAFile", "file/TX.txt", 3},
                      FailureCase{"MissingDirectoryWildcard", "nodir/*.txt", 3},
                      FailureCase{"WildcardInDirectoryPart", "*/TX.txt", 123},
                      FailureCase{"TrailingSlash", "sub/", 2}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(FindFileTest, NullArgumentsAreRefusedWith87) {
  WIN32_FIND_DATAA found;
  EXPECT_EQ(platform::FindFirstFileA(nullptr, &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 87u);
  EXPECT_EQ(platform::FindFirstFileA("TX.txt", nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(platform::GetLastError(), 87u);
}

}  // namespace
