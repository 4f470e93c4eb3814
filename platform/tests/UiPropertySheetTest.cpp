// Property sheets: pages made when first shown, the notifications of
// switching, applying and cancelling in their order, pages that refuse,
// modal and modeless sheets, the page records' lifetime, the drawn sheet.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <commctrl.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> events;
// What a page answers to a notification: (page, code) -> answer.
std::map<std::pair<int, UINT>, LRESULT> answers;

std::string Name(UINT code) {
    switch (code) {
    case PSN_SETACTIVE: return "setactive";
    case PSN_KILLACTIVE: return "killactive";
    case PSN_APPLY: return "apply";
    case PSN_RESET: return "reset";
    case PSN_QUERYCANCEL: return "querycancel";
    default: return "notify " + std::to_string(static_cast<int>(code));
    }
}

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
        SetWindowLongPtrA(page, DWLP_USER, record->lParam);
        events.push_back("p" + std::to_string(record->lParam) + " init");
        return TRUE;
    }
    case WM_COMMAND:
        events.push_back("p" + std::to_string(GetWindowLongPtrA(page, DWLP_USER)) + " command " +
                         std::to_string(LOWORD(wParam)));
        return TRUE;
    case WM_NOTIFY: {
        const auto* notify = reinterpret_cast<const PSHNOTIFY*>(lParam);
        const int index = static_cast<int>(GetWindowLongPtrA(page, DWLP_USER));
        std::string event = "p" + std::to_string(index) + " " + Name(notify->hdr.code);
        if (notify->hdr.code == PSN_APPLY || notify->hdr.code == PSN_RESET)
            event += notify->lParam ? " closing" : "";
        events.push_back(event);
        EXPECT_EQ(notify->hdr.hwndFrom, GetParent(page));
        auto it = answers.find({index, notify->hdr.code});
        SetWindowLongPtrA(page, DWLP_MSGRESULT, it == answers.end() ? 0 : it->second);
        return TRUE;
    }
    default: return FALSE;
    }
}

std::vector<std::string> callbacks;

UINT CALLBACK PageCallback(HWND, UINT message, PROPSHEETPAGEA* record) {
    static const char* names[] = {"addref", "release", "create"};
    callbacks.push_back("p" + std::to_string(record->lParam) + " " + names[message]);
    return 1;
}

class UiPropertySheet : public ::testing::Test {
protected:
    void SetUp() override {
        events.clear();
        callbacks.clear();
        answers.clear();
    }
    void TearDown() override {
        platform::testing::StopScriptingUser();
        platform::testing::SetUserTimeout(20000, nullptr);
    }
    // Two pages from the module's templates 110 and 111; the second one
    // carries its own title.
    PROPSHEETPAGEA Page(int index) {
        PROPSHEETPAGEA page{};
        page.dwSize = sizeof page;
        page.dwFlags = PSP_USECALLBACK | PSP_USEREFPARENT | (index == 1 ? PSP_USETITLE : 0);
        page.pszTemplate = MAKEINTRESOURCEA(110 + index);
        page.pszTitle = "Second";
        page.pfnDlgProc = PageProc;
        page.lParam = index;
        page.pfnCallback = PageCallback;
        page.pcRefParent = &references;
        return page;
    }
    PROPSHEETHEADERA Header(HPROPSHEETPAGE* pages, DWORD flags) {
        PROPSHEETHEADERA header{};
        header.dwSize = sizeof header;
        header.dwFlags = flags;
        header.pszCaption = "Scanner";
        header.nPages = 2;
        header.phpage = pages;
        return header;
    }
    HWND Modeless() {
        pages_[0] = CreatePropertySheetPageA(&records_[0]);
        pages_[1] = CreatePropertySheetPageA(&records_[1]);
        PROPSHEETHEADERA header = Header(pages_, PSH_MODELESS | PSH_PROPTITLE);
        return reinterpret_cast<HWND>(PropertySheetA(&header));
    }
    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    static int Current(HWND sheet) {
        return PropSheet_HwndToIndex(sheet, PropSheet_GetCurrentPageHwnd(sheet));
    }
    UINT references = 0;
    PROPSHEETPAGEA records_[2] = {Page(0), Page(1)};
    HPROPSHEETPAGE pages_[2] = {};
};

// A modal sheet driven by the scripted user: a page's control, a click on
// the second tab, OK. Pages are made when first shown; OK leaves the
// current page, then every page made applies.
TEST_F(UiPropertySheet, ModalSheetSwitchesPagesAndApplies) {
    const std::string picture = platform::testing::Root() + "/sheet.png";
    platform::testing::ScriptUser({"press:110:11", "page:1", "picture:111:" + picture, "press:1"});
    PROPSHEETHEADERA header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.pszCaption = "Scanner";
    header.nPages = 2;
    header.ppsp = records_;
    EXPECT_EQ(PropertySheetA(&header), 1);
    EXPECT_EQ(events, (std::vector<std::string>{"p0 init", "p0 setactive", "p0 command 11", "p0 killactive",
                                                 "p1 init", "p1 setactive", "p1 killactive", "p0 apply closing",
                                                 "p1 apply closing"}));
    EXPECT_EQ(callbacks, (std::vector<std::string>{"p0 addref", "p1 addref", "p0 create", "p1 create", "p0 release",
                                                    "p1 release"}));
    EXPECT_EQ(references, 0u);
    EXPECT_EQ(platform::testing::PendingUserSteps(), 0u);
    int width = 0, height = 0;
    EXPECT_FALSE(platform::testing::ReadPng(picture, &width, &height).empty());
}

TEST_F(UiPropertySheet, CancelResetsEveryPageMadeAndReturnsZero) {
    platform::testing::ScriptUser({"key:110:escape"});
    PROPSHEETHEADERA header{};
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;  // the first version of the record is enough
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.nPages = 2;
    header.ppsp = records_;
    EXPECT_EQ(PropertySheetA(&header), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"p0 init", "p0 setactive", "p0 querycancel", "p0 reset"}));
}

TEST_F(UiPropertySheet, ModelessSheetWithTitlesButtonsAndMessages) {
    HWND sheet = Modeless();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(references, 2u);
    EXPECT_TRUE(IsWindowVisible(sheet));
    char text[64] = {};
    GetWindowTextA(sheet, text, sizeof text);
    EXPECT_STREQ(text, "Properties for Scanner");
    // Tabs: the template's caption, then the page's own title.
    HWND tab = PropSheet_GetTabControl(sheet);
    ASSERT_EQ(TabCtrl_GetItemCount(tab), 2);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tab, TCM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "General");
    SendMessageA(tab, TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "Second");
    // The first page is a child of the sheet below the tabs; the second is not made yet.
    HWND first = PropSheet_GetCurrentPageHwnd(sheet);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetParent(first), sheet);
    EXPECT_EQ(PropSheet_IndexToHwnd(sheet, 1), nullptr);
    EXPECT_EQ(PropSheet_IndexToPage(sheet, 1), pages_[1]);
    RECT tabRect{}, pageRect{};
    GetWindowRect(tab, &tabRect);
    GetWindowRect(first, &pageRect);
    EXPECT_GT(pageRect.top, tabRect.top + 10);
    EXPECT_LT(pageRect.bottom, tabRect.bottom);
    // Apply follows the pages' changes.
    HWND apply = GetDlgItem(sheet, ID_APPLY_NOW);
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(IsWindowEnabled(apply));
    PropSheet_Changed(sheet, first);
    EXPECT_TRUE(IsWindowEnabled(apply));
    PropSheet_UnChanged(sheet, first);
    EXPECT_FALSE(IsWindowEnabled(apply));
    // Switching by message makes the second page; both pages apply, not closing.
    EXPECT_TRUE(PropSheet_SetCurSel(sheet, nullptr, 1));
    HWND second = PropSheet_GetCurrentPageHwnd(sheet);
    EXPECT_NE(second, first);
    EXPECT_FALSE(IsWindowVisible(first));
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_EQ(TabCtrl_GetCurSel(tab), 1);
    PropSheet_Changed(sheet, second);
    events.clear();
    PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
    EXPECT_EQ(events, (std::vector<std::string>{"p1 killactive", "p0 apply", "p1 apply"}));
    EXPECT_FALSE(IsWindowEnabled(apply));
    // Enter in a page, through the sheet's dialog-message handling, is OK:
    // the sheet stays until the application destroys it.
    events.clear();
    MSG msg{GetDlgItem(second, 20), WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    SetFocus(msg.hwnd);
    EXPECT_TRUE(PropSheet_IsDialogMessage(sheet, &msg));
    EXPECT_EQ(events, (std::vector<std::string>{"p1 killactive", "p0 apply closing", "p1 apply closing"}));
    EXPECT_EQ(PropSheet_GetCurrentPageHwnd(sheet), nullptr);
    EXPECT_TRUE(IsWindow(sheet));
    EXPECT_FALSE(DestroyPropertySheetPage(pages_[0]));  // the sheet's to destroy
    DestroyWindow(sheet);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(references, 0u);
    EXPECT_EQ(callbacks.back(), "p1 release");
}

// A page that refuses: the sheet stays open on the page the rules name.
TEST_F(UiPropertySheet, PagesThatRefuse) {
    enum Action { kSelectSecond, kClickSecondTab, kOk, kCancel };
    struct Case {
        const char* what;
        int page;
        UINT code;
        LRESULT answer;
        Action action;
        int currentAfter;
    };
    const Case cases[] = {
        {"leaving refused, by message", 0, PSN_KILLACTIVE, TRUE, kSelectSecond, 0},
        {"leaving refused, by the tab", 0, PSN_KILLACTIVE, TRUE, kClickSecondTab, 0},
        {"leaving refused stops OK", 0, PSN_KILLACTIVE, TRUE, kOk, 0},
        {"activation refused", 1, PSN_SETACTIVE, -1, kSelectSecond, 0},
        {"invalid apply shows its page", 1, PSN_APPLY, PSNRET_INVALID, kOk, 1},
        {"invalid apply keeps the page", 1, PSN_APPLY, PSNRET_INVALID_NOCHANGEPAGE, kOk, 0},
        {"cancel refused", 0, PSN_QUERYCANCEL, TRUE, kCancel, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        HWND sheet = Modeless();
        ASSERT_NE(sheet, nullptr);
        // Both pages made, the first one shown.
        ASSERT_TRUE(PropSheet_SetCurSel(sheet, nullptr, 1));
        ASSERT_TRUE(PropSheet_SetCurSel(sheet, nullptr, 0));
        answers[{c.page, c.code}] = c.answer;
        events.clear();
        HWND tab = PropSheet_GetTabControl(sheet);
        switch (c.action) {
        case kSelectSecond: EXPECT_FALSE(PropSheet_SetCurSel(sheet, nullptr, 1)); break;
        case kClickSecondTab: {
            RECT r{};
            TabCtrl_GetItemRect(tab, 1, &r);
            SendMessageA(tab, WM_LBUTTONDOWN, MK_LBUTTON, MAKELONG((r.left + r.right) / 2, (r.top + r.bottom) / 2));
            break;
        }
        case kOk: PropSheet_PressButton(sheet, PSBTN_OK); break;
        case kCancel: PropSheet_PressButton(sheet, PSBTN_CANCEL); break;
        }
        Pump();
        ASSERT_NE(PropSheet_GetCurrentPageHwnd(sheet), nullptr);
        EXPECT_EQ(Current(sheet), c.currentAfter);
        EXPECT_EQ(TabCtrl_GetCurSel(tab), c.currentAfter);
        EXPECT_TRUE(IsWindowVisible(PropSheet_GetCurrentPageHwnd(sheet)));
        for (const std::string& event : events) EXPECT_EQ(event.find("reset"), std::string::npos) << event;
        DestroyWindow(sheet);
        EXPECT_EQ(references, 0u);
    }
}

TEST_F(UiPropertySheet, PagesOutsideASheet) {
    // A page the host refuses is destroyed by its maker; bad records make none.
    HPROPSHEETPAGE page = CreatePropertySheetPageA(&records_[0]);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(references, 1u);
    EXPECT_TRUE(DestroyPropertySheetPage(page));
    EXPECT_EQ(references, 0u);
    EXPECT_EQ(callbacks, (std::vector<std::string>{"p0 addref", "p0 release"}));
    PROPSHEETPAGEA tooShort = records_[0];
    tooShort.dwSize = 12;
    EXPECT_EQ(CreatePropertySheetPageA(&tooShort), nullptr);
    EXPECT_EQ(CreatePropertySheetPageA(nullptr), nullptr);
    // A sheet without pages, or with a page whose template is missing, fails.
    PROPSHEETHEADERA header = Header(nullptr, 0);
    header.nPages = 0;
    EXPECT_EQ(PropertySheetA(&header), -1);
    PROPSHEETPAGEA missing = records_[0];
    missing.pszTemplate = MAKEINTRESOURCEA(999);
    missing.dwFlags = 0;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.nPages = 1;
    header.ppsp = &missing;
    EXPECT_EQ(PropertySheetA(&header), -1);
}

// The drawn sheet: the selected tab joins the panel, the page's controls sit
// inside it, the buttons below.
TEST_F(UiPropertySheet, DrawnSheet) {
    HWND sheet = Modeless();
    ASSERT_NE(sheet, nullptr);
    const std::string path = platform::testing::Root() + "/modeless.png";
    ASSERT_TRUE(platform::testing::RenderWindow(sheet, path));
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels = platform::testing::ReadPng(path, &width, &height);
    ASSERT_FALSE(pixels.empty());
    auto at = [&](HWND window, int x, int y) {
        POINT p{x, y};
        ClientToScreen(window, &p);
        RECT frame{};
        GetWindowRect(sheet, &frame);
        return pixels[static_cast<size_t>((p.y - frame.top) * width + (p.x - frame.left))];
    };
    HWND tab = PropSheet_GetTabControl(sheet);
    RECT first{}, second{};
    TabCtrl_GetItemRect(tab, 0, &first);
    TabCtrl_GetItemRect(tab, 1, &second);
    // The panel's white top edge runs under the second tab, not under the
    // selected first one.
    const int panelTop = first.bottom;
    EXPECT_EQ(at(tab, (second.left + second.right) / 2, panelTop), 0xFFFFFFu);
    EXPECT_EQ(at(tab, (first.left + first.right) / 2, panelTop), 0xD4D0C8u);
    // Text ink on the first tab and on the page's static text.
    auto inked = [&](HWND window, RECT r) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if ((at(window, x, y) & 0xFF) < 0x60) return true;
        return false;
    };
    EXPECT_TRUE(inked(tab, RECT{first.left + 3, first.top + 3, first.right - 3, first.bottom - 2}));
    HWND label = GetDlgItem(PropSheet_GetCurrentPageHwnd(sheet), 10);
    RECT labelRect{};
    GetClientRect(label, &labelRect);
    EXPECT_TRUE(inked(label, labelRect));
    // The default OK button's black frame.
    EXPECT_EQ(at(GetDlgItem(sheet, IDOK), 0, 0), 0u);
    DestroyWindow(sheet);
}

}  // namespace
