// The feeder item's context, kept by the service with the item.
#pragma once

#include <cstdint>

struct WiaItemContext {
    int32_t size;               // 44
    int32_t bytesTransferred;   // of the current page
    int32_t alignedLineBytes;
    int32_t packedLineBytes;
    int32_t imageBytes;
    int32_t documentHandling;   // "Document Handling Select" for the transfer
    int32_t pages;              // "Pages"
    int32_t reserved[4];
};
static_assert(sizeof(WiaItemContext) == 44, "item context layout");
