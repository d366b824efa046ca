#include "keycodes/QmkVocabulary.h"

#include "keycodes/KeycodeText.h"

#include <algorithm>
#include <string>
#include <unordered_map>

namespace keyglass {

namespace {

constexpr QmkKeycode Table[] = {
#include "keycodes/QmkKeycodeTable.inc"
};

struct NameHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

using NameMap = std::unordered_map<std::string, Keycode, NameHash, std::equal_to<>>;

const NameMap& names()
{
    static const NameMap map = [] {
        NameMap m;
        m.reserve(std::size(Table) * 3);
        for (const QmkKeycode& entry : Table) {
            const auto add = [&](std::string_view name) { m.emplace(asciiUpper(name), entry.code); };
            add(entry.key);
            forEachName(entry.aliases, add);
        }
        // Former names only where no current name took them over.
        for (const QmkKeycode& entry : Table)
            forEachName(entry.former, [&](std::string_view name) { m.emplace(asciiUpper(name), entry.code); });
        return m;
    }();
    return map;
}

struct NumberedFamily
{
    std::string_view prefix;
    Keycode first;
    Keycode last;
};

constexpr NumberedFamily Families[] = {
    {"QK_KB_", QkKbFirst, QkKbLast},
    {"QK_USER_", QkUserFirst, QkUserLast},
    {"QK_MACRO_", QkMacroFirst, QkMacroLast},
};

} // namespace

std::span<const QmkKeycode> qmkKeycodes()
{
    return Table;
}

const QmkKeycode* findQmkKeycode(Keycode code)
{
    const auto* end = std::end(Table);
    const auto* it = std::lower_bound(
        std::begin(Table), end, code, [](const QmkKeycode& entry, Keycode value) { return entry.code < value; });
    return it != end && it->code == code ? it : nullptr;
}

std::optional<Keycode> qmkKeycodeByName(std::string_view upperCaseName)
{
    const NameMap& map = names();
    if (const auto found = map.find(upperCaseName); found != map.end())
        return found->second;
    for (const NumberedFamily& family : Families) {
        if (!upperCaseName.starts_with(family.prefix))
            continue;
        const std::string_view digits = upperCaseName.substr(family.prefix.size());
        std::uint16_t n = 0;
        // No leading zeros: "QK_KB_01" is no QMK name.
        if (digits.size() > 3 || (digits.size() > 1 && digits[0] == '0') || !parseDecimal16(digits, n) ||
            n > family.last - family.first)
            return std::nullopt;
        return static_cast<Keycode>(family.first + n);
    }
    return std::nullopt;
}

} // namespace keyglass
