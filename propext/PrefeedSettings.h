// The prefeed values of the scanner "RM310" in its device values: the
// current ones the page shows and writes, and their default copies, seeded
// from the built-in defaults.
#pragma once

#include "STISettings.h"

struct PrefeedValues {
    bool enable = true;
    int delay = 1500;   // milliseconds
    int distance = 13;

    bool operator==(const PrefeedValues&) const = default;
};

inline constexpr PrefeedValues kBuiltInPrefeed{};
inline constexpr wchar_t kPrefeedDevice[] = L"RM310";

// For each value without a default copy: the copy takes the current value,
// or the built-in default (written as the current value too) when there is
// no current value either.
void InitPrefeedDefaults(STISettings& settings);

// The current values; one that cannot be read is written with its built-in
// default and that is used (a failed write makes the result false). No
// device: false, and the built-in defaults.
bool ReadPrefeedSettings(STISettings& settings, PrefeedValues& values);

// The default copies, the built-in default for each that cannot be read.
void ReadPrefeedDefaults(STISettings& settings, PrefeedValues& values);

// Writes the three current values; true when all three were written.
bool WritePrefeedSettings(STISettings& settings, const PrefeedValues& values);
