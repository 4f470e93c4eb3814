#include "CalibrateCommandLine.h"

std::optional<CalibrateArguments> ParseCalibrateCommandLine(std::string_view line) {
    size_t i = line.find_first_not_of(' ');
    if (i == std::string_view::npos) return std::nullopt;
    line.remove_prefix(i);
    CalibrateArguments arguments;
    const size_t end = line.find(' ');
    arguments.library = std::string(line.substr(0, end));
    if (end == std::string_view::npos) return arguments;
    line.remove_prefix(end);
    i = line.find_first_not_of(' ');
    if (i == std::string_view::npos) return arguments;
    line.remove_prefix(i);
    arguments.model = std::string(line.substr(0, line.find(' ')));
    return arguments;
}
