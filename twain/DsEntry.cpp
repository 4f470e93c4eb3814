// The data source's one export.
#include "TwainSource.h"

namespace {
// Lives from the load of the module to its unload.
TwainSource source;
}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(pTW_IDENTITY pOrigin, TW_UINT32 dg, TW_UINT16 dat,
                                                                   TW_UINT16 msg, TW_MEMREF pData)
{
    return source.Entry(pOrigin, dg, dat, msg, pData);
}
