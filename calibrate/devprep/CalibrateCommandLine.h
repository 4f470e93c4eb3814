// The command line of the on-demand calibration, as rundll32 passes it:
// the library file and, optionally, the model name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct CalibrateArguments {
    std::string library;
    std::optional<std::string> model;
};

// Leading blanks are skipped; the first blank ends the library file, further
// blanks are skipped, the model runs to the next blank and anything after
// it is ignored. nullopt for an empty line.
std::optional<CalibrateArguments> ParseCalibrateCommandLine(std::string_view line);
