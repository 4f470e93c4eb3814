// Dialogs: templates from the module's resources, the keyboard interface,
// message boxes drawn for the scripted user, a dialog nobody answers, the
// machine's language.
#include <platform/testing.h>
#include <platform/testing_ui.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

std::vector<int> commands;

INT_PTR CALLBACK RecordCommands(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND) {
        commands.push_back(LOWORD(wParam));
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

class UiDialog : public ::testing::Test {
protected:
    void TearDown() override {
        platform::testing::StopScriptingUser();
        platform::testing::SetUserTimeout(20000, nullptr);
        platform::testing::SetLanguage(0);
    }
    static std::string Folder() { return platform::testing::Root(); }
    // Presses a key in the dialog as the message loop of a modeless dialog sees it.
    static void Key(HWND dialog, WPARAM key) {
        PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, key, 1);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    static int Focused() { return GetDlgCtrlID(GetFocus()); }
};

TEST_F(UiDialog, ResourcesOfTheModule) {
    char text[64];
    EXPECT_EQ(LoadStringA(nullptr, 7, text, sizeof text), 5);
    EXPECT_STREQ(text, "Seven");
    EXPECT_EQ(LoadStringA(nullptr, 16, text, sizeof text), 12);
    EXPECT_STREQ(text, "Sixteen: \351t\351");
    EXPECT_EQ(LoadStringA(nullptr, 8, text, sizeof text), 0);
    EXPECT_EQ(LoadStringA(nullptr, 7, text, 4), 3);
    EXPECT_STREQ(text, "Sev");
    HRSRC dialog = FindResourceA(nullptr, MAKEINTRESOURCEA(102), RT_DIALOG);
    ASSERT_NE(dialog, nullptr);
    EXPECT_GT(SizeofResource(nullptr, dialog), sizeof(DLGTEMPLATE));
    const auto* header = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, dialog)));
    EXPECT_EQ(header->cdit, 9);
    EXPECT_EQ(header->cx, 200);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), RT_DIALOG), nullptr);
    // Another module's resources are its own.
    HMODULE probe = LoadLibraryA("GlueProbe.dll");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(FindResourceA(probe, MAKEINTRESOURCEA(102), RT_DIALOG), nullptr);
    FreeLibrary(probe);
}

TEST_F(UiDialog, KeyboardMovesThroughTabStopsAndRadioGroups) {
    commands.clear();
    HWND dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(102), nullptr, RecordCommands, 0);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    EXPECT_EQ(Focused(), 10);
    // Tab: to the radio group, past the disabled and the hidden button.
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), 20);
    Key(dialog, VK_DOWN);
    EXPECT_EQ(Focused(), 21);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 21), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 20), static_cast<UINT>(BST_UNCHECKED));
    Key(dialog, VK_DOWN);
    Key(dialog, VK_DOWN);  // wraps inside the group
    EXPECT_EQ(Focused(), 20);
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), 40);
    Key(dialog, VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 40), static_cast<UINT>(BST_CHECKED));
    // Enter on a check box presses the default button.
    Key(dialog, VK_RETURN);
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), IDOK);
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), IDCANCEL);
    // Enter on a push button presses that one.
    Key(dialog, VK_RETURN);
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), 10);
    // Back into the group: the tab stops at its checked button.
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), 20);
    CheckRadioButton(dialog, 20, 22, 22);
    Key(dialog, VK_TAB);
    Key(dialog, VK_TAB);
    Key(dialog, VK_TAB);
    Key(dialog, VK_TAB);
    Key(dialog, VK_TAB);
    EXPECT_EQ(Focused(), 22);
    Key(dialog, VK_ESCAPE);
    // Radio buttons and the check box tell the dialog when they are clicked.
    EXPECT_EQ(commands, (std::vector<int>{21, 22, 20, 40, IDOK, IDCANCEL, IDCANCEL}));
    DestroyWindow(dialog);
}

std::pair<uint32_t, uint32_t> PngSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char header[24] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    auto big = [&](int at) {
        return (uint32_t{header[at]} << 24) | (uint32_t{header[at + 1]} << 16) | (uint32_t{header[at + 2]} << 8) |
               header[at + 3];
    };
    return {big(16), big(20)};
}

// A long text wraps inside a bounded width and makes the box taller; the
// scripted answers press the box's buttons; the records stay.
TEST_F(UiDialog, MessageBoxWrapsALongText) {
    const std::string shortPicture = Folder() + "/short.png", longPicture = Folder() + "/long.png";
    std::string longText;
    for (int i = 0; i < 12; ++i) longText += "The quick brown fox jumps over the lazy dog. ";
    platform::testing::ScriptUser({"picture:box:" + shortPicture, "answer:1", "picture:box:" + longPicture, "answer:2"});
    EXPECT_EQ(MessageBoxA(nullptr, "Short.", "Box", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, longText.c_str(), "Box", MB_OKCANCEL | MB_ICONERROR | MB_DEFBUTTON2), IDCANCEL);
    const auto [shortWidth, shortHeight] = PngSize(shortPicture);
    const auto [longWidth, longHeight] = PngSize(longPicture);
    EXPECT_GT(shortWidth, 100u);
    EXPECT_LT(longWidth, 560u);
    EXPECT_GT(longWidth, 400u);
    EXPECT_GT(longHeight, shortHeight + 40);
    const auto boxes = platform::testing::MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].type, MB_OKCANCEL | MB_ICONERROR | MB_DEFBUTTON2);
}

TEST_F(UiDialog, QueuedAnswersAndDefaultButtonsStillAnswerAtOnce) {
    platform::testing::QueueMessageBoxAnswer(IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Queued", "Box", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Default", "Box", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
}

// Escape: a box with Cancel answers Cancel, a lone OK answers OK, Yes/No
// ignores it.
TEST_F(UiDialog, EscapeInAMessageBox) {
    platform::testing::ScriptUser({"key:box:escape", "key:box:escape", "key:box:escape", "answer:7"});
    EXPECT_EQ(MessageBoxA(nullptr, "a", "Box", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "b", "Box", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "c", "Box", MB_YESNO), IDNO);
}

TEST_F(UiDialog, UnansweredDialogFailsWithAPicture) {
    std::string picture;
    platform::testing::ScriptUser({});
    platform::testing::SetUserPictures(Folder());
    platform::testing::SetUserTimeout(300, [&](const std::string& path) { picture = path; });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(101), nullptr, RecordCommands, 0), IDCANCEL);
    ASSERT_FALSE(picture.empty());
    EXPECT_TRUE(std::filesystem::exists(picture));
    EXPECT_EQ(picture.rfind(Folder(), 0), 0u);
}

TEST_F(UiDialog, LanguageAndMeasurement) {
    char measure[4] = {};
    platform::testing::SetLanguage(0x040C);
    EXPECT_EQ(GetSystemDefaultLangID(), 0x040C);
    EXPECT_EQ(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IMEASURE, measure, sizeof measure), 2);
    EXPECT_STREQ(measure, "0");
    platform::testing::SetLanguage(0x0409);
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0409);
    GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IMEASURE, measure, sizeof measure);
    EXPECT_STREQ(measure, "1");
    EXPECT_EQ(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IMEASURE, nullptr, 0), 2);
}

}  // namespace

namespace {

TEST(UiVersion, VersionInformationOfAFile) {
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, sizeof own);
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeA(own, &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(own, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020005u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000011u);
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&text),
                               &length));
    EXPECT_STREQ(text, "Platform tests \351");
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName", reinterpret_cast<void**>(&text),
                               &length));
    EXPECT_STREQ(text, "Paperlyn");
    DWORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    EXPECT_EQ(*translation, 0x04B00409u);
    EXPECT_FALSE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904B0\\Missing", reinterpret_cast<void**>(&text),
                                &length));
    // A module without version information.
    EXPECT_EQ(GetFileVersionInfoSizeA("GlueProbe.dll", &handle), 0u);
}

}  // namespace
