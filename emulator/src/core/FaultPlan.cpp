#include "core/FaultPlan.h"

#include <array>
#include <charconv>
#include <limits>

#include <emulator/VirtualScanner.h>

namespace emulator {
namespace {

struct KindName {
    std::string_view name;
    FaultKind kind;
    bool needsArgument;
};

constexpr std::array kKinds{
    KindName{"timeout", FaultKind::Timeout, false}, KindName{"stall", FaultKind::Stall, false},
    KindName{"error", FaultKind::Error, true},      KindName{"delay", FaultKind::Delay, true},
    KindName{"short", FaultKind::Short, true},      KindName{"unplug", FaultKind::Unplug, false},
    KindName{"power-cycle", FaultKind::PowerCycle, false},
};

constexpr std::array<std::string_view, 7> kStateFaults{
    "busy", "motor-never-idle", "no-lines", "scan-enable-autoclear", "jam", "slip", "no-pick"};

constexpr std::array<std::string_view, 8> kClasses{
    "control-in", "control-out", "vendor", "bulk-in", "bulk-out", "ioctl", "event", "any"};

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::uint32_t Number(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint32_t value = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size())
        throw Error("bad fault");
    return value;
}

}  // namespace

std::optional<StateFault> FaultPlan::Add(std::string_view spec)
{
    spec = Trim(spec);
    const auto on = spec.find(" ON ");
    std::string_view kindPart = Trim(spec.substr(0, on));
    std::string_view kindName = kindPart.substr(0, kindPart.find(':'));
    std::string_view kindArg = kindPart.find(':') == std::string_view::npos
                                   ? std::string_view{}
                                   : kindPart.substr(kindPart.find(':') + 1);
    if (on == std::string_view::npos) {
        for (auto name : kStateFaults) {
            if (name == kindName)
                return StateFault{std::string(kindName), std::string(kindArg)};
        }
        throw Error("bad fault");
    }
    Entry entry;
    const KindName* kind = nullptr;
    for (const auto& k : kKinds) {
        if (k.name == kindName)
            kind = &k;
    }
    if (!kind || kind->needsArgument == kindArg.empty())
        throw Error("bad fault");
    entry.fault.kind = kind->kind;
    entry.fault.argument = kindArg.empty() ? 0 : Number(kindArg);

    std::string_view cls = Trim(spec.substr(on + 4));
    if (auto star = cls.find('*'); star != std::string_view::npos) {
        // "*COUNT", with "*" (or nothing) for every matching request.
        const std::string_view count = cls.substr(star + 1);
        entry.remaining = count == "*" || count.empty() ? std::numeric_limits<std::uint32_t>::max() : Number(count);
        cls = cls.substr(0, star);
    }
    if (auto at = cls.find('@'); at != std::string_view::npos) {
        const std::uint32_t n = Number(cls.substr(at + 1));
        if (n == 0)
            throw Error("bad fault");
        entry.skip = n - 1;
        cls = cls.substr(0, at);
    }
    std::string_view clsName = cls.substr(0, cls.find(':'));
    bool known = false;
    for (auto name : kClasses)
        known = known || name == clsName;
    const bool hasArg = cls.find(':') != std::string_view::npos;
    if (!known || hasArg != (clsName == "vendor" || clsName == "ioctl"))
        throw Error("bad fault");
    if (hasArg)
        entry.classArgument = Number(cls.substr(cls.find(':') + 1));
    entry.cls = std::string(clsName);
    entries_.push_back(entry);
    return std::nullopt;
}

bool FaultPlan::Matches(const Entry& entry, const RequestClass& r)
{
    const std::string& c = entry.cls;
    if (c == "any")
        return true;
    if (c == "control-in")
        return r.controlIn;
    if (c == "control-out")
        return r.controlOut;
    if (c == "vendor")
        return r.vendorRequest && *r.vendorRequest == entry.classArgument;
    if (c == "bulk-in")
        return r.bulkIn;
    if (c == "bulk-out")
        return r.bulkOut;
    if (c == "ioctl")
        return r.ioctl && *r.ioctl == entry.classArgument;
    if (c == "event")
        return r.event;
    return false;
}

std::optional<RequestFault> FaultPlan::Match(const RequestClass& request)
{
    std::optional<RequestFault> hit;
    for (auto& entry : entries_) {
        if (entry.remaining == 0 || !Matches(entry, request))
            continue;
        if (entry.skip > 0) {
            --entry.skip;
            continue;
        }
        if (!hit) {
            hit = entry.fault;
            if (entry.remaining != std::numeric_limits<std::uint32_t>::max())
                --entry.remaining;
        }
    }
    std::erase_if(entries_, [](const Entry& e) { return e.remaining == 0; });
    return hit;
}

}  // namespace emulator
