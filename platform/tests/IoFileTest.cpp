// Files, folders and paths on the emulated machine's drives.
#include <windows.h>
#include <shlobj.h>
#include <usbscan.h>
#include <setupapi.h>

#include <platform/testing.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>
#include <fstream>
#include <string>

namespace {

std::string Root() { return platform::testing::Root(); }

bool NativeExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

HANDLE Open(const char* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void WriteNative(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(IoFileTest, RecordLayoutsOfBothBuilds) {
    EXPECT_EQ(sizeof(IO_BLOCK), sizeof(void*) == 8 ? 24u : 16u);
    EXPECT_EQ(offsetof(IO_BLOCK, uIndex), sizeof(void*) == 8 ? 16u : 12u);
    EXPECT_EQ(sizeof(SP_DEVINFO_DATA), sizeof(void*) == 8 ? 32u : 28u);
    EXPECT_EQ(sizeof(WIN32_FILE_ATTRIBUTE_DATA), 36u);
    EXPECT_EQ(sizeof(WIN32_FIND_DATAA), 320u);
    EXPECT_EQ(offsetof(WIN32_FIND_DATAA, cFileName), 44u);
    EXPECT_EQ(sizeof(DEVICE_DESCRIPTOR), 8u);
    EXPECT_EQ(sizeof(CHANNEL_INFO), 12u);
}

struct PathCase {
    const char* windows;
    const char* native;  // relative to the root
};

TEST(IoFileTest, WindowsPathsMapOntoTheDriveFolders) {
    ASSERT_EQ(::mkdir((Root() + "/drives/c/Data").c_str(), 0777), 0);
    const PathCase cases[] = {
        {"C:\\Data\\a.txt", "/drives/c/Data/a.txt"},
        {"c:/data/b.txt", "/drives/c/Data/b.txt"},
        {"\\Data\\c.txt", "/drives/c/Data/c.txt"},
        {"C:\\Data\\.\\x\\..\\d.txt", "/drives/c/Data/d.txt"},
        {"C:\\..\\..\\e.txt", "/drives/c/e.txt"},
        {"C:\\DATA\\NewName.TXT", "/drives/c/Data/NewName.TXT"},
    };
    for (const auto& entry : cases) {
        HANDLE file = Open(entry.windows, GENERIC_WRITE, 0, CREATE_NEW);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << entry.windows;
        CloseHandle(file);
        EXPECT_TRUE(NativeExists(Root() + entry.native)) << entry.windows;
    }
}

TEST(IoFileTest, ExactNameWinsOverOtherCases) {
    std::string folder = Root() + "/drives/c/Mixed";
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    WriteNative(folder + "/file.txt", "lower");
    WriteNative(folder + "/FILE.txt", "upper");
    WriteNative(folder + "/File.TXT", "mixed");
    auto contents = [](const char* path) {
        HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        char text[16] = {};
        DWORD count = 0;
        ReadFile(file, text, sizeof text - 1, &count, nullptr);
        CloseHandle(file);
        return std::string(text, count);
    };
    EXPECT_EQ(contents("C:\\Mixed\\file.txt"), "lower");
    EXPECT_EQ(contents("C:\\Mixed\\File.TXT"), "mixed");
    // No exact match: the first in byte order.
    EXPECT_EQ(contents("C:\\mixed\\fILE.txt"), "upper");
}

TEST(IoFileTest, BadPathsAreRefused) {
    struct BadCase {
        std::string path;
        DWORD error;
    };
    const BadCase cases[] = {
        {"\\\\server\\share\\x", ERROR_INVALID_NAME},
        {"C:name.txt", ERROR_INVALID_NAME},
        {"Q:\\x.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\NoFolder\\x.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\" + std::string(MAX_PATH, 'a'), ERROR_FILENAME_EXCED_RANGE},
        {"C:\\missing.txt", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(Open(entry.path.c_str(), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE) << entry.path;
        EXPECT_EQ(GetLastError(), entry.error) << entry.path;
    }
    EXPECT_EQ(Open("C:\\Windows", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(IoFileTest, NativeAndRelativePathsAreUsedAsGiven) {
    std::string native = Root() + "/native.txt";
    HANDLE file = Open(native.c_str(), GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(NativeExists(native));
}

TEST(IoFileTest, DispositionsReportWhetherTheFileExisted) {
    HANDLE file = Open("C:\\d.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "abcdef", 6, &written, nullptr));
    CloseHandle(file);

    EXPECT_EQ(Open("C:\\d.bin", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    file = Open("C:\\d.bin", GENERIC_READ, 0, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 6u);
    CloseHandle(file);

    file = Open("C:\\d.bin", GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
}

TEST(IoFileTest, ReadWriteSeekAndTruncate) {
    HANDLE file = Open("C:\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "0123456789", 10, &count, nullptr));
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    char text[8] = {};
    ASSERT_TRUE(ReadFile(file, text, 3, &count, nullptr));
    EXPECT_EQ(std::string(text, count), "456");
    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_END), 9u);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    ASSERT_TRUE(SetEndOfFile(file));
    DWORD high = 1;
    EXPECT_EQ(GetFileSize(file, &high), 6u);
    EXPECT_EQ(high, 0u);
    // End of file reads nothing and succeeds.
    ASSERT_TRUE(ReadFile(file, text, 3, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
}

TEST(IoFileTest, OverlappedFileRequestsCompleteAtOnceAtTheOffset) {
    HANDLE file = CreateFileA("C:\\ov.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    overlapped.Offset = 3;
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(file, "xyz", 3, &count, &overlapped));
    EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0), WAIT_OBJECT_0);
    ResetEvent(overlapped.hEvent);
    overlapped.Offset = 4;
    char text[4] = {};
    ASSERT_TRUE(ReadFile(file, text, 2, &count, &overlapped));
    EXPECT_EQ(std::string(text, 2), "yz");
    ASSERT_TRUE(GetOverlappedResult(file, &overlapped, &count, FALSE));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(GetFileSize(file, nullptr), 6u);
    CloseHandle(overlapped.hEvent);
    CloseHandle(file);
}

struct ShareCase {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool allowed;
};

TEST(IoFileTest, ShareModesDecideWhetherASecondOpenSucceeds) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    const ShareCase cases[] = {
        {R, SR, R, SR, true},       {R, SR, W, SR | SW, false}, {R, SR | SW, W, SR | SW, true},
        {W, SR, R, SR | SW, true},  {W, SR | SW, R, SR, false}, {W, SR | SW, R, SR | SW, true},
        {R, 0, R, SR | SW, false},  {R | W, SR, R, SR | SW, true}, {R | W, SR, R, SR, false},
        {0, 0, R, SR, true},        {R, SR, 0, 0, true},
    };
    HANDLE seed = Open("C:\\share.bin", W, 0, CREATE_NEW);
    ASSERT_NE(seed, INVALID_HANDLE_VALUE);
    CloseHandle(seed);
    for (const auto& entry : cases) {
        HANDLE first = Open("C:\\share.bin", entry.firstAccess, entry.firstShare, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = Open("C:\\share.bin", entry.secondAccess, entry.secondShare, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, entry.allowed)
            << entry.firstAccess << "/" << entry.firstShare << " then " << entry.secondAccess << "/"
            << entry.secondShare;
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        CloseHandle(first);
    }
}

// Child role: opens the file without sharing, says "open", exits at end of input.
int ExclusiveHolder(const std::vector<std::string>& args) {
    HANDLE file = Open(args.at(0).c_str(), GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return 3;
    std::printf("open\n");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    CloseHandle(file);
    return 0;
}

const bool holderRegistered = platform::testing::RegisterChildRole("io-exclusive-holder", &ExclusiveHolder);

TEST(IoFileProcessTest, ShareModesHoldAcrossProcessesUntilTheHolderDies) {
    ASSERT_TRUE(holderRegistered);
    platform::testing::ChildProcess child("io-exclusive-holder", {"C:\\held.bin"});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("open"));
    EXPECT_EQ(Open("C:\\held.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    child.Kill();
    child.Wait();
    HANDLE file = Open("C:\\held.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(IoFileTest, RefusedOpenDoesNotTruncate) {
    HANDLE first = Open("C:\\keep.bin", GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(first, "data", 4, &count, nullptr));
    EXPECT_EQ(Open("C:\\keep.bin", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(GetFileSize(first, nullptr), 4u);
    CloseHandle(first);
}

TEST(IoFileTest, DeleteNeedsShareDeleteFromEveryOpen) {
    HANDLE file = Open("C:\\del.bin", GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileA("C:\\del.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(file);
    file = Open("C:\\del.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    EXPECT_TRUE(DeleteFileA("C:\\del.bin"));
    CloseHandle(file);
    EXPECT_FALSE(DeleteFileA("C:\\del.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA("C:\\Windows"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(IoFileTest, AttributesOfFilesAndFolders) {
    EXPECT_EQ(GetFileAttributesA("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\Windows\\System32"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\none"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::string native = Root() + "/drives/c/ro.txt";
    WriteNative(native, "12345");
    ASSERT_EQ(::chmod(native.c_str(), 0444), 0);
    EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));

    // 2001-09-09 01:46:40 UTC = 1000000000 s.
    timespec times[2] = {{1000000000, 500}, {1000000000, 1234567}};
    ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), times, 0), 0);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExA("C:\\ro.txt", GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 5u);
    uint64_t written = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
    EXPECT_EQ(written, (1000000000ull + 11644473600ull) * 10000000ull + 12345);
}

TEST(IoFileTest, CreateDirectoryRules) {
    EXPECT_TRUE(CreateDirectoryA("C:\\NewDir\\", nullptr));
    EXPECT_EQ(GetFileAttributesA("C:\\newdir"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(CreateDirectoryA("C:\\NewDir", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\No\\Parent", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    ASSERT_TRUE(CreateDirectoryA("C:\\Open", &attributes));
    struct stat st {};
    ASSERT_EQ(::stat((Root() + "/drives/c/Open").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0777u);
    HANDLE file = Open("C:\\Open\\inherits.txt", GENERIC_WRITE, 0, CREATE_NEW);
    CloseHandle(file);
    ASSERT_EQ(::stat((Root() + "/drives/c/Open/inherits.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST(IoFileTest, TemporaryFiles) {
    char folder[MAX_PATH] = {};
    DWORD length = GetTempPathA(MAX_PATH, folder);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::string(folder), Root() + "/drives/c/Windows/Temp/");
    EXPECT_EQ(GetTempPathA(3, folder), length + 1);

    char first[MAX_PATH] = {};
    char second[MAX_PATH] = {};
    UINT a = GetTempFileNameA(folder, "SIX", 0, first);
    UINT b = GetTempFileNameA(folder, "SIX", 0, second);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_STRNE(first, second);
    EXPECT_TRUE(NativeExists(first));
    EXPECT_EQ(std::string(first).rfind(std::string(folder) + "SI", 0), 0u);
    EXPECT_EQ(std::string(first).substr(std::strlen(first) - 4), ".tmp");

    char named[MAX_PATH] = {};
    EXPECT_EQ(GetTempFileNameA("C:\\Windows\\Temp", "AB", 0x1F, named), 0x1Fu);
    EXPECT_STREQ(named, "C:\\Windows\\Temp\\AB1F.tmp");
    EXPECT_FALSE(NativeExists(Root() + "/drives/c/Windows/Temp/AB1F.tmp"));
    EXPECT_EQ(GetTempFileNameA("C:\\Nowhere", "SI", 0, named), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST(IoFileTest, FreeSpaceAndItsOverride) {
    ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_TRUE(GetDiskFreeSpaceExA("C:\\", nullptr, nullptr, nullptr));
    platform::testing::SetFreeSpace(12345);
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\Windows", &available, nullptr, nullptr));
    EXPECT_EQ(available.QuadPart, 12345u);
    EXPECT_FALSE(GetDiskFreeSpaceExA("C:\\Nothing", &available, nullptr, nullptr));

    // A folder with its own free space, for itself and what lies below it.
    platform::testing::SetFreeSpaceOf("C:\\Windows", 777);
    platform::testing::SetFreeSpaceOf("C:\\Windows\\Temp", 0);
    struct SpaceCase {
        const char* folder;
        uint64_t bytes;
    };
    const SpaceCase cases[] = {
        {"C:\\", 12345},  {"C:\\Windows", 777}, {"C:\\Windows\\", 777}, {"C:\\Windows\\System32", 777},
        {"C:\\Windows\\Temp", 0}, {"C:\\WINDOWS\\TEMP\\", 0}, {"C:\\ProgramData", 12345},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(GetDiskFreeSpaceExA(c.folder, &available, nullptr, &free)) << c.folder;
        EXPECT_EQ(available.QuadPart, c.bytes) << c.folder;
        EXPECT_EQ(free.QuadPart, c.bytes) << c.folder;
    }
    char temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    ASSERT_TRUE(GetDiskFreeSpaceExA(temp, &available, nullptr, nullptr));
    EXPECT_EQ(available.QuadPart, 0u) << temp;
    platform::testing::SetFreeSpaceOf("C:\\Windows\\Temp", std::nullopt);
    ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\Windows\\Temp", &available, nullptr, nullptr));
    EXPECT_EQ(available.QuadPart, 777u);
    platform::testing::SetFreeSpaceOf("C:\\Windows", std::nullopt);
    platform::testing::SetFreeSpace(std::nullopt);
}

TEST(IoFileTest, SpecialFolders) {
    struct FolderCase {
        int csidl;
        const char* path;
    };
    const FolderCase cases[] = {
        {CSIDL_PERSONAL, "C:\\Users\\User\\Documents"},      {CSIDL_APPDATA, "C:\\Users\\User\\AppData\\Roaming"},
        {CSIDL_LOCAL_APPDATA, "C:\\Users\\User\\AppData\\Local"}, {CSIDL_COMMON_APPDATA, "C:\\ProgramData"},
        {CSIDL_WINDOWS, "C:\\Windows"},                      {CSIDL_SYSTEM, "C:\\Windows\\System32"},
        {CSIDL_PROGRAM_FILES, "C:\\Program Files"},
    };
    for (const auto& entry : cases) {
        char path[MAX_PATH] = {};
        EXPECT_EQ(SHGetFolderPathA(nullptr, entry.csidl, nullptr, 0, path), S_OK);
        EXPECT_STREQ(path, entry.path);
    }
    char path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, 0x77, nullptr, 0, path), E_INVALIDARG);
    ASSERT_EQ(::rmdir((Root() + "/drives/c/ProgramData").c_str()), 0);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path), S_FALSE);
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path), S_OK);
    EXPECT_EQ(GetFileAttributesA(path), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    char small[4];
    EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 11u);
    char windows[MAX_PATH];
    EXPECT_EQ(GetSystemDirectoryA(windows, MAX_PATH), 19u);
    EXPECT_STREQ(windows, "C:\\Windows\\System32");
}

TEST(IoFileTest, InjectedFailuresAtEntry) {
    platform::testing::InjectFailure("CreateFileA", ERROR_ACCESS_DENIED, 0, 1);
    EXPECT_EQ(Open("C:\\x.bin", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    platform::testing::InjectFailure("SHGetFolderPathA", ERROR_ACCESS_DENIED, 0, 1);
    char path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
}

TEST(IoFileTest, MoveReplacesOnlyWhenAskedAndRespectsDeleteSharing) {
    WriteNative(Root() + "/drives/c/new.tmp", "new");
    WriteNative(Root() + "/drives/c/old.dat", "old");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA("C:\\new.tmp", "C:\\old.dat", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    HANDLE reader = Open("C:\\old.dat", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(MoveFileExA("C:\\new.tmp", "C:\\old.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(reader);

    ASSERT_TRUE(MoveFileExA("C:\\new.tmp", "C:\\old.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(NativeExists(Root() + "/drives/c/new.tmp"));
    std::ifstream in(Root() + "/drives/c/old.dat");
    std::string text;
    in >> text;
    EXPECT_EQ(text, "new");
    EXPECT_FALSE(MoveFileExA("C:\\missing.tmp", "C:\\old.dat", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

std::string ReadBack(HANDLE file) {
    char text[32] = {};
    DWORD count = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 || !ReadFile(file, text, sizeof text, &count, nullptr)) {
        return "<read failed>";
    }
    return std::string(text, count);
}

TEST(IoFileTest, DeleteOnCloseLeavesNoNameButKeepsTheDataForEveryHandle) {
    constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const std::string native = Root() + "/drives/c/spool.tmp";
    // A handle opened before keeps reading what the delete-on-close one writes.
    WriteNative(native, "");
    HANDLE reader = Open("C:\\spool.tmp", GENERIC_READ, kAll, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE writer = CreateFileA("C:\\spool.tmp", GENERIC_READ | GENERIC_WRITE, kAll, nullptr, TRUNCATE_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(NativeExists(native));
    EXPECT_EQ(GetFileAttributesA("C:\\spool.tmp"), INVALID_FILE_ATTRIBUTES);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(writer, "page", 4, &count, nullptr));
    EXPECT_EQ(ReadBack(writer), "page");
    EXPECT_EQ(ReadBack(reader), "page");
    CloseHandle(writer);
    EXPECT_EQ(ReadBack(reader), "page");
    CloseHandle(reader);
    EXPECT_FALSE(NativeExists(native));

    // A new file made with the flag, written through a write-only handle.
    HANDLE made = CreateFileA("C:\\made.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(NativeExists(Root() + "/drives/c/made.tmp"));
    EXPECT_TRUE(WriteFile(made, "x", 1, &count, nullptr));
    CloseHandle(made);
    EXPECT_FALSE(NativeExists(Root() + "/drives/c/made.tmp"));
}

TEST(IoFileTest, DeleteOnCloseNeedsShareDeleteFromEveryOpen) {
    const std::string native = Root() + "/drives/c/kept.tmp";
    WriteNative(native, "kept");
    HANDLE holder = Open("C:\\kept.tmp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("C:\\kept.tmp", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(NativeExists(native));
    EXPECT_EQ(ReadBack(holder), "kept");
    CloseHandle(holder);
}

// Child role: makes a delete-on-close file, writes to it, says "open" and
// waits to be killed.
int DeleteOnCloseHolder(const std::vector<std::string>& args) {
    HANDLE file = CreateFileA(args.at(0).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD count = 0;
    if (!WriteFile(file, "unfinished", 10, &count, nullptr)) return 4;
    std::printf("open\n");
    std::fflush(stdout);
    char line[16];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    return 0;
}

const bool deleteOnCloseRegistered = platform::testing::RegisterChildRole("io-delete-on-close", &DeleteOnCloseHolder);

TEST(IoFileProcessTest, DeleteOnCloseFileOfAKilledProcessIsGone) {
    ASSERT_TRUE(deleteOnCloseRegistered);
    platform::testing::ChildProcess child("io-delete-on-close", {"C:\\Windows\\Temp\\SI7.tmp"});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), std::optional<std::string>("open"));
    child.Kill();
    child.Wait();
    EXPECT_FALSE(NativeExists(Root() + "/drives/c/Windows/Temp/SI7.tmp"));
    WIN32_FIND_DATAA found{};
    EXPECT_EQ(FindFirstFileA("C:\\Windows\\Temp\\SI*.tmp", &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Every name a search hands out, in order; {"<error N>"} when it finds none.
std::vector<std::string> Search(const char* pattern) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return {"<error " + std::to_string(GetLastError()) + ">"};
    std::vector<std::string> names;
    do {
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    const DWORD end = GetLastError();
    EXPECT_TRUE(FindClose(search));
    if (end != ERROR_NO_MORE_FILES) names.push_back("<end " + std::to_string(end) + ">");
    return names;
}

struct SearchCase {
    const char* pattern;
    std::vector<std::string> names;
};

TEST(IoFileTest, FindFilesMatchesWildcardsIgnoringCase) {
    const std::string folder = Root() + "/drives/c/found";
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((folder + "/sub").c_str(), 0777), 0);
    for (const char* name : {"SI1A.tmp", "si2.TMP", "SIX.dat", "other.tmp", "S.tmp", "SI.tmp.bak"}) {
        WriteNative(folder + "/" + name, name);
    }
    const std::string notFound = "<error " + std::to_string(ERROR_FILE_NOT_FOUND) + ">";
    const SearchCase cases[] = {
        {"C:\\found\\SI*.tmp", {"SI1A.tmp", "si2.TMP"}},
        {"C:\\found\\*", {".", "..", "other.tmp", "S.tmp", "SI.tmp.bak", "SI1A.tmp", "si2.TMP", "SIX.dat", "sub"}},
        {"C:\\found\\*.*", {".", "..", "other.tmp", "S.tmp", "SI.tmp.bak", "SI1A.tmp", "si2.TMP", "SIX.dat", "sub"}},
        {"C:\\found\\?.tmp", {"S.tmp"}},
        {"C:\\found\\S??.tmp", {"si2.TMP"}},
        {"C:\\found\\*a*", {"SI.tmp.bak", "SI1A.tmp", "SIX.dat"}},
        {"C:\\found\\*.tmp*", {"other.tmp", "S.tmp", "SI.tmp.bak", "SI1A.tmp", "si2.TMP"}},
        {"C:\\FOUND\\six.DAT", {"SIX.dat"}},
        {"C:\\found\\s*x*t", {"SIX.dat"}},
        {"C:\\found\\nothing*", {notFound}},
        {"C:\\found\\", {notFound}},
        {"C:\\nowhere\\*", {"<error " + std::to_string(ERROR_PATH_NOT_FOUND) + ">"}},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(Search(entry.pattern), entry.names) << entry.pattern;
    }
}

TEST(IoFileTest, FindFilesReportsWhatEachEntryIs) {
    const std::string folder = Root() + "/drives/c/kinds";
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((folder + "/inner").c_str(), 0777), 0);
    WriteNative(folder + "/five.bin", "12345");
    WriteNative(folder + "/gone.bin", "");
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA("C:\\kinds\\*.bin", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, "five.bin");
    EXPECT_EQ(found.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    EXPECT_NE(found.ftLastWriteTime.dwHighDateTime, 0u);
    // A match deleted after the search began is not handed out.
    ASSERT_TRUE(DeleteFileA("C:\\kinds\\gone.bin"));
    EXPECT_FALSE(FindNextFileA(search, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    search = FindFirstFileA("C:\\kinds\\inner", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(found.nFileSizeLow, 0u);
    // A search handle is no file handle.
    char byte = 0;
    DWORD count = 0;
    EXPECT_FALSE(ReadFile(search, &byte, 1, &count, nullptr));
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindNextFileA(nullptr, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
