// Controls of dialogs: drop-down lists picked with the keyboard and the
// mouse, what they tell their parent, how they look.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>> commands;  // (control, notification)

INT_PTR CALLBACK RecordProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND) {
        commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

class UiControls : public ::testing::Test {
protected:
    void SetUp() override {
        commands.clear();
        dialog_ = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(104), nullptr, RecordProc, 0);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
    }
    void TearDown() override {
        if (IsWindow(dialog_)) DestroyWindow(dialog_);
        platform::testing::StopScriptingUser();
    }
    // A key as the dialog's message loop sees it.
    void Key(WPARAM key) {
        PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
        Pump();
    }
    void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog_, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    static void Click(HWND window, int x, int y) {
        SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELONG(x, y));
        SendMessageA(window, WM_LBUTTONUP, 0, MAKELONG(x, y));
    }
    // Notifications the drop-down list sent, in order.
    static std::vector<int> Notifications(int id) {
        std::vector<int> codes;
        for (auto [control, code] : commands)
            if (control == id) codes.push_back(code);
        return codes;
    }
    HWND List() {
        HWND list = GetDlgItem(dialog_, 30);
        for (const char* entry : {"75", "150", "300", "600"}) SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        return list;
    }
    HWND dialog_ = nullptr;
};

TEST_F(UiControls, DropDownListHoldsEntriesAndSelectsQuietly) {
    HWND list = List();
    commands.clear();  // the focus it got when the dialog opened
    // The window is the field; the template's height is for the dropped list.
    RECT field{};
    GetWindowRect(list, &field);
    EXPECT_LT(field.bottom - field.top, 30);
    EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 2, 0), 2);
    char text[16] = {};
    GetWindowTextA(list, text, sizeof text);
    EXPECT_STREQ(text, "300");
    EXPECT_EQ(SendMessageA(list, CB_GETLBTEXTLEN, 3, 0), 3);
    SendMessageA(list, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "150");
    EXPECT_EQ(SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("600")), 3);
    EXPECT_EQ(SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("60")), CB_ERR);
    EXPECT_EQ(SendMessageA(list, CB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("60")), 3);
    SendMessageA(list, CB_SETITEMDATA, 1, 150);
    EXPECT_EQ(SendMessageA(list, CB_GETITEMDATA, 1, 0), 150);
    // Inserting before the selection keeps the same entry selected.
    SendMessageA(list, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("50"));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendMessageA(list, CB_SETCURSEL, 9, 0), CB_ERR);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), CB_ERR);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 0);
    // None of it was the user's doing: the parent heard nothing.
    EXPECT_TRUE(Notifications(30).empty());
}

TEST_F(UiControls, DropDownListPickedWithKeysAndMouse) {
    HWND list = List();
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    SetFocus(list);
    commands.clear();
    // Closed: arrows move the selection and tell the parent; no move, no word.
    Key(VK_DOWN);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 1);
    Key(VK_UP);
    Key(VK_UP);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Notifications(30), (std::vector<int>{CBN_SELCHANGE, CBN_SELCHANGE}));
    // Dropped: arrows move the highlight only; Enter picks and stays in the list.
    commands.clear();
    Key(VK_F4);
    EXPECT_TRUE(SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0));
    Key(VK_DOWN);
    Key(VK_DOWN);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
    Key(VK_RETURN);
    EXPECT_FALSE(SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Notifications(30), (std::vector<int>{CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
    EXPECT_TRUE(Notifications(IDOK).empty());
    // Escape in the dropped list cancels it, not the dialog.
    commands.clear();
    Key(VK_F4);
    Key(VK_UP);
    Key(VK_ESCAPE);
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Notifications(30), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_TRUE(Notifications(IDCANCEL).empty());
    // The mouse: a click drops the list below the field, a click on a row picks it.
    commands.clear();
    Click(list, 10, 5);
    HWND dropped = GetCapture();
    ASSERT_NE(dropped, nullptr);
    RECT field{}, rows{};
    GetWindowRect(list, &field);
    GetWindowRect(dropped, &rows);
    EXPECT_EQ(rows.top, field.bottom);
    const int rowHeight = static_cast<int>(SendMessageA(list, CB_GETITEMHEIGHT, 0, 0));
    Click(dropped, 10, rowHeight * 3 + rowHeight / 2);
    EXPECT_FALSE(IsWindow(dropped));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(Notifications(30), (std::vector<int>{CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}));
    // A click outside the dropped list closes it unchanged.
    Click(list, 10, 5);
    dropped = GetCapture();
    ASSERT_NE(dropped, nullptr);
    Click(dropped, -20, -20);
    EXPECT_FALSE(IsWindow(dropped));
    EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 3);
}

TEST_F(UiControls, DropDownListDrawsItsSelection) {
    HWND list = List();
    SendMessageA(list, CB_SETCURSEL, 3, 0);
    SetFocus(nullptr);
    const std::string path = platform::testing::Root() + "/list.png";
    ASSERT_TRUE(platform::testing::RenderWindow(dialog_, path));
    HDC dc = GetDC(list);
    RECT client{};
    GetClientRect(list, &client);
    // White field with dark text, the button's face at the right.
    int ink = 0;
    for (int x = 3; x < client.right - 20; ++x)
        for (int y = 3; y < client.bottom - 3; ++y)
            if (GetRValue(GetPixel(dc, x, y)) < 100) ++ink;
    EXPECT_GT(ink, 5);
    EXPECT_EQ(GetPixel(dc, client.right - 30, 4), RGB(255, 255, 255));
    ReleaseDC(list, dc);
    // Focused, the selection is highlighted.
    SetFocus(list);
    platform::testing::RenderWindow(dialog_, path);
    dc = GetDC(list);
    EXPECT_EQ(GetPixel(dc, client.right - 30, client.bottom / 2), RGB(10, 36, 106));
    ReleaseDC(list, dc);
    // The dropped list: the highlighted row.
    SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
    HWND dropped = GetCapture();
    ASSERT_NE(dropped, nullptr);
    ASSERT_TRUE(platform::testing::RenderWindow(dropped, path));
    const int rowHeight = static_cast<int>(SendMessageA(list, CB_GETITEMHEIGHT, 0, 0));
    dc = GetDC(dropped);
    EXPECT_EQ(GetPixel(dc, 50, rowHeight * 3 + 1), RGB(10, 36, 106));
    EXPECT_EQ(GetPixel(dc, 50, rowHeight * 1 + 1), RGB(255, 255, 255));
    ReleaseDC(dropped, dc);
    SendMessageA(list, CB_SHOWDROPDOWN, FALSE, 0);
}

}  // namespace
