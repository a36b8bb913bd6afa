// The real program's cases on a real kernel driver, judged from the host's trace of one
// guest run of rig_gui (rig_gui.cpp), for one of its ports.
// Usage: realdrivers_gui_cases [gtest options] RUN_DIR 8250|ftdi_sio
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "line_trace.h"

namespace {

using rig::Device;
using rig::Run;
using rig::Step;

std::string runDir, portName;

// One tick is 500 ms; the guest runs emulated, so a tick's work may finish a little
// after the tick itself.
constexpr std::int64_t kOneTickUs = 500000 + 250000;
constexpr std::int64_t kSignalDropUs = 50000;
// The watchdog drops the lines once the loop has not come round for 1 s: within 2 s of
// a stall, however the stall falls between two ticks. Keying again, once the directory
// answers, takes the hung lookup's return and a tick: bounded generously, as an emulated
// guest on a busy host runs in bursts.
constexpr std::int64_t kStallDropUs = 2000000;
constexpr std::int64_t kKeyedAgainUs = 3000000;

struct Subject {
  Run run;
  std::string error;
};

const Subject& subject() {
  static const Subject s = [] {
    Subject s;
    s.run = Run::load(runDir, &s.error);
    return s;
  }();
  return s;
}

Device device() { return portName == "ftdi_sio" ? Device::Ftdi : Device::Uart; }

// The steps of one scenario, by their short names.
struct Scenario {
  const Run& run;
  std::string prefix;
  Step operator[](const std::string& step) const {
    const auto s = run.step(prefix + "." + step);
    if (!s) throw std::runtime_error("no step " + prefix + "." + step + " in the run");
    return *s;
  }
  std::string fact(const std::string& name) const { return run.fact(prefix + "." + name); }
};

struct GuiCase {
  const char* name;
  const char* scenario;
  std::function<void(const Scenario&, const Run&, Device)> check;
};
void PrintTo(const GuiCase& c, std::ostream* os) { *os << c.name; }

void keyedThenDropped(const Scenario& s, const Run& r, Device d) {
  const Step end = s["end"], ended = s["ended"];
  ASSERT_TRUE(r.at(d, end.us).both()) << "not keyed: " << r.describe(d, s["keyed"].us, end.us);
  EXPECT_FALSE(r.at(d, ended.us).any()) << r.describe(d, end.us, ended.us);
}

void droppedWithin50ms(const Scenario& s, const Run& r, Device d) {
  keyedThenDropped(s, r, d);
  const Step end = s["end"];
  const auto low = r.bothLowFrom(d, end.us);
  ASSERT_TRUE(low.has_value()) << r.describe(d, end.us, r.lastUs());
  EXPECT_LE(*low - end.us, kSignalDropUs) << r.describe(d, end.us, *low);
}

void exitedWithZero(const Scenario& s, const Run& r, Device d) {
  keyedThenDropped(s, r, d);
  EXPECT_EQ(s.fact("exit"), "exit code 0");
}

const GuiCase kCases[] = {
    {"LinesLowBeforeAndAfterSetComport", "escape",
     [](const Scenario& s, const Run& r, Device d) {
       EXPECT_EQ(s.fact("port-held"), "yes");
       const Step set = s["set"], created = s["tx-created"];
       EXPECT_FALSE(r.at(d, set.us).any()) << r.describe(d, s["start"].us, set.us);
       EXPECT_FALSE(r.at(d, created.us).any()) << r.describe(d, set.us, created.us);
     }},
    {"SetComportOnAPortAtB0RaisesNoLine", "close-button",
     [](const Scenario& s, const Run& r, Device d) {
       EXPECT_EQ(s.fact("port-held"), "yes");
       const Step set = s["set"], created = s["tx-created"];
       EXPECT_EQ(r.upTimeBetween(d, set.us, created.us), 0) << r.describe(d, set.us, created.us);
     }},
    {"TxCreatedRaisesBothWithinOneTickDtrFirst", "escape",
     [](const Scenario& s, const Run& r, Device d) {
       const Step created = s["tx-created"];
       const auto dtr = r.dtrUpFrom(d, created.us), rts = r.rtsUpFrom(d, created.us);
       ASSERT_TRUE(dtr && rts) << r.describe(d, created.us, s["keyed"].us);
       EXPECT_LE(*dtr - created.us, kOneTickUs) << r.describe(d, created.us, *dtr);
       EXPECT_LE(*rts - created.us, kOneTickUs) << r.describe(d, created.us, *rts);
       EXPECT_LE(*dtr, *rts) << "RTS rose before DTR: " << r.describe(d, created.us, *rts);
       EXPECT_EQ(s.fact("label-after-create"), "\"PTT ON\"");
     }},
    {"TxRemovedDropsBothWithinOneTick", "escape",
     [](const Scenario& s, const Run& r, Device d) {
       const Step removed = s["tx-removed"];
       ASSERT_TRUE(r.at(d, removed.us).both()) << r.describe(d, s["keyed"].us, removed.us);
       const auto low = r.bothLowFrom(d, removed.us);
       ASSERT_TRUE(low.has_value()) << r.describe(d, removed.us, s["unkeyed"].us);
       EXPECT_LE(*low - removed.us, kOneTickUs) << r.describe(d, removed.us, *low);
       EXPECT_EQ(s.fact("label-after-remove"), "\"PTT OFF\"");
     }},
    {"SecondSetComportRaisesNoLine", "escape",
     [](const Scenario& s, const Run& r, Device d) {
       const Step set = s["second-set"], done = s["second-set-done"];
       EXPECT_FALSE(r.at(d, set.us).any());
       EXPECT_EQ(r.upTimeBetween(d, set.us, done.us), 0) << r.describe(d, set.us, done.us);
     }},
    {"EscapeDropsBothLines", "escape", exitedWithZero},
    {"CloseButtonDropsBothLines", "close-button", exitedWithZero},
    {"CloseBoxDropsBothLines", "close-box", exitedWithZero},
    {"SigkillWhileKeyedDropsBothWithin50ms", "sigkill", droppedWithin50ms},
    {"SigtermWhileKeyedDropsBothWithin50ms", "sigterm", droppedWithin50ms},
    {"SigsegvWhileKeyedDropsBothWithin50ms", "sigsegv", droppedWithin50ms},
    {"XServerKilledWhileKeyedDropsBoth", "x-killed", keyedThenDropped},
    {"StalledDirectoryDropsBothWithin2sWhileTheProgramLives", "stalled-directory",
     [](const Scenario& s, const Run& r, Device d) {
       const Step stalled = s["stalled"], answering = s["answering"];
       ASSERT_TRUE(r.at(d, stalled.us).both())
           << "not keyed: " << r.describe(d, s["keyed"].us, stalled.us);
       const auto low = r.bothLowFrom(d, stalled.us);
       ASSERT_TRUE(low && *low < answering.us) << "the lines stayed up with the program hung: "
                                               << r.describe(d, stalled.us, answering.us);
       EXPECT_LE(*low - stalled.us, kStallDropUs) << r.describe(d, stalled.us, *low);
       EXPECT_EQ(s.fact("alive-after-drop"), "yes");
       EXPECT_EQ(s.fact("drop-said"), "yes");
     }},
    {"StalledDirectoryAnsweringAgainKeysBothAgain", "stalled-directory",
     [](const Scenario& s, const Run& r, Device d) {
       const Step answering = s["answering"], end = s["end"];
       ASSERT_FALSE(r.at(d, answering.us).any()) << r.describe(d, s["stalled"].us, answering.us);
       const auto dtr = r.dtrUpFrom(d, answering.us), rts = r.rtsUpFrom(d, answering.us);
       ASSERT_TRUE(dtr && rts) << "TX.txt is still there, but the lines stayed down: "
                               << r.describe(d, answering.us, end.us);
       EXPECT_LE(std::max(*dtr, *rts) - answering.us, kKeyedAgainUs)
           << r.describe(d, answering.us, end.us);
       EXPECT_TRUE(r.at(d, end.us).both()) << r.describe(d, answering.us, end.us);
       EXPECT_EQ(s.fact("runs-again-said"), "yes");
       EXPECT_EQ(s.fact("label-after-answering"), "\"PTT ON\"");
     }},
    {"EscapeAfterAStalledDirectoryDropsBothLines", "stalled-directory", exitedWithZero},
};

class Gui : public ::testing::TestWithParam<GuiCase> {};

TEST_P(Gui, Case) {
  const Subject& subj = subject();
  ASSERT_TRUE(subj.error.empty()) << subj.error;
  const Scenario s{subj.run, portName + "." + GetParam().scenario};
  try {
    GetParam().check(s, subj.run, device());
  } catch (const std::exception& e) {
    FAIL() << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Program, Gui, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc == 3) runDir = argv[1], portName = argv[2];
  return RUN_ALL_TESTS();
}
