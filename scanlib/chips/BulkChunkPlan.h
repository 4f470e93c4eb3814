// How a bulk transfer into or out of a controller's memory is cut: pieces of
// at most 0xF000 bytes, then the largest whole number of packets, then a
// tail shorter than a packet carried in one whole bounce packet.
#pragma once

#include <cstdint>
#include <vector>

struct BulkChunk {
    uint32_t offset;          // into the caller's data
    uint32_t dataLength;      // bytes of the caller's data it carries
    uint32_t transferLength;  // bytes on the wire (a whole packet for the bounce)
    bool bounce;              // goes through the one-packet bounce buffer
};

// With packet size 0 (the size is not known) the rest after the 0xF000
// pieces goes as one plain piece.
std::vector<BulkChunk> PlanBulkChunks(uint32_t length, uint32_t packetSize);
