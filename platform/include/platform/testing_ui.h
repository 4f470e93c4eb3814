// Test controls of the window layer: the scripted user, pictures of windows
// and the machine's language.
//
// Steps (also PLATFORM_UI_SCRIPT, separated by ';'), taken in order when the
// thread's queue is empty and the dialog in front matches; DLG is a dialog
// template number (a property sheet matches the template of the page it
// shows, whose controls the steps reach too), "box" a message box, or left
// out for any dialog:
//   press:[DLG:]ID          click the control ID (a button)
//   answer:ID               click button ID (IDOK, IDYES...) of a message box
//   click:[DLG:]ID          a mouse click on the control (through the X server
//                           on a display)
//   key:[DLG:]NAME          tab, enter, escape, space, left, right, up, down
//   trackbar:[DLG:]ID:POS   move a trackbar's thumb to POS
//   page:[DLG:]INDEX        click the tab of a property sheet's page INDEX
//   picture:[DLG:]PATH      write a PNG picture of the dialog in front
//   screenshot:[DLG:]PATH   write a PNG picture of the whole X screen
//   after:MS                wait until MS ms have passed since the last step
// A dialog in front that no step serves within the time-out (PLATFORM_UI_TIMEOUT_MS,
// 20 s) is pictured (in PLATFORM_UI_PICTURES, else $TMPDIR) and the process
// ends with status 3, or the handler given here is called and the dialog
// ends with IDCANCEL. Without a script, message boxes take their default
// button (or the answers of QueueMessageBoxAnswer) and other dialogs time
// out, except on a display (PLATFORM_DISPLAY=x11), where a person answers.
// PLATFORM_UI_LOG names a file that gets a line for each dialog shown, each
// message box and each step taken.
#pragma once

#include <windef.h>

#include <functional>
#include <string>
#include <vector>

namespace platform::testing {

PLATFORM_EXPORT void ScriptUser(const std::vector<std::string>& steps);
PLATFORM_EXPORT void StopScriptingUser();
PLATFORM_EXPORT size_t PendingUserSteps();
PLATFORM_EXPORT void SetUserTimeout(DWORD milliseconds, std::function<void(const std::string& picture)> onTimeout);
PLATFORM_EXPORT void SetUserPictures(const std::string& folder);
// Paints the window's top-level window and writes it as a PNG file.
PLATFORM_EXPORT bool RenderWindow(HWND window, const std::string& pngPath);
// The language GetSystemDefaultLangID reports (also PLATFORM_LANGID); 0: the
// machine's locale.
PLATFORM_EXPORT void SetLanguage(WORD langId);
// The pixels (0xRRGGBB) of a PNG file, row by row; empty when it cannot be read.
PLATFORM_EXPORT std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height);

}  // namespace platform::testing
