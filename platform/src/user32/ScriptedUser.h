// The scripted user of tests: steps that act on the dialog in front (press a
// control, answer a message box, press a key, move a trackbar, take a
// picture), taken when the thread's queue is empty; a dialog that waits for
// a step longer than the time-out fails with a picture of it.
#pragma once

#include <windows.h>

#include <string>

namespace platform::user {

// A modal dialog, a message box or a modeless property sheet came up on
// this thread.
void ScriptDialogShown(HWND dialog);
// Whether a script drives this process (then message boxes wait for it).
bool ScriptActive();
// A line of the user-interface log (PLATFORM_UI_LOG), if one is kept.
void UiLog(const std::string& line);

}  // namespace platform::user
