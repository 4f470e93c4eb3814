// The roller-cleaning cycle run by SI_Clean under the scan lock: the sheet is
// drawn in by two inches' worth of lines at optical resolution, moved forward
// and backward by half an inch five times at a feed rate of at most 1.37 and
// ejected; the properties it changes are restored.
#pragma once

#include <SIInterface.h>

// 0, the first failing feed's result, or 2052 when the callback cancels.
SIResult RunCleaningCycle(SIProgressCallback progress);
