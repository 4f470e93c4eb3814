#include "chips/BulkChunkPlan.h"

#include "os/OSFunctions.h"

std::vector<BulkChunk> PlanBulkChunks(uint32_t length, uint32_t packetSize) {
    constexpr uint32_t kMaxChunk = GetMaxBulkChunk();
    std::vector<BulkChunk> plan;
    uint32_t offset = 0;
    uint32_t remaining = length;
    while (remaining >= kMaxChunk) {
        plan.push_back({offset, kMaxChunk, kMaxChunk, false});
        offset += kMaxChunk;
        remaining -= kMaxChunk;
    }
    if (remaining == 0) {
        return plan;
    }
    if (packetSize == 0) {
        plan.push_back({offset, remaining, remaining, false});
        return plan;
    }
    const uint32_t whole = remaining - remaining % packetSize;
    if (whole > 0) {
        plan.push_back({offset, whole, whole, false});
        offset += whole;
        remaining -= whole;
    }
    if (remaining > 0) {
        plan.push_back({offset, remaining, packetSize, true});
    }
    return plan;
}
