#include "SourceManagerBinding.h"

SourceManagerBinding::~SourceManagerBinding()
{
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

TW_UINT16 SourceManagerBinding::DsmEntry(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat,
                                         TW_UINT16 msg, TW_MEMREF data)
{
    if (entry_ == nullptr) {
        if (module_ == nullptr) {
            module_ = LoadLibraryA("TWAIN_32.DLL");
        }
        if (module_ != nullptr) {
            using Generic = void (*)();
            entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<Generic>(GetProcAddress(module_, "DSM_Entry")));
        }
        if (entry_ == nullptr) {
            return TWRC_FAILURE;
        }
    }
    return entry_(origin, dest, dg, dat, msg, data);
}
