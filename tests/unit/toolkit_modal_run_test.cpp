// The modal run as its event handler sees it: the opening events, the closing
// messages nested inside dismissDialog, the caption's close box, Escape, and what the
// toolkit does with the handler's answers and with the records at the end.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "platform/fake/fake_user32.h"
#include "toolkit/toolkit.h"
#include "toolkit/window_records.h"

namespace {

constexpr int kBoxId = 1002;

struct Event {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool visible;  // the dialog, when the handler was called
  int depth;     // 0 for a call from the loop; 1 and more for calls nested in one
};

std::vector<Event> events;
int depth = 0;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> reaction;

INT_PTR RecordingHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const fake::Window* w = fake::window(window);
  events.push_back({message, wParam, lParam, w && w->visible, depth});
  ++depth;
  const INT_PTR result = reaction ? reaction(window, message, wParam, lParam) : 0;
  --depth;
  return result;
}

// The handler's own closing on IDCANCEL, as PttController does.
INT_PTR DismissOnCancel(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) dismissDialog(window, 0);
  return 0;
}

std::vector<UINT> messagesOf(const std::vector<Event>& list) {
  std::vector<UINT> numbers;
  for (const Event& e : list) numbers.push_back(e.message);
  return numbers;
}

// The events from the first `message` on.
std::vector<Event> from(UINT message) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].message == message) return {events.begin() + i, events.end()};
  }
  return {};
}

std::string handleText(HWND window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%jx",
                static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

std::size_t countOf(UINT message) {
  std::size_t n = 0;
  for (const Event& e : events) n += e.message == message;
  return n;
}

class ModalRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    toolkitStartup();
    events.clear();
    depth = 0;
    reaction = DismissOnCancel;
    dialog = createDialog(UNIT_MODE_DIALOG, nullptr, "File TX.txt", COORD_OMITTED, COORD_OMITTED,
                          80, 75, WS_CAPTION | WS_SYSMENU, 0);
    ASSERT_NE(dialog, nullptr);
    addControl(TextBox, dialog, kBoxId, "1", 60, 45, 20, 14, WS_BORDER, 0, nullptr);
    addControl(PushButton, dialog, IDCANCEL, "&Close", 0, 60, 80, 14, 0, 0, nullptr);
  }
  void TearDown() override {
    reaction = nullptr;
    for (HWND d : fake::liveDialogs()) platform::DestroyWindow(d);
    EXPECT_EQ(recordCount(), 0u) << "records outlived their windows";
    EXPECT_EQ(fake::liveBrushCount(), 0u);
    EXPECT_EQ(fake::invalidDeletes(), 0u);
  }

  HWND dialog = nullptr;
};

TEST_F(ModalRunTest, OpeningGivesOneInitialiseThenTheSizeBeforeTheWindowShows) {
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);

  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(countOf(WM_INITDIALOG), 1u) << "the platform's own WM_INITDIALOG never reaches it";
  EXPECT_EQ(events[0].message, UINT{WM_INITDIALOG});
  EXPECT_EQ(events[0].wParam, reinterpret_cast<WPARAM>(dialog));
  EXPECT_EQ(events[0].lParam, 0);
  EXPECT_FALSE(events[0].visible);
  EXPECT_EQ(events[1].message, UINT{WM_SIZE});
  EXPECT_EQ(events[1].wParam, WPARAM{SIZE_RESTORED});
  // 80 by 75 dialog units with base units of 6 by 13: 120 by 122 pixels.
  EXPECT_EQ(events[1].lParam, (122 << 16) | 120);
  EXPECT_FALSE(events[1].visible);
  EXPECT_EQ(fake::window(dialog)->lastShowCommand, SW_SHOW);
}

TEST_F(ModalRunTest, MessagesSentBeforeTheHandlerIsStoredGetOnlyTheToolkitsHandling) {
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_INITDIALOG) platform::SendMessageA(window, WM_TIMER, 0, 0);
    return DismissOnCancel(window, message, wParam, lParam);
  };
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(countOf(WM_TIMER), 0u);
}

TEST_F(ModalRunTest, HandlerNeverSeesActivation) {
  for (WPARAM state : {WA_INACTIVE, WA_ACTIVE, WA_CLICKACTIVE}) {
    fake::postMessage(dialog, WM_ACTIVATE, state, 0);
  }
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(countOf(WM_ACTIVATE), 0u) << "showing the window activates it, too";
}

TEST_F(ModalRunTest, CloseCommandGetsTheClosingMessagesNestedInsideIt) {
  const HWND closeButton = controlWindow(dialog, IDCANCEL);
  fake::postMessage(dialog, WM_TIMER, 0, 0);
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);

  const std::vector<Event> closing = from(WM_COMMAND);
  ASSERT_EQ(closing.size(), 4u);
  EXPECT_EQ(messagesOf(closing),
            (std::vector<UINT>{WM_COMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(closing[0].wParam, static_cast<WPARAM>(IDCANCEL)) << "notification 0";
  EXPECT_EQ(closing[0].lParam, reinterpret_cast<LPARAM>(closeButton));
  EXPECT_EQ(closing[0].depth, 0);
  for (std::size_t i = 1; i < closing.size(); ++i) EXPECT_EQ(closing[i].depth, 1) << i;
  EXPECT_FALSE(platform::IsWindow(dialog));
  EXPECT_EQ(countOf(WM_TIMER), 1u);
}

TEST_F(ModalRunTest, CaptionCloseBoxEndsTheRunWithoutAnyCommand) {
  fake::postCloseBox(dialog);
  runModal(dialog, RecordingHandler, nullptr);

  EXPECT_EQ(countOf(WM_COMMAND), 0u);
  const std::vector<Event> closing = from(WM_SYSCOMMAND);
  // The handler answered the system command; the closing messages follow from the
  // toolkit's own handling of it, before the loop takes another message.
  EXPECT_EQ(messagesOf(closing),
            (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(platform::IsWindow(dialog));
  EXPECT_EQ(fake::queuedMessageCount(), 0u);
}

TEST_F(ModalRunTest, EscapeBehavesExactlyLikeTheCloseButton) {
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  const std::vector<Event> byClick = events;

  SetUp();
  const HWND closeButton = controlWindow(dialog, IDCANCEL);
  fake::postKeyDown(controlWindow(dialog, kBoxId), fake::kVirtualKeyEscape);
  runModal(dialog, RecordingHandler, nullptr);

  ASSERT_EQ(events.size(), byClick.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].message, byClick[i].message) << i;
    EXPECT_EQ(events[i].depth, byClick[i].depth) << i;
    if (events[i].message == WM_COMMAND) {
      EXPECT_EQ(events[i].wParam, static_cast<WPARAM>(IDCANCEL));
      EXPECT_EQ(events[i].lParam, reinterpret_cast<LPARAM>(closeButton));
    }
  }
}

TEST_F(ModalRunTest, QuitMessageDoesNotEndTheRun) {
  fake::postMessage(nullptr, WM_QUIT, 0, 0);
  fake::postMessage(dialog, WM_TIMER, 0, 0);
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(countOf(WM_TIMER), 1u) << "the run went on after WM_QUIT";
  EXPECT_EQ(countOf(WM_COMMAND), 1u);
}

TEST_F(ModalRunTest, EmptyQueuePausesOneMillisecondBetweenPolls) {
  static int emptyPolls = 0;
  emptyPolls = 0;
  fake::whenQueueEmpty([] {
    if (++emptyPolls == 3) fake::postClick(fake::lastDialog(), IDCANCEL);
  });
  fake::clearCalls();
  runModal(dialog, RecordingHandler, nullptr);
  fake::whenQueueEmpty(nullptr);
  EXPECT_EQ(countOf(WM_COMMAND), 1u);
  std::size_t pauses = 0;
  for (const fake::Call& call : fake::calls()) {
    if (call.name == "Sleep") {
      EXPECT_EQ(call.detail, "1");
      ++pauses;
    }
  }
  EXPECT_EQ(pauses, 3u) << "one pause after each of the three empty polls";
}

TEST_F(ModalRunTest, RunOnHandleZeroGivesTheOpeningEventsAndReturnsAtOnce) {
  fake::clearCalls();
  runModal(nullptr, RecordingHandler, nullptr);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].message, UINT{WM_INITDIALOG});
  EXPECT_EQ(events[0].wParam, 0u);
  EXPECT_EQ(events[1].message, UINT{WM_SIZE});
  EXPECT_EQ(events[1].lParam, 0) << "0 by 0";
  EXPECT_EQ(fake::countOf("ShowWindow"), 0u);
  EXPECT_EQ(fake::countOf("PeekMessageA"), 0u);
}

TEST_F(ModalRunTest, DialogEndedDuringItsInitialisationIsNeverShown) {
  reaction = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_INITDIALOG) dismissDialog(window, 0);
    return 0;
  };
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(fake::countOf("ShowWindow"), 0u);
  EXPECT_FALSE(platform::IsWindow(dialog));
}

TEST_F(ModalRunTest, DialogEndedWhileBeingShownEndsTheRunWithoutWaiting) {
  reaction = [](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_CTLCOLORDLG) dismissDialog(window, 0);  // during the first paint
    return 0;
  };
  runModal(dialog, RecordingHandler, nullptr);  // an empty queue: a wait would never end
  EXPECT_FALSE(platform::IsWindow(dialog));
}

TEST_F(ModalRunTest, RecordsAndTheColouredBoxsBrushAreReleasedAtTheEnd) {
  setControlColors(dialog, kBoxId, 255, static_cast<std::int32_t>(0x00E1FFFF));
  const HBRUSH brush = findRecord(controlWindow(dialog, kBoxId))->backgroundBrush;
  HWND box = controlWindow(dialog, kBoxId);
  HWND button = controlWindow(dialog, IDCANCEL);
  EXPECT_EQ(recordCount(), 3u);
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(recordCount(), 0u);
  EXPECT_EQ(findRecord(dialog), nullptr);
  EXPECT_EQ(findRecord(box), nullptr);
  EXPECT_EQ(findRecord(button), nullptr);
  EXPECT_FALSE(fake::isLiveBrush(brush));
}

TEST_F(ModalRunTest, RecordsAreReleasedEvenWhenTheHandlerAnswersTheLastMessage) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    DismissOnCancel(window, message, wParam, lParam);
    return message == WM_NCDESTROY ? 1 : 0;
  };
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(recordCount(), 0u);
  EXPECT_EQ(fake::liveBrushCount(), 0u);
}

TEST_F(ModalRunTest, PaintingColoursOnlyTheColouredBox) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  fake::postClick(dialog, IDCANCEL);
  const fake::Window* box = fake::window(controlWindow(dialog, kBoxId));
  const HBRUSH brush = findRecord(controlWindow(dialog, kBoxId))->backgroundBrush;
  const fake::Window* button = fake::window(controlWindow(dialog, IDCANCEL));
  runModal(dialog, RecordingHandler, nullptr);  // ShowWindow paints once
  EXPECT_EQ(box->lastPaint.message, UINT{WM_CTLCOLOREDIT});
  EXPECT_EQ(box->lastPaint.answer, reinterpret_cast<INT_PTR>(brush));
  EXPECT_EQ(box->lastPaint.colours.textColour, 255u);
  EXPECT_EQ(box->lastPaint.colours.backgroundColour, 0x00E1FFFFu);
  EXPECT_TRUE(button->lastPaint.asked);
  EXPECT_EQ(button->lastPaint.answer, 0);
  EXPECT_EQ(fake::window(dialog)->lastPaint.answer, 0);
  EXPECT_EQ(countOf(WM_CTLCOLOREDIT), 1u) << "colour requests reach the handler first";
}

TEST_F(ModalRunTest, HandlersAnswerWinsOverTheToolkitsOwnHandling) {
  setControlColors(dialog, kBoxId, 255, 0x00E1FFFF);
  static const INT_PTR kOwnBrush =
      static_cast<INT_PTR>(sizeof(void*) == 8 ? 0x7EAD00001234 : 0x1234);
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_CTLCOLOREDIT) return kOwnBrush;
    if (message == WM_SYSCOMMAND) return 1;  // the handler keeps the window open
    return DismissOnCancel(window, message, wParam, lParam);
  };
  const fake::Window* box = fake::window(controlWindow(dialog, kBoxId));
  fake::postCloseBox(dialog);
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(box->lastPaint.answer, kOwnBrush) << "a pointer-sized answer comes back whole";
  EXPECT_EQ(countOf(WM_COMMAND), 1u) << "the close box did not end the run";
}

TEST_F(ModalRunTest, NonZeroResultIsStoredAsTheMessageResultUnlessTheHandlerStoredOne) {
  static LRESULT plain = 0;
  static LRESULT own = 0;
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    switch (message) {
      case WM_TIMER:
        plain = platform::SendMessageA(window, WM_USER + 1, 0, 0);
        own = platform::SendMessageA(window, WM_USER + 2, 0, 0);
        return 0;
      case WM_USER + 1:
        return 5;
      case WM_USER + 2:
        platform::SetWindowLongA(window, DWL_MSGRESULT, 77);
        return 1;
    }
    return DismissOnCancel(window, message, wParam, lParam);
  };
  fake::postMessage(dialog, WM_TIMER, 0, 0);
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(plain, 5);
  EXPECT_EQ(own, 77);
}

TEST_F(ModalRunTest, DismissStoresTheEndResultInTheResultPlace) {
  std::int32_t result = -1;
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) dismissDialog(window, 42);
    return 0;
  };
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, &result);
  EXPECT_EQ(result, 42);
}

TEST_F(ModalRunTest, NoCancelCommandFollowsTheCloseOfAWindowThatCouldNotBeDestroyed) {
  constexpr UINT kMarker = WM_USER + 5;
  fake::failNext("DestroyWindow");
  static bool clickedAgain = false;
  clickedAgain = false;
  fake::whenQueueEmpty([] {
    if (clickedAgain) return;
    clickedAgain = true;
    fake::postMessage(fake::lastDialog(), kMarker, 0, 0);
    fake::postClick(fake::lastDialog(), IDCANCEL);
  });
  fake::postClick(dialog, IDCANCEL);
  fake::postMessage(dialog, WM_TIMER, 0, 0);
  runModal(dialog, RecordingHandler, nullptr);
  fake::whenQueueEmpty(nullptr);
  // The first close failed and the run went on; nothing arrived until the next click.
  EXPECT_EQ(messagesOf(from(WM_COMMAND)),
            (std::vector<UINT>{WM_COMMAND, WM_CLOSE, WM_TIMER, kMarker, WM_COMMAND, WM_CLOSE,
                               WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(ModalRunTest, HandlerThatEndsTheDialogOnCloseIsAskedOnce) {
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_CLOSE) dismissDialog(window, 0);  // classic dialog code
    return DismissOnCancel(window, message, wParam, lParam);
  };
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(countOf(WM_CLOSE), 1u);
  EXPECT_EQ(countOf(WM_NCDESTROY), 1u);
  EXPECT_FALSE(platform::IsWindow(dialog));
}

TEST_F(ModalRunTest, DismissOnAWindowWithoutRecordStillClosesAndDestroysIt) {
  HWND plain = platform::CreateDialogIndirectParamA(
      nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(fake::window(dialog)->templateBytes.data()),
      nullptr, toolkitDialogProc, 0);
  ASSERT_NE(plain, nullptr);
  fake::clearCalls();
  dismissDialog(plain, 3);
  EXPECT_FALSE(platform::IsWindow(plain));
  EXPECT_EQ(fake::calls()[0].name, "SendMessageA");
  EXPECT_NE(fake::calls()[0].detail.find("WM_CLOSE"), std::string::npos);
}

TEST_F(ModalRunTest, MessageBoxLetsTicksThroughNestedInsideTheCommandThatShowedIt) {
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_COMMAND && (wParam & 0xFFFF) == kBoxId) {
      showMessageBox("Comport not available", MB_ICONERROR, "Comport");
    }
    return DismissOnCancel(window, message, wParam, lParam);
  };
  fake::whileMessageBoxUp([](const fake::MessageBoxCall&) {
    fake::postMessage(fake::lastDialog(), WM_TIMER, 0, 0);
    fake::dispatchQueuedMessages();
    fake::postClick(fake::lastDialog(), IDCANCEL);  // for the main loop, after the box
  });
  fake::postMessage(dialog, WM_COMMAND, kBoxId, 0);
  runModal(dialog, RecordingHandler, nullptr);
  const std::vector<Event> box = from(WM_COMMAND);
  ASSERT_GE(box.size(), 2u);
  EXPECT_EQ(box[0].wParam, static_cast<WPARAM>(kBoxId));
  EXPECT_EQ(box[1].message, UINT{WM_TIMER});
  EXPECT_EQ(box[1].depth, 1);
}

struct ShowCase {
  DWORD style;
  int showCommand;
  WPARAM sizeType;
};

TEST_F(ModalRunTest, ShowCommandAndOpeningSizeTypeFollowMaximizeAndMinimize) {
  const ShowCase cases[] = {
      {WS_CAPTION, SW_SHOW, SIZE_RESTORED},
      {WS_CAPTION | WS_MAXIMIZE, SW_SHOWMAXIMIZED, SIZE_MAXIMIZED},
      {WS_CAPTION | WS_MINIMIZE, SW_MINIMIZE, SIZE_MINIMIZED},
      {WS_CAPTION | WS_MAXIMIZE | WS_MINIMIZE, SW_SHOWMAXIMIZED, SIZE_MAXIMIZED},
  };
  for (const ShowCase& c : cases) {
    events.clear();
    HWND d = createDialog(UNIT_MODE_DIALOG, nullptr, "d", 0, 0, 40, 40, c.style, 0);
    fake::postKeyDown(d, fake::kVirtualKeyEscape);
    runModal(d, RecordingHandler, nullptr);
    EXPECT_EQ(fake::window(d)->lastShowCommand, c.showCommand) << std::hex << c.style;
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[1].wParam, c.sizeType) << std::hex << c.style;
  }
}

// ---- Owner ------------------------------------------------------------------------------------

TEST_F(ModalRunTest, WithoutOwnerNoWindowIsDisabledNotifiedOrFocused) {
  fake::postClick(dialog, IDCANCEL);
  runModal(dialog, RecordingHandler, nullptr);
  EXPECT_EQ(fake::countOf("EnableWindow"), 0u);
  EXPECT_EQ(fake::countOf("SetFocus"), 0u);
  for (const fake::Call& call : fake::calls()) {
    EXPECT_EQ(call.detail.find("WM_ENTERIDLE"), std::string::npos);
    EXPECT_EQ(call.detail.find("WM_CANCELMODE"), std::string::npos);
  }
}

TEST_F(ModalRunTest, OwnerIsDisabledDuringTheRunAndGetsTheFocusAfterIt) {
  HWND owned = createDialog(UNIT_MODE_DIALOG, dialog, "owned", 0, 0, 40, 40, 0, 0);
  ASSERT_NE(owned, nullptr);
  static bool ownerEnabledDuringRun = true;
  static HWND ownerWindow = nullptr;
  ownerWindow = dialog;
  reaction = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
    if (message == WM_TIMER) ownerEnabledDuringRun = fake::window(ownerWindow)->enabled;
    return DismissOnCancel(window, message, wParam, lParam);
  };
  fake::postMessage(owned, WM_TIMER, 0, 0);
  fake::whenQueueEmpty([] { fake::postClick(fake::lastDialog(), IDCANCEL); });
  runModal(owned, RecordingHandler, nullptr);
  fake::whenQueueEmpty(nullptr);
  EXPECT_FALSE(ownerEnabledDuringRun);
  EXPECT_TRUE(fake::window(dialog)->enabled) << "enabled again by dismissDialog";
  EXPECT_EQ(fake::focusWindow(), dialog);
  const std::string ownerText = handleText(dialog);
  bool cancelModeSent = false;
  bool idleSent = false;
  for (const fake::Call& call : fake::calls()) {
    cancelModeSent |= call.detail == ownerText + " WM_CANCELMODE 0x0 0x0";
    idleSent |= call.detail == ownerText + " WM_ENTERIDLE 0x0 " + handleText(owned);
  }
  EXPECT_TRUE(cancelModeSent);
  EXPECT_TRUE(idleSent) << "the owner hears that the dialog is idle";
  EXPECT_NE(findRecord(dialog), nullptr) << "the owner's records stay";
}

}  // namespace
