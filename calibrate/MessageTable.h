// The calibrator's texts in English, French, Spanish, Italian and German
// (Windows-1252), the language chosen once from the system's default one.
#pragma once

#include <windows.h>

enum class CalibratorText {
    Success,
    Failure,
    WhiteOnly,
    CancelButton,
    FirstText,
    InstructionFaceDown,
    Instruction,
    CalibrateButton,
};

// The language code for a language identifier: 1211 French, 1212 Spanish,
// 1213 Italian, 1214 German, 1210 English for any other.
int LanguageCode(LANGID language);

// The text in the language of the code (1210 to 1214).
const char* Text(CalibratorText row, int languageCode);

// The language code of this run, chosen at the first call from
// GetSystemDefaultLangID.
int RunLanguageCode();

// Appended to the failure and white-only boxes.
inline constexpr const char* kCalibrateAgainQuestion = "\n\nDo you want to calibrate again?";
