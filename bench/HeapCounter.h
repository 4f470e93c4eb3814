// Counts the bytes of every operator new of the process, so the benchmark
// can report the peak memory of the chain during a case.
#pragma once

#include <cstddef>

namespace heap {

size_t CurrentBytes();
// Starts a new peak at the current level.
void ResetPeak();
size_t PeakBytes();

}  // namespace heap
