#pragma once
// Text helpers every layer uses. Letter case is folded for ASCII only: every QMK name is ASCII, and the
// labels' symbols have no case.

#include <string>
#include <string_view>

namespace keyglass {

constexpr char asciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

/// Removes white space and line breaks from both ends: ASCII blanks and controls 0x09-0x0D, and the
/// Unicode spaces (U+0085, U+00A0, U+1680, U+2000-U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
std::string_view trimWhitespace(std::string_view text);

/// trimWhitespace as a string of its own.
inline std::string trimmed(std::string_view text)
{
    return std::string(trimWhitespace(text));
}

} // namespace keyglass
