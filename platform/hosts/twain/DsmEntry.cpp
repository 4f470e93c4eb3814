// The Source Manager's one export.
#include "SourceManager.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest,
                                                                    TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                                                    TW_MEMREF pData) {
    return twain_host::SourceManager::Instance().Entry(pOrigin, pDest, dg, dat, msg, pData);
}
