// The serial layer's cases on a real kernel driver, judged from the host's trace of one
// guest run of `rig_guest serial COM1` (rig_guest.cpp).
// Usage: realdrivers_serial_cases [gtest options] RUN_DIR 8250|ftdi_sio NODE
//   NODE is the device node COM1 must reach in the guest.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "line_trace.h"

namespace {

using rig::Device;
using rig::Run;

std::string runDir, deviceName, expectedNode;

struct Subject {
  Run run;
  Device device = Device::Uart;
  std::string error;
};

const Subject& subject() {
  static const Subject s = [] {
    Subject s;
    s.device = deviceName == "ftdi_sio" ? Device::Ftdi : Device::Uart;
    s.run = Run::load(runDir, &s.error);
    return s;
  }();
  return s;
}

// The step `label`, or a failure naming it.
#define STEP(var, label)                                                      \
  const auto var##_found = r.step(label);                                     \
  ASSERT_TRUE(var##_found.has_value()) << "no step \"" << label << "\" in the run"; \
  const rig::Step var = *var##_found

struct SerialCase {
  const char* name;
  std::function<void(const Run&, Device)> check;
};
void PrintTo(const SerialCase& c, std::ostream* os) { *os << c.name; }

void expectLines(const Run& r, Device d, const char* label, bool dtr, bool rts) {
  const auto s = r.step(label);
  ASSERT_TRUE(s.has_value()) << label;
  const rig::Lines l = r.at(d, r.endOf(*s));
  EXPECT_EQ(l.dtr, dtr) << "DTR after " << label << ": " << r.describe(d, s->us, r.endOf(*s));
  EXPECT_EQ(l.rts, rts) << "RTS after " << label << ": " << r.describe(d, s->us, r.endOf(*s));
}

const SerialCase kCases[] = {
    {"FirstOpenAfterBootLeavesBothLinesLow",
     [](const Run& r, Device d) {
       EXPECT_EQ(r.fact("first-open-status"), "0");
       STEP(open, "first-open");
       EXPECT_FALSE(r.at(d, r.endOf(open)).any()) << r.describe(d, open.us, r.endOf(open));
     }},
    {"Com1ReachesTheDeviceUnderTest",
     [](const Run& r, Device d) {
       EXPECT_EQ(r.fact("device"), expectedNode);
       STEP(up, "dtr-up");
       EXPECT_TRUE(r.at(d, r.endOf(up)).dtr) << "keying COM1 moved no line of the " << rig::nameOf(d);
     }},
    {"DtrAndRtsFollowLineSettingsOneAtATime",
     [](const Run& r, Device d) {
       expectLines(r, d, "dtr-up", true, false);
       expectLines(r, d, "rts-up", true, true);
       expectLines(r, d, "dtr-down", false, true);
       expectLines(r, d, "rts-down", false, false);
     }},
    {"CloseWhileKeyedDropsBothLines",
     [](const Run& r, Device d) {
       STEP(keyed, "close-keyed");
       STEP(closed, "closed");
       ASSERT_TRUE(r.at(d, keyed.us).both()) << r.describe(d, keyed.us, closed.us);
       EXPECT_FALSE(r.at(d, closed.us).any()) << r.describe(d, keyed.us, closed.us);
     }},
    {"LayerLeavesTheSpeedAtB0SoThatTheNextOpenRaisesNoLine",
     [](const Run& r, Device d) {
       EXPECT_EQ(r.fact("speed-after-close"), "B0");
       EXPECT_EQ(r.fact("b0-open-status"), "0");
       STEP(open, "b0-open");
       EXPECT_EQ(r.upTimeBetween(d, open.us, r.endOf(open)), 0)
           << r.describe(d, open.us, r.endOf(open));
     }},
    {"SecondExclusiveOpenIsRefusedWithoutTouchingTheLines",
     [](const Run& r, Device d) {
       EXPECT_EQ(r.fact("second-open-refused"), "yes");
       STEP(second, "second-open");
       EXPECT_TRUE(r.writesBetween(d, second.us, r.endOf(second)).empty())
           << r.describe(d, second.us, r.endOf(second));
     }},
    {"OpenAfterAnotherProgramSetASpeedLeavesBothLinesLow",
     [](const Run& r, Device d) {
       STEP(open, "later-open");
       EXPECT_FALSE(r.at(d, r.endOf(open)).any()) << r.describe(d, open.us, r.endOf(open));
     }},
    {"SigkillWhileKeyedDropsBothLinesWithin50ms",
     [](const Run& r, Device d) {
       EXPECT_EQ(r.fact("killed-holder-keyed"), "yes");
       STEP(kill, "sigkill");
       ASSERT_TRUE(r.at(d, kill.us).both()) << r.describe(d, kill.us - 1, r.endOf(kill));
       const auto low = r.bothLowFrom(d, kill.us);
       ASSERT_TRUE(low.has_value()) << "still keyed: " << r.describe(d, kill.us, r.lastUs());
       EXPECT_LE(*low - kill.us, 50000) << r.describe(d, kill.us, *low);
     }},
};

class Serial : public ::testing::TestWithParam<SerialCase> {};

TEST_P(Serial, Case) {
  const Subject& s = subject();
  ASSERT_TRUE(s.error.empty()) << s.error;
  GetParam().check(s.run, s.device);
}

INSTANTIATE_TEST_SUITE_P(Layer, Serial, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc == 4) runDir = argv[1], deviceName = argv[2], expectedNode = argv[3];
  return RUN_ALL_TESTS();
}
