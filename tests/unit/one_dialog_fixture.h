// The fixture of the toolkit tests that work on one dialog: a fresh fake and toolkit and
// a dialog "File TX.txt" of 80x75 dialog units with a caption and a system menu, made in
// SetUp; TearDown destroys every dialog still alive and expects no window record left.
// Tests add their controls and checks in their own SetUp and TearDown, after these.
#pragma once

#include <gtest/gtest.h>

#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

class OneDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    toolkitStartup();
    dialog = createDialog(UNIT_MODE_DIALOG, nullptr, "File TX.txt", COORD_OMITTED, COORD_OMITTED,
                          80, 75, WS_CAPTION | WS_SYSMENU, 0);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override {
    for (HWND d : fake::liveDialogs()) platform::DestroyWindow(d);
    EXPECT_EQ(recordCount(), 0u) << "records outlived their windows";
  }

  HWND dialog = nullptr;
};
