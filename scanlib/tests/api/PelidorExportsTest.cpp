// Pelidor.dll as a front end sees it: loaded by path with dlopen, the twenty
// SI_ names bound with dlsym, and nothing else exported.
#include <SIInterface.h>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <memory>
#include <set>
#include <string>

namespace {

const std::set<std::string> kExports = {
    "SI_Calibrate",      "SI_Clean",          "SI_CloseInterface",   "SI_Diagnostic",   "SI_EndScan",
    "SI_Feed",           "SI_FeedPaperOut",   "SI_GetButtonStatus",  "SI_GetEvent",     "SI_GetLastError",
    "SI_GetLastErrorText", "SI_GetPaperStatus", "SI_GetProperty",    "SI_GetScannerStatus", "SI_IsCalibrated",
    "SI_OpenInterface",  "SI_ReadImageData",  "SI_Reset",            "SI_SetProperty",  "SI_StartScan",
};

// The library sits beside the test programs, in the build's bin/.
std::string LibraryPath() {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<size_t>(n) : 0);
    return path.substr(0, path.rfind('/') + 1) + "Pelidor.dll";
}

struct Closer {
    void operator()(void* handle) const { dlclose(handle); }
};

}  // namespace

TEST(PelidorExportsTest, LoadsByPathAndBindsTheTwentyNames) {
    std::unique_ptr<void, Closer> library(dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(library) << dlerror();
    for (const std::string& name : kExports) {
        EXPECT_NE(dlsym(library.get(), name.c_str()), nullptr) << name;
    }
    // Internal names stay hidden.
    EXPECT_EQ(dlsym(library.get(), "DllMain"), nullptr);

    using OpenFn = SIResult (*)(const char*);
    using ErrorFn = SIResult (*)();
    using TextFn = SIResult (*)(const char**);
    auto open = reinterpret_cast<OpenFn>(dlsym(library.get(), "SI_OpenInterface"));
    auto lastError = reinterpret_cast<ErrorFn>(dlsym(library.get(), "SI_GetLastError"));
    auto text = reinterpret_cast<TextFn>(dlsym(library.get(), "SI_GetLastErrorText"));
    ASSERT_TRUE(open && lastError && text);
    EXPECT_EQ(open("NoSuchScanner"), SI_ERR_UNKNOWN_SCANNER);
    EXPECT_EQ(lastError(), SI_ERR_UNKNOWN_SCANNER);
    const char* message = nullptr;
    EXPECT_EQ(text(&message), SI_OK);
    EXPECT_STREQ(message, "The scanner name specified is not recognized.");
}

TEST(PelidorExportsTest, DynamicSymbolTableHoldsExactlyTheTwentyNames) {
    const std::string command = "nm -D --defined-only '" + LibraryPath() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> defined;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string entry(line);
        while (!entry.empty() && (entry.back() == '\n' || entry.back() == ' ')) entry.pop_back();
        const size_t space = entry.rfind(' ');
        const std::string type = space >= 2 ? entry.substr(space - 1, 1) : "";
        const std::string name = entry.substr(space + 1);
        // Version-script nodes are absolute symbols, not exports.
        if (type == "A") continue;
        defined.insert(name);
    }
    EXPECT_EQ(defined, kExports);
}

TEST(PelidorExportsTest, PropertyRecordLayout) {
    constexpr size_t slot = sizeof(void*);
    EXPECT_EQ(offsetof(SIProperty, id), 0u);
    EXPECT_EQ(offsetof(SIProperty, container), 2u);
    EXPECT_EQ(offsetof(SIProperty, itemType), 4u);
    EXPECT_EQ(offsetof(SIProperty, access), 6u);
    EXPECT_EQ(offsetof(SIProperty, value), 8u);
    EXPECT_EQ(sizeof(SIProperty::value[0]), slot);
    EXPECT_EQ(sizeof(SIProperty), slot == 8 ? 48u : 28u);
    EXPECT_EQ(sizeof(SIEvent), 28u);
    EXPECT_EQ(offsetof(SIEvent, data), 1u);
    EXPECT_EQ(offsetof(SIEvent, events), 24u);
}
