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

namespace {

std::vector<std::pair<UINT, int>> scrolls;  // (message, code) the window heard
int sizes = 0;

LRESULT CALLBACK ScrolledProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HSCROLL || message == WM_VSCROLL) scrolls.emplace_back(message, LOWORD(wParam));
    if (message == WM_VSCROLL && LOWORD(wParam) == SB_THUMBPOSITION) scrolls.emplace_back(0, HIWORD(wParam));
    if (message == WM_SIZE) ++sizes;
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class UiScrollBars : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA cls{};
        cls.lpfnWndProc = ScrolledProc;
        cls.lpszClassName = "Scrolled";
        cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_WINDOW + 1));
        RegisterClassA(&cls);
        top_ = CreateWindowExA(0, "Scrolled", "Top", WS_POPUP | WS_VISIBLE, 10, 10, 300, 300, nullptr, nullptr,
                               nullptr, nullptr);
        window_ = CreateWindowExA(0, "Scrolled", "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 20, 20, 200,
                                  200, top_, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        scrolls.clear();
        sizes = 0;
    }
    void TearDown() override {
        DestroyWindow(top_);
        UnregisterClassA("Scrolled", nullptr);
    }
    void Press(int x, int y, UINT message = WM_LBUTTONDOWN) {
        PostMessageA(window_, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELONG(x, y));
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    RECT Client() {
        RECT r{};
        GetClientRect(window_, &r);
        return r;
    }
    HWND top_ = nullptr;
    HWND window_ = nullptr;
};

TEST_F(UiScrollBars, RangesPagesAndPositions) {
    // Shown from the start; an empty range takes a bar away and the client grows.
    EXPECT_EQ(Client().right, 200 - 16);
    EXPECT_EQ(Client().bottom, 200 - 16);
    SetScrollRange(window_, SB_HORZ, 0, 0, TRUE);
    EXPECT_EQ(Client().bottom, 200);
    EXPECT_EQ(sizes, 1);
    // Positions stay inside the range, less the page.
    SetScrollRange(window_, SB_VERT, 0, 24, TRUE);
    EXPECT_EQ(SetScrollPos(window_, SB_VERT, 30, TRUE), 0);
    EXPECT_EQ(GetScrollPos(window_, SB_VERT), 24);
    SCROLLINFO info{sizeof info, SIF_PAGE, 0, 0, 10, 0, 0};
    EXPECT_EQ(SetScrollInfo(window_, SB_VERT, &info, TRUE), 15);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(window_, SB_VERT, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, 24);
    EXPECT_EQ(info.nPage, 10u);
    EXPECT_EQ(info.nPos, 15);
    int low = -1, high = -1;
    EXPECT_TRUE(GetScrollRange(window_, SB_VERT, &low, &high));
    EXPECT_EQ(high, 24);
    // Asked to stay, a bar with nothing to scroll stays (disabled).
    info = SCROLLINFO{sizeof info, SIF_RANGE | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
    EXPECT_EQ(Client().right, 200 - 16);
    ShowScrollBar(window_, SB_VERT, FALSE);
    EXPECT_EQ(Client().right, 200);
}

TEST_F(UiScrollBars, ArrowsTrackAndThumbTellTheWindow) {
    SetScrollRange(window_, SB_HORZ, 0, 0, TRUE);
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
    const RECT client = Client();
    const int bar = client.right + 8;
    struct Case {
        const char* what;
        int y;
        int code;
    };
    const Case cases[] = {
        {"up arrow", 8, SB_LINEUP},
        {"down arrow", client.bottom - 8, SB_LINEDOWN},
        {"track below the thumb", client.bottom / 2, SB_PAGEDOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scrolls.clear();
        Press(bar, c.y);
        EXPECT_EQ(scrolls, (std::vector<std::pair<UINT, int>>{{WM_VSCROLL, c.code}, {WM_VSCROLL, SB_ENDSCROLL}}));
    }
    // The window moves the bar itself; the thumb then sits lower, and a
    // press above it pages up.
    SetScrollPos(window_, SB_VERT, 60, TRUE);
    scrolls.clear();
    Press(bar, 24);
    EXPECT_EQ(scrolls.front(), (std::pair<UINT, int>{WM_VSCROLL, SB_PAGEUP}));
    // Dragging the thumb to the end: track, position, end; the position is
    // the last one.
    SetScrollPos(window_, SB_VERT, 0, TRUE);
    scrolls.clear();
    Press(bar, 16 + 5);
    Press(bar, client.bottom + 40, WM_MOUSEMOVE);
    Press(bar, client.bottom + 40, WM_LBUTTONUP);
    EXPECT_EQ(scrolls, (std::vector<std::pair<UINT, int>>{{WM_VSCROLL, SB_THUMBTRACK},
                                                           {WM_VSCROLL, SB_THUMBPOSITION},
                                                           {0, 90},
                                                           {WM_VSCROLL, SB_ENDSCROLL}}));
    EXPECT_EQ(GetCapture(), nullptr);
    // Presses inside the client area are the window's own.
    scrolls.clear();
    Press(10, 10);
    EXPECT_TRUE(scrolls.empty());
}

TEST_F(UiScrollBars, ThumbIsDrawnAtItsPosition) {
    SetScrollRange(window_, SB_HORZ, 0, 0, TRUE);
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
    SetScrollInfo(window_, SB_VERT, &info, TRUE);
    const std::string path = platform::testing::Root() + "/scroll.png";
    int width = 0, height = 0;
    // The thumb's face against the track, along the bar's middle column.
    auto thumbAt = [&](int y) {
        platform::testing::RenderWindow(top_, path);
        const auto pixels = platform::testing::ReadPng(path, &width, &height);
        POINT p{Client().right + 8, y};
        ClientToScreen(window_, &p);
        return pixels[static_cast<size_t>((p.y - 10) * width + (p.x - 10))] == 0xD4D0C8u;
    };
    const int track = Client().bottom - 32;
    EXPECT_TRUE(thumbAt(16 + 5));
    EXPECT_FALSE(thumbAt(16 + track - 5));
    SetScrollPos(window_, SB_VERT, 90, TRUE);
    EXPECT_FALSE(thumbAt(16 + 5));
    EXPECT_TRUE(thumbAt(16 + track - 5));
}

}  // namespace

namespace {

class UiMenus : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA cls{};
        cls.lpfnWndProc = DefWindowProcA;
        cls.lpszClassName = "MenuOwner";
        RegisterClassA(&cls);
        owner_ = CreateWindowExA(0, "MenuOwner", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 400, nullptr, nullptr, nullptr,
                                 nullptr);
        menu_ = CreatePopupMenu();
        AppendMenuA(menu_, MF_STRING, 1024, "Business card");
        AppendMenuA(menu_, MF_STRING, 1026, "Large photo");
        AppendMenuA(menu_, MF_STRING | MF_CHECKED, 1027, "Panorama");
        InsertMenuA(menu_, 1, MF_BYPOSITION | MF_STRING, 1025, "Photo");
        InsertMenuA(menu_, 1026, MF_BYCOMMAND | MF_SEPARATOR, 0, nullptr);
        EnableMenuItem(menu_, 1026, MF_BYCOMMAND | MF_GRAYED);
    }
    void TearDown() override {
        DestroyMenu(menu_);
        DestroyWindow(owner_);
        UnregisterClassA("MenuOwner", nullptr);
        platform::testing::StopScriptingUser();
    }
    // The owner's client point over row `row` of a popup opened at (100, 100).
    static LPARAM Row(int row) { return MAKELONG(100 + 3 + 20, 100 + 3 + 2 + 19 * row + 9); }
    UINT Command() {
        MSG msg;
        while (PeekMessageA(&msg, owner_, 0, 0, PM_REMOVE))
            if (msg.message == WM_COMMAND) return LOWORD(msg.wParam);
        return 0;
    }
    HWND owner_ = nullptr;
    HMENU menu_ = nullptr;
};

TEST_F(UiMenus, ItemsInTheirPlaces) {
    ASSERT_EQ(GetMenuItemCount(menu_), 5);
    const UINT ids[] = {1024, 1025, 0, 1026, 1027};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetMenuItemID(menu_, i), ids[i]) << i;
    char text[32] = {};
    EXPECT_EQ(GetMenuStringA(menu_, 1, text, sizeof text, MF_BYPOSITION), 5);
    EXPECT_STREQ(text, "Photo");
    EXPECT_EQ(GetMenuState(menu_, 1026, MF_BYCOMMAND), static_cast<UINT>(MF_GRAYED));
    EXPECT_EQ(CheckMenuItem(menu_, 1027, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(GetMenuState(menu_, 1027, MF_BYCOMMAND), 0u);
    EXPECT_TRUE(DeleteMenu(menu_, 0, MF_BYPOSITION));
    EXPECT_EQ(GetMenuItemID(menu_, 0), 1025u);
    EXPECT_FALSE(DeleteMenu(menu_, 4242, MF_BYCOMMAND));
}

TEST_F(UiMenus, PopupChosenWithMouseKeysOrScriptOrDismissed) {
    enum How { kReturn, kPost };
    struct Case {
        const char* what;
        std::vector<std::pair<UINT, LPARAM>> input;  // posted to the owner before the popup opens
        std::vector<std::string> steps;
        How how;
        UINT chosen;
    };
    const Case cases[] = {
        {"a click on a row", {{WM_MOUSEMOVE, Row(1)}, {WM_LBUTTONUP, Row(1)}}, {}, kReturn, 1025},
        {"a click on a grey row does nothing", {{WM_LBUTTONUP, Row(3)}, {WM_LBUTTONUP, Row(4)}}, {}, kReturn, 1027},
        {"a click outside dismisses", {{WM_LBUTTONDOWN, MAKELONG(5, 5)}}, {}, kReturn, 0},
        {"arrows skip the separator",
         {{WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_DOWN},
          {WM_KEYDOWN, VK_RETURN}},
         {},
         kPost,
         1027},
        {"escape dismisses", {{WM_KEYDOWN, VK_DOWN}, {WM_KEYDOWN, VK_ESCAPE}}, {}, kPost, 0},
        {"the scripted user", {}, {"menu:1024"}, kPost, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (auto [message, value] : c.input) {
            if (message == WM_KEYDOWN) PostMessageA(owner_, message, static_cast<WPARAM>(value), 1);
            else PostMessageA(owner_, message, 0, value);
        }
        platform::testing::ScriptUser(c.steps);
        const UINT flags = TPM_LEFTALIGN | TPM_RIGHTBUTTON | (c.how == kReturn ? TPM_RETURNCMD : 0);
        const BOOL result = TrackPopupMenu(menu_, flags, 100, 100, 0, owner_, nullptr);
        if (c.how == kReturn) {
            EXPECT_EQ(static_cast<UINT>(result), c.chosen);
            EXPECT_EQ(Command(), 0u);
        } else {
            EXPECT_EQ(result != FALSE, c.chosen != 0);
            EXPECT_EQ(Command(), c.chosen);
        }
        EXPECT_EQ(GetCapture(), nullptr);
    }
}

TEST_F(UiMenus, PopupIsDrawn) {
    const std::string path = platform::testing::Root() + "/menu.png";
    platform::testing::ScriptUser({"picture:" + path, "key:escape"});
    PostMessageA(owner_, WM_KEYDOWN, VK_DOWN, 1);
    PostMessageA(owner_, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_FALSE(TrackPopupMenu(menu_, TPM_RETURNCMD, 100, 100, 0, owner_, nullptr));
    int width = 0, height = 0;
    const auto pixels = platform::testing::ReadPng(path, &width, &height);
    ASSERT_FALSE(pixels.empty());
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>((y + 3) * width + x + 3)]; };
    // The second row highlighted, the separator's shadow line below it.
    EXPECT_EQ(at(6, 2 + 19 + 1), 0x0A246Au);
    EXPECT_EQ(at(6, 2 + 1), 0xD4D0C8u);
    EXPECT_EQ(at(10, 2 + 2 * 19 + 3), 0x808080u);
}

}  // namespace

namespace {

// Tooltips: delays on the platform clock, wrapping at the maximum width,
// relayed or subclassed mouse messages; TrackMouseEvent's hover and leave.
class UiToolTips : public UiControls {
protected:
    void SetUp() override {
        UiControls::SetUp();
        button_ = GetDlgItem(dialog_, IDOK);
        tips_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                                0, 0, dialog_, nullptr, nullptr, nullptr);
        ASSERT_NE(tips_, nullptr);
        SendMessageA(tips_, TTM_SETDELAYTIME, TTDT_INITIAL, 30000);
        SendMessageA(tips_, TTM_SETDELAYTIME, TTDT_AUTOPOP, 60000);
    }
    void TearDown() override {
        DestroyWindow(tips_);
        platform::testing::SetClockOffset(0);
        UiControls::TearDown();
    }
    TOOLINFOA Info(const char* text, UINT flags = 0) {
        TOOLINFOA info{};
        info.cbSize = sizeof info;
        info.uFlags = flags;
        info.hwnd = (flags & TTF_IDISHWND) ? dialog_ : button_;
        info.uId = (flags & TTF_IDISHWND) ? reinterpret_cast<UINT_PTR>(button_) : 1;
        GetClientRect(button_, &info.rect);
        info.lpszText = const_cast<char*>(text);
        return info;
    }
    void Move(int x, int y, UINT message = WM_MOUSEMOVE) {
        MSG msg{button_, message, 0, MAKELONG(x, y), 0, {}};
        SendMessageA(tips_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }
    // Lets the platform clock run on and the timers fire.
    void Later(int64_t milliseconds) {
        clock_ += milliseconds;
        platform::testing::SetClockOffset(clock_);
        Pump();
    }
    HWND button_ = nullptr;
    HWND tips_ = nullptr;
    int64_t clock_ = 0;
};

TEST_F(UiToolTips, ShownAfterTheDelayWrappedAndGoneAgain) {
    EXPECT_EQ(SendMessageA(tips_, TTM_SETMAXTIPWIDTH, 0, 120), -1);
    TOOLINFOA info = Info("Please calibrate your scanner periodically for improved image quality");
    ASSERT_TRUE(SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(SendMessageA(tips_, TTM_GETTOOLCOUNT, 0, 0), 1);
    Move(5, 5);
    Pump();
    EXPECT_FALSE(IsWindowVisible(tips_));
    Later(31000);
    ASSERT_TRUE(IsWindowVisible(tips_));
    // Below the pointer, wrapped to the width asked for, over several lines.
    RECT tip{}, button{};
    GetWindowRect(tips_, &tip);
    GetWindowRect(button_, &button);
    EXPECT_EQ(tip.left, button.left + 5);
    EXPECT_GT(tip.top, button.top + 5);
    EXPECT_LE(tip.right - tip.left, 120 + 8);
    EXPECT_GT(tip.bottom - tip.top, 40);
    EXPECT_EQ(GetActiveWindow(), dialog_);  // showing it activates nothing
    const std::string path = platform::testing::Root() + "/tip.png";
    ASSERT_TRUE(platform::testing::RenderWindow(tips_, path));
    int width = 0, height = 0;
    const auto pixels = platform::testing::ReadPng(path, &width, &height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[static_cast<size_t>(width + 1)], 0xFFFFE1u);
    // The visible time ends it; it comes back only after the mouse left.
    Later(61000);
    EXPECT_FALSE(IsWindowVisible(tips_));
    Move(6, 6);
    Later(31000);
    EXPECT_FALSE(IsWindowVisible(tips_));
    Move(-5, -5);
    Move(5, 5);
    Later(31000);
    EXPECT_TRUE(IsWindowVisible(tips_));
    // A click hides it; so does deactivation.
    Move(5, 5, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(tips_));
    SendMessageA(tips_, TTM_ACTIVATE, FALSE, 0);
    Move(-5, -5);
    Move(5, 5);
    Later(31000);
    EXPECT_FALSE(IsWindowVisible(tips_));
}

TEST_F(UiToolTips, TextsAndSubclassedTools) {
    TOOLINFOA info = Info("First", TTF_IDISHWND | TTF_SUBCLASS);
    ASSERT_TRUE(SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)));
    info.lpszText = const_cast<char*>("Second");
    SendMessageA(tips_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
    char text[80] = {};
    info.lpszText = text;
    ASSERT_TRUE(SendMessageA(tips_, TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_STREQ(text, "Second");
    // The button's own mouse messages reach the tooltip; the button still gets them.
    SendMessageA(button_, WM_MOUSEMOVE, 0, MAKELONG(3, 3));
    Later(31000);
    EXPECT_TRUE(IsWindowVisible(tips_));
    commands.clear();
    SendMessageA(button_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELONG(3, 3));
    SendMessageA(button_, WM_LBUTTONUP, 0, MAKELONG(3, 3));
    EXPECT_FALSE(IsWindowVisible(tips_));
    EXPECT_EQ(Notifications(IDOK), (std::vector<int>{BN_CLICKED}));
    SendMessageA(tips_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(SendMessageA(tips_, TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(UiToolTips, MouseHoverAndLeave) {
    std::vector<UINT> heard;
    TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, button_, 1};
    ASSERT_TRUE(TrackMouseEvent(&track));
    auto pump = [&] {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_MOUSEHOVER || msg.message == WM_MOUSELEAVE) heard.push_back(msg.message);
            DispatchMessageA(&msg);
        }
    };
    clock_ += 1000;
    platform::testing::SetClockOffset(clock_);
    pump();
    EXPECT_EQ(heard, (std::vector<UINT>{WM_MOUSEHOVER}));
    // Hover is reported once; leaving is still watched.
    PostMessageA(dialog_, WM_MOUSEMOVE, 0, MAKELONG(1, 1));
    pump();
    EXPECT_EQ(heard, (std::vector<UINT>{WM_MOUSEHOVER, WM_MOUSELEAVE}));
    TRACKMOUSEEVENT query{sizeof query, TME_QUERY, nullptr, 0};
    TrackMouseEvent(&query);
    EXPECT_EQ(query.hwndTrack, nullptr);
}

}  // namespace
