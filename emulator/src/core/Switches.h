// The device's named switches: every ambiguous choice, with its default,
// settable through the API and `--set NAME=VALUE`.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace emulator {

class Switches {
public:
    Switches();

    // Error "unknown switch" or "bad value for NAME".
    void Set(std::string_view name, std::string_view value);
    const std::string& Get(std::string_view name) const;  // Error "unknown switch"

    bool On(std::string_view name) const { return Get(name) == "on"; }
    double Number(std::string_view name) const;
    long Integer(std::string_view name) const;

private:
    std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace emulator
