#include "model/Text.h"

namespace keyglass {

std::string asciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = asciiLower(c);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i]))
            return false;
    }
    return true;
}

namespace {

bool isUnicodeSpace(char32_t cp)
{
    return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
           cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

bool isAsciiSpace(unsigned char c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

// Length of the white-space character that starts at `text[0]`, or 0.
std::size_t leadingSpaceLength(std::string_view text)
{
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (isAsciiSpace(b0))
        return 1;
    if (b0 == 0xC2 && text.size() >= 2) {
        const auto b1 = static_cast<unsigned char>(text[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if ((b0 == 0xE1 || b0 == 0xE2 || b0 == 0xE3) && text.size() >= 3) {
        const auto b1 = static_cast<unsigned char>(text[1]);
        const auto b2 = static_cast<unsigned char>(text[2]);
        if ((b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80)
            return 0;
        const char32_t cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | char32_t(b2 & 0x3F);
        return isUnicodeSpace(cp) ? 3 : 0;
    }
    return 0;
}

// Length of the white-space character that ends `text`, or 0.
std::size_t trailingSpaceLength(std::string_view text)
{
    const std::size_t n = text.size();
    if (isAsciiSpace(static_cast<unsigned char>(text[n - 1])))
        return 1;
    if (n >= 2 && static_cast<unsigned char>(text[n - 2]) == 0xC2 && leadingSpaceLength(text.substr(n - 2)) == 2)
        return 2;
    if (n >= 3 && leadingSpaceLength(text.substr(n - 3)) == 3)
        return 3;
    return 0;
}

} // namespace

std::string_view trimWhitespace(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t n = leadingSpaceLength(text);
        if (n == 0)
            break;
        text.remove_prefix(n);
    }
    while (!text.empty()) {
        const std::size_t n = trailingSpaceLength(text);
        if (n == 0)
            break;
        text.remove_suffix(n);
    }
    return text;
}

} // namespace keyglass
