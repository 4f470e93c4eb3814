#include "engine/spool/SpoolerEnableProperty.h"

#include "os/files/FileFunctions.h"

#include <SIPropertyIds.h>
#include <windows.h>

namespace {

// The system temporary folder, where file spools go.
bool TempDirectory(std::string& out) {
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof(path), path);
    if (n == 0 || n >= sizeof(path)) return false;
    out.assign(path, n);
    return true;
}

}  // namespace

SpoolerEnableProperty::SpoolerEnableProperty() : SingleBool(SI_PROP_SPOOL_ENABLE, SI_ACCESS_READ_WRITE, 1) {}

bool SpoolerEnableProperty::Set(const SIProperty* record) {
    int32_t value = 0;
    if (!record || !Writable() || !AcceptedValue(record, &value)) return false;
    Property* memory = FindDependency(SI_PROP_SPOOL_TO_MEMORY);
    const bool fileMode = !memory || memory->GetInt() == 0;
    if (value == 1 && fileMode) {
        Property* lines = FindDependency(SI_PROP_SCAN_LENGTH);
        Property* width = FindDependency(SI_PROP_WIDTH_IN_BYTES);
        uint64_t pageBytes = 0;
        if (lines && width && lines->GetInt() > 0 && width->GetInt() > 0) {
            pageBytes = static_cast<uint64_t>(lines->GetInt()) * static_cast<uint64_t>(width->GetInt());
        }
        std::string dir;
        int high = 0;
        unsigned low = 0;
        if (TempDirectory(dir) && OSGetDiskFreeSpace(dir.c_str(), &high, &low)) {
            const uint64_t freeBytes = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
            if (freeBytes < RequiredBytes(pageBytes)) return false;
        }
    }
    return SingleBool::Set(record);
}
