// Headless message boxes: recorded, answered from the test script or with
// the default button.
#include "core/Controls.h"

#include <winuser.h>

#include <array>

namespace platform {
namespace {

// The buttons of each box type, in order.
constexpr std::array<std::array<int, 3>, 6> kButtons{{
    {IDOK, 0, 0},
    {IDOK, IDCANCEL, 0},
    {IDABORT, IDRETRY, IDIGNORE},
    {IDYES, IDNO, IDCANCEL},
    {IDYES, IDNO, 0},
    {IDRETRY, IDCANCEL, 0},
}};

int DefaultButton(UINT type) {
    const UINT kind = type & MB_TYPEMASK;
    if (kind >= kButtons.size()) return IDOK;
    const auto& buttons = kButtons[kind];
    const UINT index = (type & MB_DEFMASK) >> 8;
    if (index < buttons.size() && buttons[index] != 0) return buttons[index];
    return buttons[0];
}

}  // namespace
}  // namespace platform

WINBASEAPI int WINAPI MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    if (platform::FailNow("MessageBoxA")) return 0;
    auto answer = platform::RecordMessageBox(lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
    return answer.value_or(platform::DefaultButton(uType));
}

WINBASEAPI BOOL WINAPI MessageBeep(UINT uType) {
    platform::RecordMessageBeep(uType);
    return TRUE;
}
