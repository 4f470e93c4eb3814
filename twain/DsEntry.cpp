// The data source's one export.
#include "TwainSource.h"

namespace {
// Lives from the load of the module to its unload.
TwainSource source;
}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 DG, TW_UINT16 DAT,
                                                                   TW_UINT16 MSG, TW_MEMREF pData)
{
    return source.Entry(pOrigin, DG, DAT, MSG, pData);
}
