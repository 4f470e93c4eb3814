// The TWAIN Source Manager: applications and their Ids, the data sources
// found as *.ds files in the sources folder, the routing of triplets between
// them, and the notifications sources send to applications.
//
// Sources folder: PLATFORM_TWAIN_SOURCES, else this module's own folder.
// Test mode PLATFORM_TWAIN_FREE_MODE=1: memory handed to applications through
// DAT_ENTRYPOINT is calloc/free, and a source's module is unloaded after
// every identity query and at every close, as the Linux Source Manager does.
#pragma once

#include <twain.h>
#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace twain_host {

class SourceManager {
public:
    static SourceManager& Instance();

    TW_UINT16 Entry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);

private:
    struct Source {
        std::string path;
        TW_IDENTITY identity{};   // as the source reports it; Id once opened
        HMODULE module = nullptr;
        DSENTRYPROC entry = nullptr;
        bool open = false;
        TW_UINT32 appId = 0;
        // The application's callback for this source, if registered.
        DSMENTRYPROC callback = nullptr;
        // Notifications waiting for the application.
        std::deque<TW_UINT16> pending;
    };
    struct Application {
        TW_IDENTITY identity{};
    };

    TW_UINT16 ToManager(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    TW_UINT16 ToSource(pTW_IDENTITY origin, Source& source, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                       TW_MEMREF data);
    TW_UINT16 FromSource(Source& source, pTW_IDENTITY dest, TW_UINT16 dat, TW_UINT16 msg);
    TW_UINT16 OpenSource(pTW_IDENTITY origin, pTW_IDENTITY wanted);
    TW_UINT16 CloseSource(pTW_IDENTITY origin, pTW_IDENTITY which);
    TW_UINT16 Fail(TW_UINT16 code);

    void FindSources();
    bool LoadSource(Source& source);
    void UnloadSource(Source& source);
    void DeliverPending(Source& source);
    Application* FindApplication(TW_UINT32 id);
    Source* FindOpenSource(TW_UINT32 id);

    std::recursive_mutex lock_;
    std::vector<Application> applications_;
    std::vector<std::unique_ptr<Source>> sources_;
    size_t nextSource_ = 0;  // MSG_GETNEXT position
    TW_UINT32 nextId_ = 1;
    TW_UINT16 condition_ = TWCC_SUCCESS;
    int callDepth_ = 0;      // calls into sources in progress
    bool freeMode_ = false;
};

}  // namespace twain_host
