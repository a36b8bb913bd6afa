// What toolkit start-up leaves for the rest of the toolkit.
#pragma once

#include "platform/platform.h"

// The module instance passed to every window creation.
HINSTANCE toolkitInstance();
