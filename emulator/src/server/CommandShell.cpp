#include <emulator/CommandShell.h>

#include <charconv>
#include <functional>
#include <string>

#include <emulator/VirtualScanner.h>

namespace emulator {
namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

void NoArgument(std::string_view arg)
{
    if (!arg.empty())
        throw Error("unexpected argument");
}

void Insert(VirtualScanner& s, std::string_view arg)
{
    if (arg.empty())
        throw Error("missing sheet");
    const auto comma = arg.find(',');
    s.InsertSheet(std::string(arg.substr(0, comma)),
                  comma == std::string_view::npos ? std::string() : std::string(arg.substr(comma + 1)));
}

void Advance(VirtualScanner& s, std::string_view arg)
{
    double ms = 0;
    const std::string text(arg);
    char* end = nullptr;
    ms = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || ms < 0)
        throw Error("bad duration");
    s.AdvanceClock(std::chrono::nanoseconds(static_cast<std::int64_t>(ms * 1e6)));
}

void Set(VirtualScanner& s, std::string_view arg)
{
    const auto eq = arg.find('=');
    if (eq == std::string_view::npos)
        throw Error("expected NAME=VALUE");
    s.SetSwitch(Trim(arg.substr(0, eq)), Trim(arg.substr(eq + 1)));
}

struct Command {
    std::string_view name;
    std::function<void(VirtualScanner&, std::string_view)> run;
};

const std::array<Command, 11> kCommands{{
    {"insert", Insert},
    {"insert-calibration", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.InsertCalibrationSheet(); }},
    {"press", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.Press(); }},
    {"release", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.Release(); }},
    {"unplug", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.Unplug(); }},
    {"plug", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.Plug(); }},
    {"power-cycle", [](VirtualScanner& s, std::string_view a) { NoArgument(a); s.PowerCycle(); }},
    {"advance", Advance},
    {"set", Set},
    {"fault", [](VirtualScanner& s, std::string_view a) { s.InjectFault(a); }},
    {"quit", [](VirtualScanner&, std::string_view a) { NoArgument(a); }},
}};

}  // namespace

std::string CommandShell::Execute(std::string_view line)
{
    line = Trim(line);
    const auto space = line.find(' ');
    const std::string_view name = line.substr(0, space);
    const std::string_view arg = space == std::string_view::npos ? std::string_view{} : Trim(line.substr(space + 1));
    try {
        if (name == "state") {
            NoArgument(arg);
            return "ok " + scanner_.StateLine();
        }
        for (const auto& command : kCommands) {
            if (command.name == name) {
                command.run(scanner_, arg);
                if (name == "quit")
                    quit_ = true;
                return "ok";
            }
        }
        return "error: unknown command";
    } catch (const Error& e) {
        return std::string("error: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("error: ") + e.what();
    }
}

}  // namespace emulator
