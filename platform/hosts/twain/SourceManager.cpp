// The TWAIN Source Manager behind DSM_Entry.
#include "SourceManager.h"

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" TW_UINT16 DSM_Entry(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

namespace twain_host {
namespace {

// Memory handed to applications through DAT_ENTRYPOINT.
TW_HANDLE GlobalAllocate(TW_UINT32 size) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size); }
void GlobalRelease(TW_HANDLE handle) { GlobalFree(handle); }
TW_MEMREF GlobalLockHandle(TW_HANDLE handle) { return GlobalLock(handle); }
void GlobalUnlockHandle(TW_HANDLE handle) { GlobalUnlock(handle); }

TW_HANDLE PlainAllocate(TW_UINT32 size) { return std::calloc(size == 0 ? 1 : size, 1); }
void PlainRelease(TW_HANDLE handle) { std::free(handle); }
TW_MEMREF PlainLock(TW_HANDLE handle) { return handle; }
void PlainUnlock(TW_HANDLE) {}

bool EndsWithDs(std::string_view name) {
    if (name.size() < 4) return false;
    std::string_view tail = name.substr(name.size() - 3);
    return tail[0] == '.' && (tail[1] == 'd' || tail[1] == 'D') && (tail[2] == 's' || tail[2] == 'S');
}

// This module's own folder.
std::string OwnFolder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string SourcesFolder() {
    const char* folder = std::getenv("PLATFORM_TWAIN_SOURCES");
    return folder != nullptr && *folder != '\0' ? folder : OwnFolder();
}

bool FreeMode() {
    const char* mode = std::getenv("PLATFORM_TWAIN_FREE_MODE");
    return mode != nullptr && std::string_view(mode) == "1";
}

}  // namespace

SourceManager& SourceManager::Instance() {
    // Goes with the module: an application that frees the Source Manager
    // and loads it again starts afresh, and nothing is left behind.
    static SourceManager manager;
    return manager;
}

TW_UINT16 SourceManager::Fail(TW_UINT16 code) {
    condition_ = code;
    return TWRC_FAILURE;
}

SourceManager::Application* SourceManager::FindApplication(TW_UINT32 id) {
    for (auto& app : applications_) {
        if (app.identity.Id == id) return &app;
    }
    return nullptr;
}

SourceManager::Source* SourceManager::FindOpenSource(TW_UINT32 id) {
    for (auto& source : sources_) {
        if (source->open && source->identity.Id == id) return source.get();
    }
    return nullptr;
}

TW_UINT16 SourceManager::Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                               TW_MEMREF data) {
    std::lock_guard guard(lock_);
    if (origin == nullptr) return Fail(TWCC_BADPROTOCOL);
    if (dest == nullptr) return ToManager(origin, dg, dat, msg, data);
    if (Source* source = FindOpenSource(origin->Id)) return FromSource(*source, dest, dat, msg);
    Source* source = FindOpenSource(dest->Id);
    if (source == nullptr || source->appId != origin->Id) return Fail(TWCC_BADDEST);
    return ToSource(origin, *source, dg, dat, msg, data);
}

TW_UINT16 SourceManager::ToManager(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                   TW_MEMREF data) {
    if ((dg & DG_MASK) != DG_CONTROL) return Fail(TWCC_BADPROTOCOL);
    Application* app = FindApplication(origin->Id);
    switch (dat) {
        case DAT_PARENT:
            if (msg == MSG_OPENDSM) {
                if (app != nullptr) return Fail(TWCC_SEQERROR);
                freeMode_ = FreeMode();
                origin->Id = nextId_++;
                if ((origin->SupportedGroups & DF_APP2) != 0) origin->SupportedGroups |= DF_DSM2;
                applications_.push_back({*origin});
                FindSources();
                return TWRC_SUCCESS;
            }
            if (msg == MSG_CLOSEDSM) {
                if (app == nullptr) return Fail(TWCC_SEQERROR);
                for (auto& source : sources_) {
                    if (source->open && source->appId == origin->Id) return Fail(TWCC_SEQERROR);
                }
                applications_.erase(applications_.begin() + (app - applications_.data()));
                if (applications_.empty()) {
                    for (auto& source : sources_) UnloadSource(*source);
                }
                return TWRC_SUCCESS;
            }
            return Fail(TWCC_BADPROTOCOL);
        case DAT_IDENTITY: {
            if (app == nullptr) return Fail(TWCC_SEQERROR);
            auto* identity = static_cast<pTW_IDENTITY>(data);
            if (identity == nullptr) return Fail(TWCC_BADVALUE);
            switch (msg) {
                case MSG_GETFIRST:
                    FindSources();
                    nextSource_ = 0;
                    [[fallthrough]];
                case MSG_GETNEXT:
                    if (nextSource_ >= sources_.size()) return TWRC_ENDOFLIST;
                    *identity = sources_[nextSource_++]->identity;
                    return TWRC_SUCCESS;
                case MSG_GETDEFAULT:
                case MSG_USERSELECT:
                    if (sources_.empty()) return Fail(TWCC_NODS);
                    *identity = sources_.front()->identity;
                    return TWRC_SUCCESS;
                case MSG_OPENDS: return OpenSource(origin, identity);
                case MSG_CLOSEDS: return CloseSource(origin, identity);
                default: return Fail(TWCC_BADPROTOCOL);
            }
        }
        case DAT_STATUS: {
            if (msg != MSG_GET || data == nullptr) return Fail(TWCC_BADPROTOCOL);
            auto* status = static_cast<pTW_STATUS>(data);
            status->ConditionCode = condition_;
            status->Data = 0;
            condition_ = TWCC_SUCCESS;
            return TWRC_SUCCESS;
        }
        case DAT_ENTRYPOINT: {
            if (msg != MSG_GET || data == nullptr) return Fail(TWCC_BADPROTOCOL);
            auto* entry = static_cast<pTW_ENTRYPOINT>(data);
            entry->Size = sizeof(TW_ENTRYPOINT);
            entry->DSM_Entry = DSM_Entry;
            entry->DSM_MemAllocate = freeMode_ ? PlainAllocate : GlobalAllocate;
            entry->DSM_MemFree = freeMode_ ? PlainRelease : GlobalRelease;
            entry->DSM_MemLock = freeMode_ ? PlainLock : GlobalLockHandle;
            entry->DSM_MemUnlock = freeMode_ ? PlainUnlock : GlobalUnlockHandle;
            return TWRC_SUCCESS;
        }
        default: return Fail(TWCC_BADPROTOCOL);
    }
}

void SourceManager::FindSources() {
    for (const auto& source : sources_) {
        if (source->open) return;  // the list stays while a source is open
    }
    for (auto& source : sources_) UnloadSource(*source);
    sources_.clear();

    const std::string folder = SourcesFolder();
    std::vector<std::string> paths;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (EndsWithDs(entry->d_name)) paths.push_back(folder + "/" + entry->d_name);
        }
        ::closedir(dir);
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        auto source = std::make_unique<Source>();
        source->path = path;
        if (!LoadSource(*source)) continue;
        TW_IDENTITY identity{};
        const TW_UINT16 rc = source->entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity);
        if (freeMode_) UnloadSource(*source);
        if (rc != TWRC_SUCCESS || identity.ProductName[0] == '\0') {
            UnloadSource(*source);
            continue;
        }
        identity.Id = 0;
        source->identity = identity;
        sources_.push_back(std::move(source));
    }
}

bool SourceManager::LoadSource(Source& source) {
    if (source.module != nullptr) return true;
    source.module = LoadLibraryA(source.path.c_str());
    if (source.module == nullptr) return false;
    source.entry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(source.module, "DS_Entry")));
    if (source.entry == nullptr) {
        UnloadSource(source);
        return false;
    }
    return true;
}

void SourceManager::UnloadSource(Source& source) {
    if (source.module != nullptr) FreeLibrary(source.module);
    source.module = nullptr;
    source.entry = nullptr;
}

TW_UINT16 SourceManager::OpenSource(pTW_IDENTITY origin, pTW_IDENTITY wanted) {
    Source* chosen = nullptr;
    for (auto& source : sources_) {
        if (wanted->ProductName[0] == '\0' ||
            std::strncmp(source->identity.ProductName, wanted->ProductName, sizeof wanted->ProductName) == 0) {
            chosen = source.get();
            break;
        }
    }
    if (chosen == nullptr) return Fail(TWCC_NODS);
    if (chosen->open) return Fail(TWCC_MAXCONNECTIONS);
    if (!LoadSource(*chosen)) return Fail(TWCC_OPERATIONERROR);
    TW_IDENTITY identity = chosen->identity;
    identity.Id = nextId_++;
    *wanted = identity;
    // The application's identity is a copy that lives for this call only.
    TW_IDENTITY app = *origin;
    ++callDepth_;
    const TW_UINT16 rc = chosen->entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, wanted);
    --callDepth_;
    if (rc != TWRC_SUCCESS) {
        if (freeMode_) UnloadSource(*chosen);
        TW_STATUS status{};
        chosen->entry(&app, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return Fail(status.ConditionCode != TWCC_SUCCESS ? status.ConditionCode : TWCC_OPERATIONERROR);
    }
    chosen->identity = identity;
    chosen->open = true;
    chosen->appId = origin->Id;
    chosen->callback = nullptr;
    chosen->pending.clear();
    return TWRC_SUCCESS;
}

TW_UINT16 SourceManager::CloseSource(pTW_IDENTITY origin, pTW_IDENTITY which) {
    Source* source = FindOpenSource(which->Id);
    if (source == nullptr || source->appId != origin->Id) return Fail(TWCC_NODS);
    TW_IDENTITY app = *origin;
    ++callDepth_;
    const TW_UINT16 rc = source->entry(&app, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, which);
    --callDepth_;
    source->open = false;
    source->appId = 0;
    source->callback = nullptr;
    source->pending.clear();
    source->identity.Id = 0;
    if (freeMode_) UnloadSource(*source);
    return rc;
}

TW_UINT16 SourceManager::ToSource(pTW_IDENTITY origin, Source& source, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                  TW_MEMREF data) {
    if ((dg & DG_MASK) == DG_CONTROL && (dat == DAT_CALLBACK || dat == DAT_CALLBACK2) &&
        msg == MSG_REGISTER_CALLBACK) {
        if (data == nullptr) return Fail(TWCC_BADVALUE);
        source.callback = reinterpret_cast<DSMENTRYPROC>(static_cast<pTW_CALLBACK>(data)->CallBackProc);
        DeliverPending(source);
        return TWRC_SUCCESS;
    }
    TW_IDENTITY app = *origin;
    ++callDepth_;
    TW_UINT16 rc = source.entry(&app, dg, dat, msg, data);
    --callDepth_;
    if ((dg & DG_MASK) == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT && data != nullptr &&
        rc == TWRC_NOTDSEVENT && source.callback == nullptr && !source.pending.empty()) {
        static_cast<pTW_EVENT>(data)->TWMessage = source.pending.front();
        source.pending.pop_front();
        rc = TWRC_DSEVENT;
    }
    DeliverPending(source);
    return rc;
}

TW_UINT16 SourceManager::FromSource(Source& source, pTW_IDENTITY dest, TW_UINT16 dat, TW_UINT16 msg) {
    if (dat != DAT_NULL || dest->Id != source.appId) return Fail(TWCC_BADPROTOCOL);
    switch (msg) {
        case MSG_XFERREADY:
        case MSG_CLOSEDSREQ:
        case MSG_CLOSEDSOK:
        case MSG_DEVICEEVENT: break;
        default: return Fail(TWCC_BADPROTOCOL);
    }
    source.pending.push_back(msg);
    DeliverPending(source);
    return TWRC_SUCCESS;
}

// Through the application's callback once no call into a source is running,
// so a callback never re-enters a source from inside that source.
void SourceManager::DeliverPending(Source& source) {
    while (callDepth_ == 0 && source.open && source.callback != nullptr && !source.pending.empty()) {
        const TW_UINT16 msg = source.pending.front();
        source.pending.pop_front();
        Application* app = FindApplication(source.appId);
        if (app == nullptr) return;
        TW_IDENTITY from = source.identity;
        TW_IDENTITY to = app->identity;
        source.callback(&from, &to, DG_CONTROL, DAT_NULL, msg, nullptr);
    }
}

}  // namespace twain_host
