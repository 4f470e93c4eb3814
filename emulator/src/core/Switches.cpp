#include "core/Switches.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include <emulator/VirtualScanner.h>

namespace emulator {
namespace {

enum class Kind { OnOff, Number, Integer, Choice, Text };

struct SwitchDef {
    std::string_view name;
    std::string_view fallback;
    Kind kind;
    std::string_view choices;  // '|'-separated for Choice
};

constexpr std::array kSwitchTable{
    SwitchDef{"seed", "1", Kind::Integer, ""},
    SwitchDef{"clock", "real", Kind::Choice, "real|virtual"},
    SwitchDef{"speed", "1.0", Kind::Number, ""},
    SwitchDef{"request_quantum", "100", Kind::Number, ""},  // microseconds
    SwitchDef{"bus", "off", Kind::Choice, "off|practical|theoretical"},
    SwitchDef{"packet_size", "512", Kind::Choice, "512|64"},
    SwitchDef{"clock_advance_ioctl", "on", Kind::OnOff, ""},
    SwitchDef{"scan_enable_autoclear", "off", Kind::OnOff, ""},
    SwitchDef{"move_extra_steps", "8", Kind::Integer, ""},
    SwitchDef{"fifo_bytes", "1048576", Kind::Integer, ""},
    SwitchDef{"external_power", "on", Kind::OnOff, ""},
    SwitchDef{"eeprom_writable", "off", Kind::OnOff, ""},
    // The board's EEPROM image: its own words, or blank (every word 0xFFFF).
    // Read when the device is built; a later change does nothing.
    SwitchDef{"eeprom", "board", Kind::Choice, "board|blank"},
    SwitchDef{"led_colours", "(blue, green, red)", Kind::Choice, "(blue, green, red)|(red, green, blue)"},
    SwitchDef{"sensitivity", "normal", Kind::Choice, "normal|bright|dim"},
    // D at vref 0 and offset code 128: 3 is a sensor whose front end's
    // start-up values (vref 0, no offset, unity gain) already give a usable
    // page; 58 is the level the calibration sheet's designed path expects.
    SwitchDef{"dark_level", "3", Kind::Number, ""},
    SwitchDef{"colour_sampling", "physical", Kind::Choice, "physical|ideal"},
    SwitchDef{"sampling_shading_shift", "1", Kind::Integer, ""},
    SwitchDef{"afe_channel_map", "(1, 2, 0)", Kind::Text, ""},
    SwitchDef{"pnm_transfer", "linear", Kind::Choice, "linear|srgb"},
    SwitchDef{"x_placement", "centred", Kind::Text, ""},
    SwitchDef{"backing", "0.35", Kind::Number, ""},
    SwitchDef{"pick_delay", "0", Kind::Number, ""},  // seconds
    SwitchDef{"back_lag", "268/600", Kind::Text, ""},
    SwitchDef{"exit_point", "1.5", Kind::Number, ""},
    // GL125 boards.
    SwitchDef{"gl125.led_map", "board", Kind::Choice, "board|direct"},
    SwitchDef{"gl125.read_marker", "85", Kind::Integer, ""},
    SwitchDef{"gl125.image_read_rule", "exact", Kind::Choice, "exact|window"},
    SwitchDef{"gl125.mem_size", "262144", Kind::Integer, ""},
    SwitchDef{"gl125.scan_bit_autoclear", "off", Kind::OnOff, ""},
    SwitchDef{"gl125.counter_tear", "off", Kind::OnOff, ""},
    SwitchDef{"gl125.clock_source", "request", Kind::Choice, "request|register"},
    SwitchDef{"gl125.gpio_input_gate", "always", Kind::Choice, "always|enable"},
    SwitchDef{"gl125.afe_commit", "on_5D", Kind::Choice, "on_5D|on_5E"},
    SwitchDef{"gl125.fifo_bytes", "1048576", Kind::Integer, ""},
    SwitchDef{"gl125.ramp_rule", "fixed4", Kind::Choice, "fixed4|entries"},
    SwitchDef{"gl125.shading_slot", "by_mode", Kind::Choice, "by_mode|always3"},
    SwitchDef{"gl125.gamma_interp", "off", Kind::OnOff, ""},
    SwitchDef{"gl125.back_lag", "optical", Kind::Choice, "optical|fixed600"},
    SwitchDef{"gl125.full_speed", "off", Kind::OnOff, ""},
};

const SwitchDef* Find(std::string_view name)
{
    auto it = std::find_if(kSwitchTable.begin(), kSwitchTable.end(),
                           [&](const SwitchDef& d) { return d.name == name; });
    return it == kSwitchTable.end() ? nullptr : &*it;
}

bool ParseDouble(std::string_view text, double& out)
{
    if (text.empty())
        return false;
    std::string copy(text);
    char* end = nullptr;
    out = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

bool ParseLong(std::string_view text, long& out)
{
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size();
}

bool Valid(const SwitchDef& def, std::string_view value)
{
    double d = 0;
    long l = 0;
    switch (def.kind) {
    case Kind::OnOff:
        return value == "on" || value == "off";
    case Kind::Number:
        return ParseDouble(value, d) && d >= 0;
    case Kind::Integer:
        return ParseLong(value, l);
    case Kind::Choice: {
        std::string_view rest = def.choices;
        while (!rest.empty()) {
            auto bar = rest.find('|');
            if (rest.substr(0, bar) == value)
                return true;
            rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
        }
        return false;
    }
    case Kind::Text:
        return !value.empty();
    }
    return false;
}

}  // namespace

Switches::Switches()
{
    for (const auto& def : kSwitchTable)
        values_.emplace(std::string(def.name), std::string(def.fallback));
}

void Switches::Set(std::string_view name, std::string_view value)
{
    const SwitchDef* def = Find(name);
    if (!def)
        throw Error("unknown switch");
    if (!Valid(*def, value))
        throw Error("bad value for " + std::string(name));
    if (name == "fifo_bytes" && std::stol(std::string(value)) < 4)
        throw Error("bad value for fifo_bytes");
    if (name == "gl125.fifo_bytes" &&
        (std::stol(std::string(value)) < 4 || std::stol(std::string(value)) > (2l << 20) - 2))
        throw Error("bad value for gl125.fifo_bytes");
    if (name == "gl125.read_marker" && (std::stol(std::string(value)) < 0 || std::stol(std::string(value)) > 0xFF))
        throw Error("bad value for gl125.read_marker");
    if (name == "gl125.mem_size" && std::stol(std::string(value)) < 0x14000)
        throw Error("bad value for gl125.mem_size");
    values_.find(name)->second = std::string(value);
}

const std::string& Switches::Get(std::string_view name) const
{
    auto it = values_.find(name);
    if (it == values_.end())
        throw Error("unknown switch");
    return it->second;
}

double Switches::Number(std::string_view name) const
{
    double d = 0;
    ParseDouble(Get(name), d);
    return d;
}

long Switches::Integer(std::string_view name) const
{
    long l = 0;
    ParseLong(Get(name), l);
    return l;
}

}  // namespace emulator
