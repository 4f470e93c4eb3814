// What the command tests share: the module's resources in this program,
// the fake library loaded first as "Pelidor.dll", and the message boxes
// shown, named by their row of the message table.
#pragma once

#include "FakeLibraryState.h"

#include <MessageTable.h>
#include <gtest/gtest.h>
#include <platform/testing.h>
#include <platform/testing_ui.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace propext_test {

inline std::filesystem::path ProgramFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::filesystem::path(path).parent_path();
}

// Holds the fake library loaded for the test, so the commands' own load of
// "Pelidor.dll" binds it.
class FakeLibrary {
public:
    FakeLibrary() {
        module_ = LoadLibraryA((ProgramFolder() / "propext-fake" / "Pelidor.dll").string().c_str());
        if (module_ == nullptr) return;
        auto control = reinterpret_cast<FakeLibraryControlFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "FakeLibraryControl")));
        if (control != nullptr) state_ = control();
    }
    ~FakeLibrary() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    bool Loaded() const { return state_ != nullptr; }
    FakeLibraryState& State() { return *state_; }

private:
    HMODULE module_ = nullptr;
    FakeLibraryState* state_ = nullptr;
};

// A shown message box as "caption|row N" when its text is a row in English,
// else as "caption|text".
inline std::vector<std::string> ShownBoxes() {
    std::vector<std::string> shown;
    for (const auto& box : platform::testing::MessageBoxes()) {
        std::string what = box.text;
        for (int row = 0; row < kMessageRows; ++row) {
            if (box.text == MessageTable[static_cast<size_t>(row)][0]) {
                what = "row " + std::to_string(row);
                break;
            }
        }
        shown.push_back(box.caption + "|" + what);
    }
    return shown;
}

}  // namespace propext_test
