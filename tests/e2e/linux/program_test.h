// The fixture of the end-to-end tests: one run of the real program per test, on the X
// server of $DISPLAY, with its own working, ports and simulator directories.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "program_run.h"
#include "program_window.h"
#include "x_session.h"

namespace e2e {

using namespace std::chrono_literals;

// True when every /dev/ttyS* of this process's view is /dev/null (main.cpp arranges it),
// so that a port number without a mapping cannot reach a real serial device.
bool systemPortsShielded();

// CLOCK_MONOTONIC in nanoseconds, the clock of the simulator's log.
std::int64_t monotonicNs();

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program and finds its window; a fatal failure when it does not appear.
  void startProgram();
  // Starts the program and waits for the first tick's "PTT OFF".
  void startUntilPttOff();
  // The common opening of a test with a port (mapped before): start, wait for "PTT OFF",
  // type `portText` into the port box when given (else it keeps its "1"; "" empties it),
  // and press "Set comport". Fatal failures; call it under ASSERT_NO_FATAL_FAILURE.
  void startAndPressSetComport(const std::optional<std::string>& portText = std::nullopt);
  ProgramWindow& window() { return *window_; }

  // The error box: waits for it to appear; 0 when it did not.
  unsigned long waitForErrorBox();
  // Moves the box off the main window (to the top left corner), as an operator drags
  // it aside to look at the window beneath.
  void moveAside(unsigned long box);
  // The box's OK button, pressed with the mouse.
  bool clickOk(unsigned long box);

  // Ends the program with "&Close" and expects exit code 0.
  void closeWithExitCodeZero();

  // A PNG under the build tree's e2e-screenshots/ folder.
  static std::string screenshotPath(const std::string& name);
  void saveWindowScreenshot(const std::string& name);
  // The main window with the error box, and a margin, as one picture.
  void saveScreenshotWith(unsigned long box, const std::string& name);

  XSession x_;
  ProgramRun run_;
  std::unique_ptr<ProgramWindow> window_;
  Rect mainSize_;  // the main window when it appeared (it may be gone later)
};

}  // namespace e2e
