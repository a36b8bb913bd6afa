// fileptt: keys a transmitter's PTT (RTS and DTR of a serial port) while a file named
// TX.txt exists in the current directory.
#include "app/main_window.h"
#include "toolkit/toolkit.h"

int main() {
  toolkitStartup();
  return runMainWindow();
}
