// Window stations and desktops as named objects: the interactive station
// "WinSta0" with its desktops "Default" and "Winlogon", and the service
// station of session 0 with its "Default". A process starts on its session's
// station, each thread on that station's "Default" desktop.
#include "core/Controls.h"
#include "core/Handles.h"
#include "file/PathMap.h"

#include <platform/testing_sessions.h>
#include <winbase.h>
#include <winuser.h>

#include <array>
#include <mutex>
#include <string>

namespace platform {
namespace {

constexpr const char* kInteractiveStation = "WinSta0";
constexpr const char* kServiceStation = "Service-0x0-3e7$";

struct StationDesktops {
    const char* station;
    std::array<const char*, 2> desktops;
};
constexpr std::array<StationDesktops, 2> kStations{{
    {kInteractiveStation, {"Default", "Winlogon"}},
    {kServiceStation, {"Default", nullptr}},
}};

class UserObject final : public KernelObject {
public:
    UserObject(ObjectKind kind, std::string station, std::string desktop)
        : KernelObject(kind), station_(std::move(station)), desktop_(std::move(desktop)) {}
    const std::string& Station() const { return station_; }
    const std::string& Desktop() const { return desktop_; }

private:
    std::string station_;
    std::string desktop_;  // empty for a station
};

const StationDesktops* FindStation(std::string_view name) {
    for (const auto& s : kStations)
        if (EqualsIgnoreCase(s.station, name)) return &s;
    return nullptr;
}

// The default station and desktop of each session kind, made at first use
// and never closed.
struct SessionDefaults {
    HWINSTA station = nullptr;
    HDESK desktop = nullptr;
};

struct ProcessStation {
    std::mutex lock;
    HWINSTA current = nullptr;  // null: the default of the process's session
    SessionDefaults interactive;
    SessionDefaults service;
};

SessionDefaults MakeDefaults(const char* station) {
    SessionDefaults d;
    d.station =
        reinterpret_cast<HWINSTA>(InsertHandle(std::make_shared<UserObject>(ObjectKind::WindowStation, station, "")));
    d.desktop =
        reinterpret_cast<HDESK>(InsertHandle(std::make_shared<UserObject>(ObjectKind::Desktop, station, "Default")));
    return d;
}

ProcessStation& Process() {
    static ProcessStation* state = [] {
        auto* s = new ProcessStation;
        s->interactive = MakeDefaults(kInteractiveStation);
        s->service = MakeDefaults(kServiceStation);
        return s;
    }();
    return *state;
}

// A process starts on its session's station: the service station in
// session 0, "WinSta0" elsewhere.
const SessionDefaults& Defaults() {
    ProcessStation& process = Process();
    return Session() == 0 ? process.service : process.interactive;
}

thread_local HDESK t_desktop = nullptr;  // null: the session's default

std::shared_ptr<UserObject> Lookup(void* handle, ObjectKind kind) {
    return LookupHandleAs<UserObject>(static_cast<HANDLE>(handle), kind);
}

HDESK ThreadDesktop() { return t_desktop != nullptr ? t_desktop : Defaults().desktop; }

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace
}  // namespace platform

std::string platform::testing::ThreadDesktopName() {
    auto desktop = platform::Lookup(platform::ThreadDesktop(), platform::ObjectKind::Desktop);
    return desktop ? desktop->Station() + "\\" + desktop->Desktop() : std::string();
}

std::string platform::testing::ProcessWindowStationName() {
    auto station = platform::Lookup(GetProcessWindowStation(), platform::ObjectKind::WindowStation);
    return station ? station->Station() : std::string();
}

WINUSERAPI HWINSTA WINAPI GetProcessWindowStation(void) {
    auto& process = platform::Process();
    const HWINSTA session = platform::Defaults().station;
    std::lock_guard guard(process.lock);
    return process.current != nullptr ? process.current : session;
}

WINUSERAPI BOOL WINAPI SetProcessWindowStation(HWINSTA hWinSta) {
    using namespace platform;
    if (FailNow("SetProcessWindowStation")) return FALSE;
    if (!Lookup(hWinSta, ObjectKind::WindowStation)) return Fail(ERROR_INVALID_HANDLE);
    auto& process = Process();
    const HWINSTA session = Defaults().station;
    std::lock_guard guard(process.lock);
    process.current = hWinSta == session ? nullptr : hWinSta;
    return TRUE;
}

WINUSERAPI HWINSTA WINAPI OpenWindowStationA(LPCSTR lpszWinSta, BOOL, DWORD) {
    using namespace platform;
    if (FailNow("OpenWindowStationA")) return nullptr;
    const StationDesktops* station = lpszWinSta ? FindStation(lpszWinSta) : nullptr;
    if (station == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HWINSTA>(
        InsertHandle(std::make_shared<UserObject>(ObjectKind::WindowStation, station->station, "")));
}

WINUSERAPI BOOL WINAPI CloseWindowStation(HWINSTA hWinSta) {
    using namespace platform;
    if (!Lookup(hWinSta, ObjectKind::WindowStation)) return Fail(ERROR_INVALID_HANDLE);
    RemoveHandle(reinterpret_cast<HANDLE>(hWinSta));
    return TRUE;
}

WINUSERAPI HDESK WINAPI GetThreadDesktop(DWORD dwThreadId) {
    using namespace platform;
    if (dwThreadId != GetCurrentThreadId()) {
        DebugLine("GetThreadDesktop: only the calling thread is supported");
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return ThreadDesktop();
}

WINUSERAPI BOOL WINAPI SetThreadDesktop(HDESK hDesktop) {
    using namespace platform;
    if (FailNow("SetThreadDesktop")) return FALSE;
    if (!Lookup(hDesktop, ObjectKind::Desktop)) return Fail(ERROR_INVALID_HANDLE);
    t_desktop = hDesktop == Defaults().desktop ? nullptr : hDesktop;
    return TRUE;
}

// Desktops are opened in the process's current window station.
WINUSERAPI HDESK WINAPI OpenDesktopA(LPCSTR lpszDesktop, DWORD, BOOL, DWORD) {
    using namespace platform;
    if (FailNow("OpenDesktopA")) return nullptr;
    auto station = Lookup(GetProcessWindowStation(), ObjectKind::WindowStation);
    const StationDesktops* known = station ? FindStation(station->Station()) : nullptr;
    if (known != nullptr && lpszDesktop != nullptr) {
        for (const char* desktop : known->desktops) {
            if (desktop != nullptr && EqualsIgnoreCase(desktop, lpszDesktop))
                return reinterpret_cast<HDESK>(
                    InsertHandle(std::make_shared<UserObject>(ObjectKind::Desktop, known->station, desktop)));
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

WINUSERAPI BOOL WINAPI CloseDesktop(HDESK hDesktop) {
    using namespace platform;
    if (!Lookup(hDesktop, ObjectKind::Desktop)) return Fail(ERROR_INVALID_HANDLE);
    RemoveHandle(reinterpret_cast<HANDLE>(hDesktop));
    return TRUE;
}
