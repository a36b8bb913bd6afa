/* desktop_keeper.exe: keeps Wine's desktop open for a whole test run.
 * Wine closes the desktop one second after its last user process ends, and every test
 * program that loads USER32 then starts explorer.exe anew and, with it, waits for that
 * second again. This program joins the desktop and sleeps until wineserver -k ends it.
 * Built by scripts/windows/test.sh with the MinGW-w64 compiler. */
#include <windows.h>

int main(void) {
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
