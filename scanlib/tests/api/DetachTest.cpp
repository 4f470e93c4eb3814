// Pelidor.dll unloaded by a front end in the middle of a page, without
// ending the scan or closing the interface: the unload closes the interface
// and waits for the spooler's worker, so no thread runs on in the unloaded
// code and the scanner is free for the next load.
#include "../sisupport/SIClient.h"

#include <SIInterface.h>

#include <emulator/VirtualScanner.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace siclient;

std::string LibraryFile() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pelidor.dll").string();
}

// The SI functions of one load of the library.
struct LoadedLibrary {
    HMODULE module = LoadLibraryA(LibraryFile().c_str());
    template <typename F>
    F Bind(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    decltype(&SI_OpenInterface) open = Bind<decltype(&SI_OpenInterface)>("SI_OpenInterface");
    decltype(&SI_CloseInterface) close = Bind<decltype(&SI_CloseInterface)>("SI_CloseInterface");
    decltype(&SI_StartScan) start = Bind<decltype(&SI_StartScan)>("SI_StartScan");
    decltype(&SI_ReadImageData) read = Bind<decltype(&SI_ReadImageData)>("SI_ReadImageData");
    decltype(&SI_GetScannerStatus) status = Bind<decltype(&SI_GetScannerStatus)>("SI_GetScannerStatus");
    bool Bound() const { return module && open && close && start && read && status; }
};

class DetachTest : public DeviceTest {};

TEST_F(DetachTest, UnloadDuringAPageStopsTheWorkerAndFreesTheScanner) {
    auto& scanner = Serve("RM410");
    scanner.InsertCalibrationSheet();
    {
        LoadedLibrary first;
        ASSERT_TRUE(first.Bound());
        ASSERT_EQ(first.open("RM410__"), SI_OK);
        ASSERT_EQ(first.start(), SI_OK);
        // Lines are flowing: the worker is running when the library goes.
        std::vector<uint8_t> buffer(1 << 20);
        int total = 0;
        for (int asks = 0; asks < 10000 && total == 0; ++asks) {
            int got = 0;
            ASSERT_EQ(first.read(buffer.data(), 8, 0, &got), SI_OK);
            total += got;
        }
        ASSERT_GT(total, 0);
        EXPECT_TRUE(FreeLibrary(first.module));
    }
    // A thread left in the unloaded code would have ended this process by now
    // or at the next load; the scan lock went with the interface.
    LoadedLibrary second;
    ASSERT_TRUE(second.Bound());
    ASSERT_EQ(second.open("RM410__"), SI_OK);
    int status = -1;
    EXPECT_EQ(second.status(&status), SI_OK);
    EXPECT_NE(status, SI_SCANNER_BUSY);
    EXPECT_EQ(second.close(), SI_OK);
    EXPECT_TRUE(FreeLibrary(second.module));
}

}  // namespace
