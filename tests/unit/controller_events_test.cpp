// PttController driven by its window's events, with the window operations bound to a
// recording stand-in and the platform to the recording fake. The stand-in's calls go
// into the fake's log too, so one log shows the order of lines, labels and boxes.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "app/ptt_controller.h"
#include "platform/fake/fake_kernel32.h"
#include "trigger/trigger_file_probe.h"

namespace {

const HWND kDialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x5150));

// ---- The stand-in window -------------------------------------------------------------------

struct StandIn {
  std::string portText;
  std::string label;
  // Events the operator causes while the error box is up; run once, by the next box.
  std::function<void()> whileErrorBoxIsUp;
  std::vector<INT_PTR> closingResults;  // what the controller answered to the nested events
};

StandIn& window() {
  static StandIn standIn;
  return standIn;
}

INT_PTR send(UINT message, WPARAM wParam = 0) { return PttController(kDialog, message, wParam, 0); }

WPARAM commandParam(int controlId, int notification) {
  return (static_cast<WPARAM>(notification & 0xFFFF) << 16) | static_cast<WPARAM>(controlId & 0xFFFF);
}

INT_PTR command(int controlId, int notification = BN_CLICKED) {
  return send(WM_COMMAND, commandParam(controlId, notification));
}

std::string readControlText(int controlId) {
  fake::record("window.readControlText", std::to_string(controlId));
  return controlId == ID_PORT_TEXT ? window().portText : std::string();
}

void setControlText(int controlId, const std::string& text) {
  fake::record("window.setControlText", std::to_string(controlId) + " " + text);
  if (controlId == ID_STATUS_LABEL) window().label = text;
}

void startTimer(UINT periodMs) { fake::record("window.startTimer", std::to_string(periodMs)); }

void showErrorBox(const std::string& text, const std::string& caption, UINT style) {
  fake::record("window.showErrorBox", text + "|" + caption + "|" + std::to_string(style));
  auto operatorActions = std::move(window().whileErrorBoxIsUp);
  window().whileErrorBoxIsUp = nullptr;
  if (operatorActions) operatorActions();
}

// As the toolkit does: the window is destroyed inside the call.
void endRun(INT_PTR result) {
  fake::record("window.endRun", std::to_string(result));
  for (UINT message : {WM_CLOSE, WM_DESTROY, WM_NCDESTROY})
    window().closingResults.push_back(send(message));
}

// ---- Program-wide state between tests ---------------------------------------------------------

// Channels, the probe's open search, the reservation counter and the controller's
// variables all outlive a test. Every channel is closed, the probe runs once on an
// empty directory, and the counter is driven by calls until its next number is 1.
void resetSpine() {
  fake::reset();
  {
    ErrorStatusScope discarded;
    for (int n = 0; n <= 32767; ++n) closeSerialChannel(static_cast<ChannelNumber>(n));
    DirectorySearch::firstMatch("TX.txt");
    while (reserveChannelNumber() != 32767) {
    }
  }
  fake::reset();
  window() = StandIn{};
  windowOperations = WindowOperations{};
  hDlg = nullptr;
  portNumberText.clear();
  triggerFileName.clear();
  channelNumber = 0;
}

// "name detail" of each logged call whose name is listed, in order.
std::vector<std::string> logOf(const std::set<std::string>& names) {
  std::vector<std::string> entries;
  for (const fake::Call& call : fake::calls())
    if (names.count(call.name)) entries.push_back(call.name + " " + call.detail);
  return entries;
}

using Log = std::vector<std::string>;

const std::set<std::string> kDeviceCalls = {"CreateFileA", "GetFileType", "GetCommState",
                                            "SetCommState", "CloseHandle"};

const std::string kOpenFailedBox =
    "window.showErrorBox Comport not available or already open by another application|Comport|16";

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSpine();
    windowOperations = {readControlText, setControlText, startTimer, showErrorBox, endRun};
    hDlg = kDialog;
    triggerFileName = "TX.txt";
    window().portText = "1";
    fake::addDevice("COM1", fake::DeviceKind::SerialPort);
    fake::addDevice("COM2", fake::DeviceKind::SerialPort);
    fake::addDevice("COM7", fake::DeviceKind::HeldByOtherProgram);
    fake::addDevice("COM12", fake::DeviceKind::SerialPort);
    fake::addDevice("COMdata", fake::DeviceKind::DiskFile);
    fake::addDevice("COM13", fake::DeviceKind::DiskFile);  // a file by that name
  }
  void TearDown() override {
    EXPECT_EQ(fake::invalidHandleUses(), 0u) << "a handle was closed twice or never opened";
    resetSpine();
  }

  void initialise() {
    ASSERT_EQ(send(WM_INITDIALOG), 0);
    fake::clearCalls();
  }

  // "Set comport" with `text` in the port box.
  INT_PTR setPort(const std::string& text) {
    window().portText = text;
    return command(ID_SET_PORT);
  }

  void trigger(bool present) {
    if (present) fake::addDirectoryEntry("TX.txt");
    else fake::removeDirectoryEntry("TX.txt");
  }

  bool anyDeviceCall() { return !logOf(kDeviceCalls).empty(); }
};

// ---- Initialise -----------------------------------------------------------------------------

TEST_F(ControllerTest, InitialiseReadsThePortTextReservesChannel1AndStartsA500msTimer) {
  EXPECT_EQ(send(WM_INITDIALOG), 0);
  EXPECT_EQ(fake::callNames(),
            (std::vector<std::string>{"window.readControlText", "window.startTimer"}));
  EXPECT_EQ(fake::calls()[0].detail, "1002");
  EXPECT_EQ(fake::calls()[1].detail, "500");
  EXPECT_EQ(portNumberText, "1");
  EXPECT_EQ(channelNumber, 1);
}

// ---- Tick -------------------------------------------------------------------------------------

TEST_F(ControllerTest, TickWithoutAPortTouchesNoDeviceAndTheLabelFollowsTheTrigger) {
  initialise();
  ErrorStatusScope outer;
  EXPECT_EQ(send(WM_TIMER), 0);
  EXPECT_EQ(window().label, "PTT OFF");
  trigger(true);
  EXPECT_EQ(send(WM_TIMER, 7), 0) << "whatever the timer id";
  EXPECT_EQ(window().label, "PTT ON");
  trigger(false);
  send(WM_TIMER);
  EXPECT_EQ(window().label, "PTT OFF");
  EXPECT_FALSE(anyDeviceCall());
  EXPECT_EQ(takeErrorStatus(), 0) << "the ticks' 52s stay in their own events";
}

TEST_F(ControllerTest, TickWritesDtrThenRtsThenTheLabelEveryTime) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::clearCalls();
  trigger(true);
  send(WM_TIMER);
  send(WM_TIMER);
  trigger(false);
  send(WM_TIMER);
  const std::string port = fake::handleText(fake::deviceHandle("COM1"));
  EXPECT_EQ(logOf({"SetCommState", "window.setControlText"}),
            (Log{"SetCommState " + port + " fDtrControl=2 fRtsControl=0",
                 "SetCommState " + port + " fDtrControl=2 fRtsControl=1",
                 "window.setControlText 1994 PTT ON",
                 "SetCommState " + port + " fDtrControl=2 fRtsControl=1",
                 "SetCommState " + port + " fDtrControl=2 fRtsControl=1",
                 "window.setControlText 1994 PTT ON",
                 "SetCommState " + port + " fDtrControl=0 fRtsControl=1",
                 "SetCommState " + port + " fDtrControl=0 fRtsControl=0",
                 "window.setControlText 1994 PTT OFF"}));
  EXPECT_EQ(fake::countOf("GetCommState"), 6u) << "each setting reads the block afresh";
}

TEST_F(ControllerTest, TriggerInOtherLetterCaseKeepsTheLinesLow) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::addDirectoryEntry("tx.txt");
  send(WM_TIMER);
  EXPECT_EQ(window().label, "PTT OFF");
  EXPECT_EQ(fake::deviceDcb("COM1").fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(fake::deviceDcb("COM1").fRtsControl, RTS_CONTROL_DISABLE);
}

TEST_F(ControllerTest, FailingLineSettingsStillUpdateTheLabel) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::clearCalls();
  trigger(true);
  fake::scriptNext("GetCommState", {false, 31});
  fake::scriptNext("SetCommState", {false, 87});
  EXPECT_EQ(send(WM_TIMER), 0);
  EXPECT_EQ(fake::countOf("GetCommState"), 2u) << "RTS is still written after DTR failed";
  EXPECT_EQ(window().label, "PTT ON");
  EXPECT_EQ(fake::countOf("window.showErrorBox"), 0u);
}

// ---- "Set comport" ------------------------------------------------------------------------------

TEST_F(ControllerTest, SetComportOpensTheNamedPortAndDropsBothLines) {
  initialise();
  fake::addDirectoryEntry("TX.txt");  // opening must not follow the trigger yet
  EXPECT_EQ(setPort("1"), 1);
  const std::string port = fake::handleText(fake::deviceHandle("COM1"));
  ASSERT_EQ(fake::createFileCalls().size(), 1u);
  EXPECT_EQ(fake::createFileCalls()[0].name, "\\\\.\\COM1");
  EXPECT_EQ(logOf({"window.readControlText", "CloseHandle", "SetCommState", "window.showErrorBox"}),
            (Log{"window.readControlText 1002",
                 "SetCommState " + port + " fDtrControl=0 fRtsControl=3",
                 "SetCommState " + port + " fDtrControl=0 fRtsControl=0"}));
  EXPECT_EQ(portNumberText, "1");
  EXPECT_EQ(fake::deviceDcb("COM1").fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(fake::deviceDcb("COM1").fRtsControl, RTS_CONTROL_DISABLE);
}

struct PortTextCase {
  const char* name;
  std::string text;
  bool opens;
  std::string deviceName;  // what CreateFileA is given; "" when nothing reaches it
};

void PrintTo(const PortTextCase& c, std::ostream* out) { *out << c.name; }

class PortTextTest : public ControllerTest, public ::testing::WithParamInterface<PortTextCase> {};

// Win32 finds only COM1 to COM9 by their plain names (the fake does likewise), so a
// number goes in the device namespace, where COM10 and higher are found too; any
// other text goes as typed.
TEST_P(PortTextTest, DeviceNameIsCOMAndTheTextInTheDeviceNamespaceForANumber) {
  const PortTextCase& c = GetParam();
  initialise();
  const INT_PTR result = setPort(c.text);
  EXPECT_EQ(result, c.opens ? 1 : 0);
  EXPECT_EQ(portNumberText, c.text);
  if (!c.deviceName.empty()) {
    ASSERT_EQ(fake::createFileCalls().size(), 1u);
    EXPECT_EQ(fake::createFileCalls()[0].name, c.deviceName);
  } else {
    EXPECT_FALSE(anyDeviceCall());
  }
  EXPECT_EQ(fake::countOf("window.showErrorBox"), c.opens ? 0u : 1u);
  EXPECT_EQ(fake::openHandleCount(), c.opens ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PortTextTest,
    ::testing::Values(PortTextCase{"Default", "1", true, "\\\\.\\COM1"},
                      PortTextCase{"SecondPort", "2", true, "\\\\.\\COM2"},
                      PortTextCase{"TwoDigits", "12", true, "\\\\.\\COM12"},
                      PortTextCase{"NumberNamingOnlyAFile", "13", false, "\\\\.\\COM13"},
                      PortTextCase{"TextNamingAFile", "data", false, "COMdata"},
                      PortTextCase{"BlankBeforeDigit", " 1", false, "COM 1"},
                      PortTextCase{"BlankAfterDigit", "1 ", false, "COM1 "},
                      PortTextCase{"LeadingZero", "01", false, "\\\\.\\COM01"},
                      PortTextCase{"Signed", "+1", false, "COM+1"},
                      PortTextCase{"Empty", "", false, "COM"},
                      PortTextCase{"NotANumber", "abc", false, "COMabc"},
                      PortTextCase{"HeldByAnotherProgram", "7", false, "\\\\.\\COM7"},
                      PortTextCase{"Wildcard", "1*", false, ""},
                      PortTextCase{"QuestionMark", "?", false, ""},
                      PortTextCase{"HighBytes", "\xB9\xFF", false, "COM\xB9\xFF"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControllerTest, SetComportFailureShowsTheErrorBoxAndLeavesNoPortOpen) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::clearCalls();

  EXPECT_EQ(setPort("7"), 0);
  EXPECT_EQ(logOf({"window.showErrorBox"}), (Log{kOpenFailedBox}));
  EXPECT_FALSE(fake::isDeviceOpen("COM1")) << "the port open before is released";
  EXPECT_EQ(fake::openHandleCount(), 0u);

  fake::clearCalls();
  trigger(true);
  send(WM_TIMER);
  EXPECT_FALSE(anyDeviceCall());
  EXPECT_EQ(window().label, "PTT ON");
}

// The release of the old port fails but the new open succeeds: the box tells the
// operator the port is not available, so it must not be left open and keyed by ticks.
TEST_F(ControllerTest, FailedReleaseOfThePreviousPortShowsTheBoxAndLeavesNoPortOpen) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::scriptNext("CloseHandle", {false, 31});
  EXPECT_EQ(setPort("2"), 0);
  EXPECT_EQ(logOf({"window.showErrorBox"}), (Log{kOpenFailedBox}));
  EXPECT_FALSE(fake::isDeviceOpen("COM2"));

  fake::clearCalls();
  trigger(true);
  send(WM_TIMER);
  EXPECT_FALSE(anyDeviceCall()) << "no port is open until the next successful Set comport";
}

TEST_F(ControllerTest, SetComportWithAnyNotificationCode) {
  initialise();
  window().portText = "2";
  EXPECT_EQ(command(ID_SET_PORT, 0x1234), 1);
  EXPECT_TRUE(fake::isDeviceOpen("COM2"));
}

TEST_F(ControllerTest, FirstSetComportAfterManyFailingTicksShowsNoBox) {
  initialise();
  trigger(true);
  for (int tick = 0; tick < 50; ++tick) send(WM_TIMER);
  EXPECT_EQ(setPort("1"), 1);
  EXPECT_EQ(fake::countOf("window.showErrorBox"), 0u);
}

TEST_F(ControllerTest, SetComportTwiceOnAWorkingPortSucceedsBothTimesWithLinesLow) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  trigger(true);
  send(WM_TIMER);
  ASSERT_EQ(fake::deviceDcb("COM1").fDtrControl, DTR_CONTROL_HANDSHAKE);
  fake::clearCalls();

  EXPECT_EQ(setPort("1"), 1);
  EXPECT_EQ(fake::countOf("window.showErrorBox"), 0u);
  EXPECT_EQ(fake::deviceDcb("COM1").fDtrControl, DTR_CONTROL_DISABLE);
  EXPECT_EQ(fake::deviceDcb("COM1").fRtsControl, RTS_CONTROL_DISABLE);
  const Log order = logOf({"CloseHandle", "CreateFileA"});
  ASSERT_EQ(order.size(), 2u);
  EXPECT_EQ(order[0].rfind("CloseHandle", 0), 0u) << "the old port is released before the open";
  EXPECT_EQ(fake::openHandleCount(), 1u);

  send(WM_TIMER);
  EXPECT_EQ(fake::deviceDcb("COM1").fRtsControl, RTS_CONTROL_ENABLE) << "follows from the next tick";
}

// ---- Events while the error box is up -------------------------------------------------------------

TEST_F(ControllerTest, NestedTickWhileTheErrorBoxIsUpKeepsItsStatusToItself) {
  initialise();
  trigger(true);
  int outerStatusSeen = -1;
  window().whileErrorBoxIsUp = [&] {
    EXPECT_EQ(send(WM_TIMER), 0);
    EXPECT_EQ(window().label, "PTT ON");
    // The stand-in runs inside the outer event: its status must hold nothing new.
    outerStatusSeen = takeErrorStatus();
  };
  EXPECT_EQ(setPort("7"), 0);
  EXPECT_EQ(outerStatusSeen, 0);
  EXPECT_EQ(fake::countOf("GetCommState"), 0u) << "the nested tick touched no device";
}

TEST_F(ControllerTest, NestedSuccessfulSetComportLeavesItsPortOpen) {
  initialise();
  window().whileErrorBoxIsUp = [&] {
    EXPECT_EQ(setPort("2"), 1);
    EXPECT_EQ(fake::countOf("window.showErrorBox"), 1u) << "the nested open shows no box";
  };
  EXPECT_EQ(setPort("7"), 0);
  EXPECT_TRUE(fake::isDeviceOpen("COM2"));

  fake::clearCalls();
  trigger(true);
  send(WM_TIMER);
  EXPECT_EQ(fake::deviceDcb("COM2").fDtrControl, DTR_CONTROL_HANDSHAKE);
  EXPECT_EQ(fake::deviceDcb("COM2").fRtsControl, RTS_CONTROL_ENABLE);
}

TEST_F(ControllerTest, NestedFailingSetComportShowsItsOwnBox) {
  initialise();
  window().whileErrorBoxIsUp = [&] { EXPECT_EQ(setPort("7"), 0); };
  EXPECT_EQ(setPort("9"), 0);
  EXPECT_EQ(logOf({"window.showErrorBox"}), (Log{kOpenFailedBox, kOpenFailedBox}));
  EXPECT_EQ(fake::openHandleCount(), 0u);
}

TEST_F(ControllerTest, CloseWhileTheErrorBoxIsUpEndsTheRunAndLeavesNoPortOpen) {
  initialise();
  window().whileErrorBoxIsUp = [&] {
    EXPECT_EQ(setPort("1"), 1);
    EXPECT_EQ(command(IDCANCEL), 0);
  };
  EXPECT_EQ(setPort("7"), 0);
  EXPECT_EQ(fake::countOf("window.endRun"), 1u);
  EXPECT_EQ(fake::openHandleCount(), 0u);
}

// ---- Closing ------------------------------------------------------------------------------------

class CloseCommandTest : public ControllerTest, public ::testing::WithParamInterface<int> {};

TEST_P(CloseCommandTest, CloseReleasesThePortBeforeEndingTheRun) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  const std::string port = fake::handleText(fake::deviceHandle("COM1"));
  fake::clearCalls();

  EXPECT_EQ(command(IDCANCEL, GetParam()), 0);
  EXPECT_EQ(logOf({"CloseHandle", "window.endRun"}), (Log{"CloseHandle " + port, "window.endRun 0"}))
      << "the destroy event's second close does nothing";
  EXPECT_EQ(window().closingResults, (std::vector<INT_PTR>{0, 0, 0}));
  EXPECT_FALSE(fake::isDeviceOpen("COM1"));
}

// A click on "&Close" and the Escape key (0), and an accelerator (1).
INSTANTIATE_TEST_SUITE_P(Notifications, CloseCommandTest, ::testing::Values(0, 1));

TEST_F(ControllerTest, CloseCommandWithOtherNotificationCodesDoesNothing) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::clearCalls();
  for (int notification : {2, 0x100, 0xFFFF}) EXPECT_EQ(command(IDCANCEL, notification), 0);
  EXPECT_TRUE(fake::calls().empty());
  EXPECT_TRUE(fake::isDeviceOpen("COM1"));
}

TEST_F(ControllerTest, CloseWithoutAPortStillEndsTheRun) {
  initialise();
  EXPECT_EQ(command(IDCANCEL), 0);
  EXPECT_EQ(fake::countOf("window.endRun"), 1u);
  EXPECT_FALSE(anyDeviceCall());
}

TEST_F(ControllerTest, CaptionCloseReleasesThePortThroughTheDestroyEventAlone) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::clearCalls();
  EXPECT_EQ(send(WM_SYSCOMMAND, SC_CLOSE), 0) << "the toolkit ends the window itself";
  EXPECT_TRUE(fake::isDeviceOpen("COM1"));
  EXPECT_EQ(send(WM_CLOSE), 0);
  EXPECT_EQ(send(WM_DESTROY), 0);
  EXPECT_EQ(send(WM_NCDESTROY), 0);
  EXPECT_FALSE(fake::isDeviceOpen("COM1"));
  EXPECT_EQ(fake::countOf("CloseHandle"), 1u);
  EXPECT_EQ(fake::countOf("window.endRun"), 0u);
}

// ---- Everything else ------------------------------------------------------------------------------

struct OtherMessage {
  const char* name;
  UINT message;
  WPARAM wParam;
};

void PrintTo(const OtherMessage& m, std::ostream* out) { *out << m.name; }

class OtherMessageTest : public ControllerTest, public ::testing::WithParamInterface<OtherMessage> {
};

TEST_P(OtherMessageTest, AnswersZeroAndDoesNothing) {
  initialise();
  ASSERT_EQ(setPort("1"), 1);
  fake::addDirectoryEntry("TX.txt");
  fake::clearCalls();
  EXPECT_EQ(send(GetParam().message, GetParam().wParam), 0);
  EXPECT_TRUE(fake::calls().empty()) << fake::calls().front().name;
  EXPECT_TRUE(fake::isDeviceOpen("COM1"));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, OtherMessageTest,
    ::testing::Values(OtherMessage{"ColourRequest", WM_CTLCOLOREDIT, 0},
                      OtherMessage{"StaticColourRequest", WM_CTLCOLORSTATIC, 0},
                      OtherMessage{"CaptionClose", WM_SYSCOMMAND, SC_CLOSE},
                      OtherMessage{"Close", WM_CLOSE, 0},
                      OtherMessage{"FinalDestroy", WM_NCDESTROY, 0},
                      OtherMessage{"User", WM_USER, 0},
                      OtherMessage{"PortBoxChanged", WM_COMMAND, commandParam(ID_PORT_TEXT, 0x300)},
                      OtherMessage{"LabelCommand", WM_COMMAND, commandParam(ID_STATUS_LABEL, 0)},
                      OtherMessage{"OkCommand", WM_COMMAND, commandParam(IDOK, 0)},
                      OtherMessage{"SetPortIdInHighWord", WM_COMMAND, commandParam(0, ID_SET_PORT)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
