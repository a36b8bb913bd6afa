// The trigger file probe against the fake's directory, which matches names without
// regard to letter case as Windows does: only the probe's byte comparison refuses a
// stored name in other letter case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake_kernel32.h"
#include "serial/error_status.h"
#include "trigger/trigger_file_probe.h"

namespace {

const std::string kTrigger = "TX.txt";

// The probe keeps its open search between tests; one probe of an empty directory
// closes it, then the fake starts afresh.
void resetProbe() {
  fake::reset();
  DirectorySearch::firstMatch(kTrigger);
  fake::reset();
}

// The probe's own platform calls, without the frame around each.
std::vector<std::string> searchCalls() {
  std::vector<std::string> names;
  for (const fake::Call& call : fake::calls())
    if (call.name.rfind("Find", 0) == 0) names.push_back(call.name);
  return names;
}

using Calls = std::vector<std::string>;

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override { resetProbe(); }
  void TearDown() override {
    EXPECT_EQ(fake::invalidHandleUses(), 0u) << "a search handle was closed twice or never opened";
    resetProbe();
  }

  bool probe() {
    fake::clearCalls();
    return TriggerFileProbe::isPresent(kTrigger);
  }
};

struct Entry {
  std::string name;
  DWORD attributes;
};

struct DirectoryCase {
  const char* name;
  std::vector<Entry> entries;
  bool present;
};

void PrintTo(const DirectoryCase& c, std::ostream* out) { *out << c.name; }

class DirectoryTest : public ProbeTest, public ::testing::WithParamInterface<DirectoryCase> {};

TEST_P(DirectoryTest, PresentExactlyWhenTheFirstAcceptableEntryIsStoredAsTXtxt) {
  for (const Entry& e : GetParam().entries) fake::addDirectoryEntry(e.name, e.attributes);
  EXPECT_EQ(probe(), GetParam().present);
  EXPECT_LE(fake::openSearchCount(), 1u);
  if (GetParam().present) {
    EXPECT_EQ(fake::openSearchCount(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DirectoryTest,
    ::testing::Values(
        DirectoryCase{"OrdinaryFile", {{"TX.txt", FILE_ATTRIBUTE_ARCHIVE}}, true},
        DirectoryCase{"NormalFile", {{"TX.txt", FILE_ATTRIBUTE_NORMAL}}, true},
        DirectoryCase{"ReadOnlyFile",
                      {{"TX.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE}}, true},
        DirectoryCase{"OtherFlagsIgnored", {{"TX.txt", 0x2000 | 0x100 | 0x800}}, true},
        DirectoryCase{"AmongOtherFiles",
                      {{"RX.txt", FILE_ATTRIBUTE_ARCHIVE},
                       {"TX.txt.bak", FILE_ATTRIBUTE_ARCHIVE},
                       {"TX.txt", FILE_ATTRIBUTE_ARCHIVE}},
                      true},
        DirectoryCase{"Hidden", {{"TX.txt", FILE_ATTRIBUTE_HIDDEN}}, false},
        DirectoryCase{"System", {{"TX.txt", FILE_ATTRIBUTE_SYSTEM}}, false},
        DirectoryCase{"Directory", {{"TX.txt", FILE_ATTRIBUTE_DIRECTORY}}, false},
        DirectoryCase{"HiddenReadOnly", {{"TX.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY}},
                      false},
        DirectoryCase{"AllLowerCase", {{"tx.txt", FILE_ATTRIBUTE_ARCHIVE}}, false},
        DirectoryCase{"AllUpperCase", {{"TX.TXT", FILE_ATTRIBUTE_ARCHIVE}}, false},
        DirectoryCase{"MixedCase", {{"Tx.tXt", FILE_ATTRIBUTE_ARCHIVE}}, false},
        DirectoryCase{"NoEntry", {}, false},
        DirectoryCase{"OtherNamesOnly",
                      {{"TX.txt ", FILE_ATTRIBUTE_ARCHIVE}, {"TX.tx", FILE_ATTRIBUTE_ARCHIVE}},
                      false},
        DirectoryCase{"OnlyInASubdirectory", {{"logs\\TX.txt", FILE_ATTRIBUTE_ARCHIVE}}, false},
        // Where a directory holds several case variants, the first acceptable one decides.
        DirectoryCase{"HiddenSkippedForTheNext",
                      {{"TX.txt", FILE_ATTRIBUTE_HIDDEN}, {"TX.txt", FILE_ATTRIBUTE_ARCHIVE}},
                      true},
        DirectoryCase{"FirstAcceptableInOtherCase",
                      {{"tx.txt", FILE_ATTRIBUTE_ARCHIVE}, {"TX.txt", FILE_ATTRIBUTE_ARCHIVE}},
                      false},
        DirectoryCase{"DirectorySkippedThenOtherCase",
                      {{"TX.txt", FILE_ATTRIBUTE_DIRECTORY}, {"TX.TXT", FILE_ATTRIBUTE_ARCHIVE}},
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeTest, FirstMatchReturnsTheStoredNameNotTheRequestedOne) {
  fake::addDirectoryEntry("tx.TXT");
  EXPECT_EQ(DirectorySearch::firstMatch("TX.txt"), "tx.TXT");
  EXPECT_EQ(fake::calls().front().name, "SetErrorMode");
  bool asked = false;
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "FindFirstFileA") {
      EXPECT_EQ(call.detail, "\"TX.txt\"") << "the name goes to the platform unchanged";
      asked = true;
    }
  }
  EXPECT_TRUE(asked);
}

TEST_F(ProbeTest, NameWithADirectoryPartIsNeverPresent) {
  fake::addDirectoryEntry("logs\\TX.txt");
  EXPECT_FALSE(TriggerFileProbe::isPresent("logs\\TX.txt"));
  EXPECT_EQ(DirectorySearch::firstMatch("logs\\TX.txt"), "TX.txt");
}

// ---- Calls per tick and the one open search --------------------------------------------------

TEST_F(ProbeTest, EachTickMakesOnlyTheCallsItNeeds) {
  fake::addDirectoryEntry(kTrigger);
  EXPECT_TRUE(probe());
  EXPECT_EQ(searchCalls(), (Calls{"FindFirstFileA"}));

  EXPECT_TRUE(probe());
  EXPECT_EQ(searchCalls(), (Calls{"FindClose", "FindFirstFileA"}));

  fake::removeDirectoryEntry(kTrigger);
  EXPECT_FALSE(probe());
  EXPECT_EQ(searchCalls(), (Calls{"FindClose", "FindFirstFileA"}))
      << "the search left open is closed first and never consulted";
  EXPECT_EQ(fake::openSearchCount(), 0u);

  EXPECT_FALSE(probe());
  EXPECT_EQ(searchCalls(), (Calls{"FindFirstFileA"}));

  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(probe());
  EXPECT_EQ(searchCalls(), (Calls{"FindFirstFileA", "FindNextFileA", "FindClose"}));
  EXPECT_EQ(fake::openSearchCount(), 0u);

  fake::removeDirectoryEntry(kTrigger);
  fake::addDirectoryEntry(kTrigger);
  EXPECT_TRUE(probe()) << "a file created between ticks is seen by the next";
}

TEST_F(ProbeTest, ManyPositiveProbesKeepExactlyOneSearchOpen) {
  fake::addDirectoryEntry(kTrigger);
  for (int tick = 0; tick < 200; ++tick) ASSERT_TRUE(probe()) << "tick " << tick;
  EXPECT_EQ(fake::peakOpenSearchCount(), 1u);
  EXPECT_EQ(fake::openSearchCount(), 1u);
}

TEST_F(ProbeTest, UnsearchableDirectoryIsAbsentWithNoSearchOpen) {
  fake::addDirectoryEntry(kTrigger);
  for (DWORD code : {21u, 3u, 5u, 53u, 0u}) {  // not ready, no path, denied, share gone
    fake::scriptNext("FindFirstFileA", {false, code});
    EXPECT_FALSE(probe()) << code;
    EXPECT_EQ(fake::openSearchCount(), 0u) << code;
  }
  EXPECT_TRUE(probe()) << "the next tick decides afresh";
}

TEST_F(ProbeTest, FailingNextEntryEndsTheSearch) {
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_SYSTEM);
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_ARCHIVE);
  fake::scriptNext("FindNextFileA", {false, 59});  // an unexpected network error
  EXPECT_FALSE(probe());
  EXPECT_EQ(fake::openSearchCount(), 0u);
}

TEST_F(ProbeTest, NextEntryReportedWithALastErrorEndsTheSearch) {
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_HIDDEN);
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_ARCHIVE);
  fake::scriptNext("FindNextFileA", {true, 18});
  EXPECT_FALSE(probe()) << "judged by the last-error code, not the result";
  EXPECT_EQ(fake::openSearchCount(), 0u);
}

// A platform whose next-entry call fails without an error code would otherwise keep the
// probe asking for the same refused entry: the tick would never end.
TEST_F(ProbeTest, NextEntryThatFailsWithoutAnErrorCodeEndsTheSearch) {
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_HIDDEN);
  fake::scriptNext("FindNextFileA", {false, 0}, 1000);
  EXPECT_FALSE(probe());
  EXPECT_EQ(fake::countOf("FindNextFileA"), 1u);
  EXPECT_EQ(fake::openSearchCount(), 0u);
}

TEST_F(ProbeTest, ProbeNeverTouchesTheErrorStatus) {
  ErrorStatusScope status;
  recordError(64);
  fake::addDirectoryEntry(kTrigger);
  probe();
  fake::removeDirectoryEntry(kTrigger);
  probe();
  fake::addDirectoryEntry(kTrigger, FILE_ATTRIBUTE_HIDDEN);
  probe();
  fake::scriptNext("FindFirstFileA", {false, 21});
  probe();
  EXPECT_EQ(takeErrorStatus(), 64);

  probe();
  fake::scriptNext("FindFirstFileA", {false, 87});
  probe();
  EXPECT_EQ(takeErrorStatus(), 0);
}

}  // namespace
