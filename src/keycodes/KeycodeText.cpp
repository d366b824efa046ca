#include "keycodes/KeycodeText.h"

namespace keyglass {

bool isAllDigits(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool parseDecimal16(std::string_view text, std::uint16_t& value)
{
    if (!isAllDigits(text))
        return false;
    std::uint32_t acc = 0;
    for (char c : text) {
        acc = acc * 10 + static_cast<std::uint32_t>(c - '0');
        if (acc > 0xFFFF)
            return false;
    }
    value = static_cast<std::uint16_t>(acc);
    return true;
}

bool parseHex16(std::string_view text, std::uint16_t& value)
{
    if (text.empty())
        return false;
    std::uint32_t acc = 0;
    for (char c : text) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return false;
        acc = acc * 16 + digit;
        if (acc > 0xFFFF)
            return false;
    }
    value = static_cast<std::uint16_t>(acc);
    return true;
}

namespace {
constexpr char HexDigits[] = "0123456789ABCDEF";
}

std::string hex4(std::uint16_t value)
{
    return std::string{'0',
                       'x',
                       HexDigits[(value >> 12) & 0xF],
                       HexDigits[(value >> 8) & 0xF],
                       HexDigits[(value >> 4) & 0xF],
                       HexDigits[value & 0xF]};
}

std::string hex2(std::uint8_t value)
{
    return std::string{'0', 'x', HexDigits[(value >> 4) & 0xF], HexDigits[value & 0xF]};
}

} // namespace keyglass
