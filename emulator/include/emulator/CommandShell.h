// The emulator command's line language: one command in, one answer out
// ("ok", "ok key=value…" or "error: <reason>").
#pragma once

#include <string>
#include <string_view>

namespace emulator {

class VirtualScanner;

class CommandShell {
public:
    explicit CommandShell(VirtualScanner& scanner) : scanner_(scanner) {}

    std::string Execute(std::string_view line);
    bool QuitRequested() const { return quit_; }

private:
    VirtualScanner& scanner_;
    bool quit_ = false;
};

}  // namespace emulator
