// Pelidor.ds loaded as a Source Manager loads it, with an application's
// identity and helpers for its triplets, against the virtual scanner.
#pragma once

#include <twain.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace twain_test {

std::filesystem::path BinFolder();
std::string SamplePage();

// The direct-port model name, until the Still Image route reaches the scanner.
void UseDirectPortModel();

class DirectSource {
public:
    DirectSource();
    ~DirectSource();
    DirectSource(const DirectSource&) = delete;
    DirectSource& operator=(const DirectSource&) = delete;

    bool Loaded() const { return entry_ != nullptr; }
    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // The condition code of the last failure (a DAT_STATUS read).
    TW_UINT16 Condition();

    TW_UINT16 Open();
    TW_UINT16 Close();
    TW_UINT16 Enable(bool showUi = false, HWND parent = nullptr);
    TW_UINT16 SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value);
    TW_UINT16 EndTransfer(TW_UINT16* count = nullptr);
    TW_UINT16 Reset();
    // One strip of a memory transfer, buffer of `rows` rows.
    TW_UINT16 Strip(uint32_t rows);

    TW_IDENTITY app{};
    TW_IDENTITY source{};

private:
    HMODULE module_ = nullptr;
    DSENTRYPROC entry_ = nullptr;
};

}  // namespace twain_test
