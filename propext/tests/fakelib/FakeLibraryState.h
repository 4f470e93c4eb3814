// The answers of the fake scanner library the command tests load as
// "Pelidor.dll", and what it was asked.
#pragma once

#include <SIInterface.h>

#include <string>
#include <vector>

struct FakeLibraryState {
    SIResult openResult = SI_OK;
    SIResult paperResult = SI_OK;
    // Paper answers in order; the last one repeats.
    std::vector<int> paper{SI_PAPER_PRESENT};
    SIResult calibrateResult = SI_OK;
    SIResult cleanResult = SI_OK;
    std::vector<std::string> calls;
};

using FakeLibraryControlFunction = FakeLibraryState* (*)();
