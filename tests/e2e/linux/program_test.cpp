#include "program_test.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace e2e {

bool systemPortsShielded() {
  struct stat null, port;
  if (::stat("/dev/null", &null) != 0) return false;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/dev", error)) {
    if (entry.path().filename().string().rfind("ttyS", 0) != 0) continue;
    if (::stat(entry.path().c_str(), &port) != 0 || port.st_rdev != null.st_rdev) return false;
  }
  return !error;
}

std::int64_t monotonicNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void ProgramTest::SetUp() {
  ASSERT_TRUE(x_.connected()) << "no X server at DISPLAY";
  // A window left over from elsewhere would be mistaken for ours.
  ASSERT_TRUE(x_.waitUntilNoWindow(kMainTitle, 10s)) << "another \"File TX.txt\" window is open";
  ASSERT_TRUE(x_.waitUntilNoWindow(kErrorBoxTitle, 10s)) << "another \"Comport\" window is open";
}

void ProgramTest::TearDown() {
  if (HasFailure()) {
    const Rect s = x_.screen();
    saveScreenPng(s, screenshotPath("failed-" + std::string(
        ::testing::UnitTest::GetInstance()->current_test_info()->name())));
    if (run_.pid() > 0) {
      const bool running = run_.running();
      std::cerr << "program " << (running ? "still running" : run_.exit() ? run_.exit()->describe() : "?")
                << "; its output:\n" << run_.errorOutput() << "\n";
    }
  }
}

void ProgramTest::startProgram() {
  unsigned long id = 0;
  for (int attempt = 0; attempt < 3 && !id; ++attempt) {
    ASSERT_TRUE(run_.start(FILEPTT_PROGRAM, MODEMSIM_LIBRARY));
    const auto deadline = Clock::now() + 10s;
    while (!id && Clock::now() < deadline && run_.running()) {
      const auto found = x_.windowsNamed(kMainTitle);
      if (found.size() == 1) id = found.front();
      if (!id) pauseBriefly();
    }
    // Turned away by the X server (see XSession): start it again.
    if (!id && !run_.running() && displayRefused(run_.errorOutput())) continue;
    break;
  }
  ASSERT_NE(id, 0u) << "no window \"File TX.txt\" appeared; " << run_.errorOutput();
  window_ = std::make_unique<ProgramWindow>(x_, id);
  mainSize_ = window_->geometry();
}

void ProgramTest::startUntilPttOff() {
  ASSERT_NO_FATAL_FAILURE(startProgram());
  const LabelReading off = window().waitForLabel(LabelText::PttOff);
  ASSERT_EQ(off.text, LabelText::PttOff) << off.describe();
}

void ProgramTest::startAndPressSetComport(const std::optional<std::string>& portText) {
  ASSERT_NO_FATAL_FAILURE(startUntilPttOff());
  if (portText) {
    ASSERT_TRUE(window().typePortText(*portText)) << "could not type \"" << *portText << "\"";
  }
  ASSERT_TRUE(window().clickSetComport());
}

unsigned long ProgramTest::waitForErrorBox() { return x_.waitForWindow(kErrorBoxTitle, 5s); }

void ProgramTest::moveAside(unsigned long box) {
  x_.move(box, 0, 0);
  const Rect main = window().geometry();
  EXPECT_TRUE(eventually([&] {
    const Rect b = x_.geometry(box);
    return b.x == 0 && b.y == 0 && !b.intersects(main);
  })) << "the box could not be moved off the main window";
}

bool ProgramTest::clickOk(unsigned long box) {
  // One OK button, centred, its middle 14 dialog units above the box's lower edge (a
  // margin of 7 and half a button of 14); the box uses the main window's dialog font.
  const Rect b = x_.geometry(box);
  return clickAt(b.x + b.width / 2, b.bottom() - 14 * mainSize_.height / 75);
}

void ProgramTest::closeWithExitCodeZero() {
  ASSERT_TRUE(window().clickClose());
  const auto end = run_.waitForExit(10s);
  ASSERT_TRUE(end.has_value()) << "still running after \"&Close\"";
  EXPECT_TRUE(end->exited && end->code == 0) << end->describe();
}

std::string ProgramTest::screenshotPath(const std::string& name) {
  const fs::path dir = E2E_SCREENSHOT_DIR;
  std::error_code ignored;
  fs::create_directories(dir, ignored);
  std::string file = name;
  std::replace_if(file.begin(), file.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '-'; }, '_');
  return (dir / (file + ".png")).string();
}

void ProgramTest::saveWindowScreenshot(const std::string& name) {
  EXPECT_TRUE(saveWindowPng(window().id(), screenshotPath(name)));
}

void ProgramTest::saveScreenshotWith(unsigned long box, const std::string& name) {
  const Rect a = window().geometry(), b = x_.geometry(box), s = x_.screen();
  const int margin = 12;
  const int left = std::max(0, std::min(a.x, b.x) - margin), top = std::max(0, std::min(a.y, b.y) - margin);
  const int right = std::min(s.width, std::max(a.right(), b.right()) + margin);
  const int bottom = std::min(s.height, std::max(a.bottom(), b.bottom()) + margin);
  EXPECT_TRUE(saveScreenPng(Rect{left, top, right - left, bottom - top}, screenshotPath(name)));
}

}  // namespace e2e
