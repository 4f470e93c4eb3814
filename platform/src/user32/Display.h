// The display: headless (nothing to show) or an X11 server, where each
// visible top-level window is an X11 window showing its backing surface and
// mouse and keyboard input become messages of the window's thread.
#pragma once

#include "user32/WindowManager.h"

namespace platform::user {

bool DisplayEnabled();
// The screen windows are centred on: the display's, else 1280 x 1024.
RECT ScreenArea();
void DisplayShowWindow(Window& window, bool show);
void DisplayMoveWindow(Window& window);
void DisplayDestroyWindow(Window& window);
void DisplayRaise(Window& window);
// Copies the painted surface to the screen.
void DisplayPresent(Window& window);
// A click of the first mouse button at a point of the window (window
// coordinates), sent through the X server; false without a display.
bool DisplayClick(Window& window, int x, int y);
// Writes the whole screen as a PNG file; false without a display.
bool DisplayScreenshot(const std::string& path);

}  // namespace platform::user
