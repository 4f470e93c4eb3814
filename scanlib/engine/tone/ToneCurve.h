// The tone curve: gamma, shadow, highlight, brightness and contrast turned
// into an 8-bit transfer table, computed in single precision.
#pragma once

#include <cstdint>

// Fills table[0 .. n-1]. Entries below the shadow index are 0, entries above
// the highlight index 255; in between a degree-4 polynomial through five gamma
// nodes, plus a linear contrast term pivoting at index span / 2 and a
// brightness offset, clamped to 0..255 and never decreasing. Shadow and
// highlight are 0..255 on the scale of 256 levels; an empty or inverted span
// (highlight not above shadow at this table size) gives a step from 0 to 255.
// Nothing is written when table is null.
void BuildToneCurve(float gamma, uint32_t shadow, uint32_t highlight, int32_t brightness, int32_t contrast,
                    uint8_t* table, uint32_t n);

// The value at x of the degree-4 Lagrange polynomial through the five points
// (nodesX[j], nodesY[j]); the nodes must be distinct.
float ToneCurvePoint(float x, const float nodesX[5], const float nodesY[5]);
