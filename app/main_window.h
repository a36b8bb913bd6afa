// The start-up routine: builds the main window, binds the controller's window
// operations to the toolkit and runs the window until it is gone.
#pragma once

// Returns the process exit code: 0 once the window has been closed, 1 when no window
// could be made.
int runMainWindow();
