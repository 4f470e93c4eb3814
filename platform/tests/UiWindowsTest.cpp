// Windows and messages: creation and destruction order, sent and posted
// messages, timers on the platform clock, nested modal loops.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
};
std::vector<Seen> seen;
DWORD procThread = 0;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_SIZE:
    case WM_MOVE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_USER:
    case WM_TIMER: seen.push_back({hwnd, message}); break;
    case WM_USER + 1:
        procThread = GetCurrentThreadId();
        return 77;
    default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

class UiWindows : public ::testing::Test {
protected:
    void SetUp() override {
        seen.clear();
        WNDCLASSA cls{};
        cls.lpfnWndProc = RecordingProc;
        cls.lpszClassName = "Recording";
        RegisterClassA(&cls);
    }
    void TearDown() override {
        UnregisterClassA("Recording", nullptr);
        platform::testing::StopScriptingUser();
    }
    static HWND Make(HWND parent = nullptr) {
        return CreateWindowExA(0, "Recording", "", parent ? WS_CHILD : WS_POPUP, 0, 0, 100, 50, parent,
                               reinterpret_cast<HMENU>(static_cast<uintptr_t>(parent ? 5 : 0)), nullptr, nullptr);
    }
    static void Pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
};

TEST_F(UiWindows, CreationAndDestructionComeInWindowsOrder) {
    HWND parent = Make();
    HWND child = Make(parent);
    ASSERT_TRUE(parent && child);
    DestroyWindow(parent);
    const std::vector<std::pair<HWND, UINT>> expected{
        {parent, WM_NCCREATE}, {parent, WM_CREATE},    {parent, WM_SIZE},      {parent, WM_MOVE},
        {child, WM_NCCREATE},  {child, WM_CREATE},     {child, WM_SIZE},       {child, WM_MOVE},
        {parent, WM_DESTROY},  {child, WM_DESTROY},    {child, WM_NCDESTROY},  {parent, WM_NCDESTROY},
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].hwnd, expected[i].first) << i;
        EXPECT_EQ(seen[i].message, expected[i].second) << i;
    }
    EXPECT_FALSE(IsWindow(parent));
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(UiWindows, SentMessagesRunAtOncePostedOnesWhenPumped) {
    HWND hwnd = Make();
    seen.clear();
    EXPECT_EQ(SendMessageA(hwnd, WM_USER + 1, 0, 0), 77);
    ASSERT_TRUE(PostMessageA(hwnd, WM_USER, 0, 0));
    EXPECT_TRUE(seen.empty());
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    Pump();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_USER));
    // A message posted to a destroyed window is never delivered.
    PostMessageA(hwnd, WM_USER, 0, 0);
    DestroyWindow(hwnd);
    seen.clear();
    Pump();
    for (const Seen& s : seen) EXPECT_NE(s.message, static_cast<UINT>(WM_USER));
}

// A message sent from another thread runs on the window's own thread, while
// that thread waits for messages.
TEST_F(UiWindows, SendFromAnotherThreadRunsOnTheWindowsThread) {
    HWND hwnd = Make();
    procThread = 0;
    LRESULT answer = 0;
    std::thread sender([&] {
        answer = SendMessageA(hwnd, WM_USER + 1, 0, 0);
        PostMessageA(hwnd, WM_USER, 0, 0);
    });
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
        if (msg.message == WM_USER) break;
    }
    sender.join();
    EXPECT_EQ(answer, 77);
    EXPECT_EQ(procThread, GetCurrentThreadId());
    DestroyWindow(hwnd);
}

// Timers count on the platform clock: moving it on makes a long timer due;
// a timer killed before its message is dispatched never arrives.
TEST_F(UiWindows, TimersRunOnThePlatformClock) {
    HWND hwnd = Make();
    seen.clear();
    ASSERT_EQ(SetTimer(hwnd, 9, 60000, nullptr), 9u);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE));
    platform::testing::SetClockOffset(61000);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 9u);
    DispatchMessageA(&msg);
    // Next due a full period later.
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE));
    platform::testing::SetClockOffset(122000);
    ASSERT_TRUE(PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    EXPECT_TRUE(KillTimer(hwnd, 9));
    EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(KillTimer(hwnd, 9));
    platform::testing::SetClockOffset(0);
    DestroyWindow(hwnd);
}

// A modal dialog opened from the timer of another one runs its own loop; the
// outer one ends only after the handler that ended it has returned.
std::vector<std::string> steps;

INT_PTR CALLBACK InnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        steps.push_back("inner ok");
        EndDialog(hwnd, 5);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK OuterProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: SetTimer(hwnd, 1, 10, nullptr); return TRUE;
    case WM_TIMER: {
        KillTimer(hwnd, 1);
        steps.push_back("timer");
        const INT_PTR inner = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(101), hwnd, InnerProc, 0);
        steps.push_back("inner returned " + std::to_string(inner));
        EndDialog(hwnd, 42);
        steps.push_back("outer ended");
        return TRUE;
    }
    case WM_COMMAND: return TRUE;
    default: return FALSE;
    }
}

TEST_F(UiWindows, NestedModalLoops) {
    steps.clear();
    platform::testing::ScriptUser({"press:101:1"});
    const INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(100), nullptr, OuterProc, 0);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(steps, (std::vector<std::string>{"timer", "inner ok", "inner returned 5", "outer ended"}));
    EXPECT_EQ(platform::testing::PendingUserSteps(), 0u);
}

// The owner of a modal dialog is disabled while it runs.
INT_PTR CALLBACK CheckOwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
        HWND owner = reinterpret_cast<HWND>(GetWindowLongPtrA(hwnd, DWLP_USER));
        EndDialog(hwnd, IsWindowEnabled(owner) ? 1 : 2);
        return TRUE;
    }
    return FALSE;
}

TEST_F(UiWindows, ModalDialogDisablesItsOwner) {
    HWND owner = Make();
    platform::testing::ScriptUser({"press:101:1"});
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(101), owner, CheckOwnerProc, reinterpret_cast<LPARAM>(owner)),
              2);
    EXPECT_TRUE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

}  // namespace
