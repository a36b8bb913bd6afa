// window_facts.exe: what Windows itself says about a top-level window of another
// process, for the end-to-end tests that drive fileptt.exe from outside. The tests run
// it under Wine beside the program (same prefix, same wineserver).
//
//   window_facts show <caption>      prints key=value lines (below) and exit code 0,
//                                     or exit code 3 when no such window exists
//   window_facts move <caption> x y  moves the window without activating it
//
// "show" prints:
//   style=0x... exstyle=0x... owner=0x...   GetWindowLongA and GW_OWNER
//   window=l t r b  client=l t r b          screen coordinates
//   screen=w h  workarea=l t r b            primary monitor
//   infobk=r g b                            the system colour COLOR_INFOBK
//   caption=CODE CODE ...                   WM_NCHITTEST along the caption's middle row,
//                                           left to right, equal neighbours merged
//   frame=CODE ...                          the distinct answers along the outer edge
//   closebox=l t r b                        the points that answered HTCLOSE
//   child=<id> <class> 0x<style> l t r b <text>   one line per child window
// The hit tests ask the window's own procedure, so they show which buttons the window
// has as the platform sees them, whatever draws them.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const std::map<LRESULT, const char*> kHitNames = {
    {HTERROR, "HTERROR"},       {HTTRANSPARENT, "HTTRANSPARENT"},
    {HTNOWHERE, "HTNOWHERE"},   {HTCLIENT, "HTCLIENT"},
    {HTCAPTION, "HTCAPTION"},   {HTSYSMENU, "HTSYSMENU"},
    {HTGROWBOX, "HTGROWBOX"},   {HTMENU, "HTMENU"},
    {HTHSCROLL, "HTHSCROLL"},   {HTVSCROLL, "HTVSCROLL"},
    {HTMINBUTTON, "HTMINBUTTON"}, {HTMAXBUTTON, "HTMAXBUTTON"},
    {HTLEFT, "HTLEFT"},         {HTRIGHT, "HTRIGHT"},
    {HTTOP, "HTTOP"},           {HTTOPLEFT, "HTTOPLEFT"},
    {HTTOPRIGHT, "HTTOPRIGHT"}, {HTBOTTOM, "HTBOTTOM"},
    {HTBOTTOMLEFT, "HTBOTTOMLEFT"}, {HTBOTTOMRIGHT, "HTBOTTOMRIGHT"},
    {HTBORDER, "HTBORDER"},     {HTCLOSE, "HTCLOSE"},
    {HTHELP, "HTHELP"},
};

std::string hitName(LRESULT code) {
  auto found = kHitNames.find(code);
  return found != kHitNames.end() ? found->second : "HT" + std::to_string(code);
}

// Asks the window's own procedure; a hung program answers HTERROR here instead of
// hanging the test.
LRESULT hitTest(HWND window, int x, int y) {
  DWORD_PTR answer = HTERROR;
  if (!SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000,
                           &answer))
    return HTERROR;
  return static_cast<LRESULT>(answer);
}

void printRect(const char* key, const RECT& r) {
  std::printf("%s=%ld %ld %ld %ld\n", key, r.left, r.top, r.right, r.bottom);
}

BOOL CALLBACK printChild(HWND child, LPARAM) {
  char className[64] = "";
  GetClassNameA(child, className, sizeof className);
  char text[512] = "";
  DWORD_PTR length = 0;
  // WM_GETTEXT reaches the control's own text in another process too.
  SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                      SMTO_ABORTIFHUNG, 2000, &length);
  RECT r{};
  GetWindowRect(child, &r);
  std::printf("child=%d %s 0x%08lx %ld %ld %ld %ld %s\n", GetDlgCtrlID(child), className,
              static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), r.left, r.top,
              r.right, r.bottom, text);
  return TRUE;
}

int show(HWND window) {
  RECT outer{};
  GetWindowRect(window, &outer);
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&client, origin.x, origin.y);
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);

  std::printf("style=0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)));
  std::printf("exstyle=0x%08lx\n",
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));
  std::printf("owner=0x%llx\n",
              static_cast<unsigned long long>(
                  reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))));
  printRect("window", outer);
  printRect("client", client);
  std::printf("screen=%d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  printRect("workarea", work);
  const COLORREF infoBackground = GetSysColor(COLOR_INFOBK);
  std::printf("infobk=%d %d %d\n", GetRValue(infoBackground), GetGValue(infoBackground),
              GetBValue(infoBackground));

  // The caption's middle row, from the outer left edge to the outer right edge.
  const int row = (outer.top + client.top) / 2;
  std::vector<std::string> caption;
  RECT closeBox{outer.right, outer.bottom, outer.left, outer.top};
  for (int x = outer.left; x < outer.right; ++x) {
    const LRESULT code = hitTest(window, x, row);
    const std::string name = hitName(code);
    if (caption.empty() || caption.back() != name) caption.push_back(name);
    if (code == HTCLOSE) {
      closeBox.left = std::min<LONG>(closeBox.left, x);
      closeBox.right = std::max<LONG>(closeBox.right, x + 1);
    }
  }
  std::printf("caption=");
  for (std::size_t i = 0; i < caption.size(); ++i)
    std::printf("%s%s", i ? " " : "", caption[i].c_str());
  std::printf("\n");
  if (closeBox.left < closeBox.right) {
    const int column = (closeBox.left + closeBox.right) / 2;
    for (int y = outer.top; y < client.top; ++y) {
      if (hitTest(window, column, y) != HTCLOSE) continue;
      closeBox.top = std::min<LONG>(closeBox.top, y);
      closeBox.bottom = std::max<LONG>(closeBox.bottom, y + 1);
    }
    printRect("closebox", closeBox);
  }

  // The outer edge: a resizable window answers HTLEFT, HTTOP and the like here.
  std::set<std::string> frame;
  for (int x = outer.left; x < outer.right; ++x) {
    frame.insert(hitName(hitTest(window, x, outer.top)));
    frame.insert(hitName(hitTest(window, x, outer.bottom - 1)));
  }
  for (int y = outer.top; y < outer.bottom; ++y) {
    frame.insert(hitName(hitTest(window, outer.left, y)));
    frame.insert(hitName(hitTest(window, outer.right - 1, y)));
  }
  std::printf("frame=");
  bool first = true;
  for (const std::string& name : frame) {
    std::printf("%s%s", first ? "" : " ", name.c_str());
    first = false;
  }
  std::printf("\n");

  EnumChildWindows(window, printChild, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_facts show <caption> | move <caption> <x> <y>\n");
    return 2;
  }
  const std::string command = argv[1];
  HWND window = FindWindowA(nullptr, argv[2]);
  if (!window) {
    std::fprintf(stderr, "window_facts: no window \"%s\"\n", argv[2]);
    return 3;
  }
  if (command == "show") {
    const int result = show(window);
    std::fflush(stdout);
    return result;
  }
  if (command == "move" && argc == 5) {
    const BOOL moved = SetWindowPos(window, nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return moved ? 0 : 1;
  }
  std::fprintf(stderr, "window_facts: unknown command %s\n", command.c_str());
  return 2;
}
