// The display: headless (nothing to show) or an X11 server, where each
// visible top-level window is an X11 window showing its backing surface and
// mouse and keyboard input become messages of the window's thread.
#pragma once

#include "user32/WindowManager.h"

namespace platform::user {

bool DisplayEnabled();
void DisplayShowWindow(Window& window, bool show);
void DisplayMoveWindow(Window& window);
void DisplayDestroyWindow(Window& window);
void DisplayRaise(Window& window);
// Copies the painted surface to the screen.
void DisplayPresent(Window& window);

}  // namespace platform::user
