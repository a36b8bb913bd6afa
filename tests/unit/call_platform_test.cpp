// Every platform call of the serial operations and the file search runs inside the same
// frame (quiet error mode, last error cleared, the call, last error read, mode put back)
// and is judged by the last-error code, except CreateFileA and GetFileType.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/fake_kernel32.h"
#include "serial/call_platform.h"
#include "serial/serial_port_channel.h"
#include "trigger/trigger_file_probe.h"

namespace {

constexpr UINT kCallersMode = 0x0002;  // SEM_NOGPFAULTERRORBOX: anything but 0x8001

// Channels, the probe's open search and the fake all outlive a test; start clean.
void resetSpine() {
  fake::reset();
  {
    ErrorStatusScope discarded;
    for (int n = 0; n <= 32767; ++n) closeSerialChannel(static_cast<ChannelNumber>(n));
    DirectorySearch::firstMatch("TX.txt");
  }
  fake::reset();
}

class CallPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSpine();
    fake::addDevice("COM3", fake::DeviceKind::SerialPort);
    fake::addDevice("notes.txt", fake::DeviceKind::DiskFile);
    platform::SetErrorMode(kCallersMode);
    fake::clearCalls();
  }
  void TearDown() override { resetSpine(); }

  void open(const char* name) { openSerialChannel(7, name, 512); }
};

const std::set<std::string> kGuardedCalls = {"CreateFileA",   "GetFileType",    "GetCommState",
                                             "SetCommState",  "CloseHandle",    "FindFirstFileA",
                                             "FindNextFileA", "FindClose"};

// Checks that the log is nothing but framed calls and returns the framed calls' names.
std::vector<std::string> framedCalls(const std::vector<fake::Call>& log, UINT keptMode) {
  std::vector<std::string> inner;
  std::size_t i = 0;
  while (i < log.size()) {
    const std::string where = "at call " + std::to_string(i);
    if (log.size() - i < 5) {
      ADD_FAILURE() << where << ": a frame needs five calls, " << log.size() - i << " left";
      break;
    }
    EXPECT_EQ(log[i].name, "SetErrorMode") << where;
    EXPECT_EQ(log[i].detail, "0x8001") << where;
    EXPECT_EQ(log[i + 1].name, "SetLastError") << where;
    EXPECT_EQ(log[i + 1].detail, "0") << where;
    EXPECT_TRUE(kGuardedCalls.count(log[i + 2].name)) << where << ": " << log[i + 2].name;
    EXPECT_EQ(log[i + 3].name, "GetLastError") << where;
    EXPECT_EQ(log[i + 4].name, "SetErrorMode") << where;
    char kept[16];
    std::snprintf(kept, sizeof kept, "0x%x", keptMode);
    EXPECT_EQ(log[i + 4].detail, kept) << where;
    inner.push_back(log[i + 2].name);
    i += 5;
  }
  return inner;
}

struct FrameCase {
  const char* name;
  std::function<void()> arrange;  // not recorded
  std::function<void()> act;
  std::vector<std::string> calls;
};

void PrintTo(const FrameCase& c, std::ostream* out) { *out << c.name; }

class FrameTest : public CallPlatformTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameTest, EveryPlatformCallIsFramedAndTheCallersModeRestored) {
  ErrorStatusScope status;
  GetParam().arrange();
  fake::clearCalls();
  GetParam().act();
  EXPECT_EQ(framedCalls(fake::calls(), kCallersMode), GetParam().calls);
  EXPECT_EQ(fake::errorMode(), kCallersMode);
}

const auto nothing = [] {};

INSTANTIATE_TEST_SUITE_P(
    Operations, FrameTest,
    ::testing::Values(
        FrameCase{"OpenDevice", nothing, [] { openSerialChannel(7, "COM3", 512); },
                  {"CreateFileA", "GetFileType"}},
        FrameCase{"OpenMissingDevice", nothing, [] { openSerialChannel(7, "COM9", 512); },
                  {"CreateFileA"}},
        FrameCase{"OpenDiskFile", nothing, [] { openSerialChannel(7, "notes.txt", 512); },
                  {"CreateFileA", "GetFileType", "CloseHandle"}},
        FrameCase{"SetLine", [] { openSerialChannel(7, "COM3", 512); },
                  [] { setLineSetting(7, SETTING_DTR_HANDSHAKE, 1); },
                  {"GetCommState", "SetCommState"}},
        FrameCase{"SetLineThatCannotBeRead",
                  [] {
                    openSerialChannel(7, "COM3", 512);
                    fake::scriptNext("GetCommState", {false, 31});
                  },
                  [] { setLineSetting(7, SETTING_RTS_CONTROL, 1); }, {"GetCommState"}},
        FrameCase{"Close", [] { openSerialChannel(7, "COM3", 512); },
                  [] { closeSerialChannel(7); }, {"CloseHandle"}},
        FrameCase{"ProbePresentTwice", [] { fake::addDirectoryEntry("TX.txt"); },
                  [] {
                    TriggerFileProbe::isPresent("TX.txt");
                    TriggerFileProbe::isPresent("TX.txt");
                  },
                  {"FindFirstFileA", "FindClose", "FindFirstFileA"}},
        FrameCase{"ProbeHiddenEntry",
                  [] { fake::addDirectoryEntry("TX.txt", FILE_ATTRIBUTE_HIDDEN); },
                  [] { TriggerFileProbe::isPresent("TX.txt"); },
                  {"FindFirstFileA", "FindNextFileA", "FindClose"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The judgement itself -----------------------------------------------------------------

struct JudgementCase {
  const char* name;
  BOOL result;
  DWORD lastError;
  bool failed;
};

void PrintTo(const JudgementCase& c, std::ostream* out) { *out << c.name; }

class JudgementTest : public CallPlatformTest,
                      public ::testing::WithParamInterface<JudgementCase> {};

TEST_P(JudgementTest, FailureIsDecidedByTheLastErrorCodeAlone) {
  const auto outcome = callPlatform([] {
    platform::SetLastError(GetParam().lastError);
    return GetParam().result;
  });
  EXPECT_EQ(outcome.failed(), GetParam().failed);
  EXPECT_EQ(outcome.lastError, GetParam().lastError);
  EXPECT_EQ(outcome.result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Cases, JudgementTest,
                         ::testing::Values(JudgementCase{"TrueNoError", TRUE, 0, false},
                                           JudgementCase{"TrueWithError", TRUE, 5, true},
                                           JudgementCase{"FalseWithError", FALSE, 6, true},
                                           JudgementCase{"FalseNoError", FALSE, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallPlatformTest, ClearsALastErrorLeftByAnEarlierCall) {
  platform::SetLastError(87);
  const auto outcome = callPlatform([] { return TRUE; });
  EXPECT_FALSE(outcome.failed());
}

// How the serial operations apply the rule to each call.
struct OperationCase {
  const char* name;
  const char* device;          // opened on channel 7
  const char* scriptedCall;    // its next outcome is scripted
  fake::Outcome outcome;
  int expectedStatus;
  bool channelOpenAfter;
  std::size_t handlesOpenAfter;
};

void PrintTo(const OperationCase& c, std::ostream* out) { *out << c.name; }

class OperationJudgementTest : public CallPlatformTest,
                               public ::testing::WithParamInterface<OperationCase> {};

TEST_P(OperationJudgementTest, OpenIsJudgedAsEachCallDemands) {
  const OperationCase& c = GetParam();
  ErrorStatusScope status;
  fake::scriptNext(c.scriptedCall, c.outcome);
  openSerialChannel(7, c.device, 512);
  EXPECT_EQ(takeErrorStatus(), c.expectedStatus);
  EXPECT_EQ(fake::openHandleCount(), c.handlesOpenAfter);
  setLineSetting(7, SETTING_RTS_CONTROL, 0);  // 52 exactly when the channel is not open
  EXPECT_EQ(takeErrorStatus() != 52, c.channelOpenAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Open, OperationJudgementTest,
    ::testing::Values(
        // CreateFileA: judged by its result, whatever the last error says.
        OperationCase{"CreateFileFailsWithoutLastError", "COM3", "CreateFileA", {false, 0}, 69,
                      false, 0},
        OperationCase{"CreateFileSucceedsWithLastError", "COM3", "CreateFileA", {true, 183}, 0,
                      true, 1},
        // GetFileType: its result used as it came back.
        OperationCase{"FileTypeQueryFailsOnDevice", "COM3", "GetFileType", {false, 6}, 0, true,
                      1},
        OperationCase{"DiskFileTypeWithLastError", "notes.txt", "GetFileType", {true, 5}, 69,
                      false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallPlatformTest, ReadingTheControlBlockFailsWhenTheCallLeavesALastError) {
  ErrorStatusScope status;
  openSerialChannel(7, "COM3", 512);
  fake::scriptNext("GetCommState", {true, 5});
  setLineSetting(7, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 70);
  EXPECT_EQ(fake::countOf("SetCommState"), 0u);
}

TEST_F(CallPlatformTest, WritingTheControlBlockFailsWhenTheCallLeavesALastError) {
  ErrorStatusScope status;
  openSerialChannel(7, "COM3", 512);
  fake::scriptNext("SetCommState", {true, 87});
  setLineSetting(7, SETTING_DTR_HANDSHAKE, 1);
  EXPECT_EQ(takeErrorStatus(), 5);
}

TEST_F(CallPlatformTest, CloseIsJudgedByTheLastErrorNotTheResult) {
  ErrorStatusScope status;
  openSerialChannel(7, "COM3", 512);
  fake::scriptNext("CloseHandle", {false, 0});
  closeSerialChannel(7);
  EXPECT_EQ(takeErrorStatus(), 0);

  fake::addDevice("COM4", fake::DeviceKind::SerialPort);
  openSerialChannel(8, "COM4", 512);
  fake::scriptNext("CloseHandle", {true, 5});
  closeSerialChannel(8);
  EXPECT_EQ(takeErrorStatus(), 70);
}

}  // namespace
