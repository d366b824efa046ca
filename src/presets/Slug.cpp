#include "presets/Slug.h"

namespace keyglass {

std::string slug(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char raw : text) {
        const char c = (raw >= 'A' && raw <= 'Z') ? static_cast<char>(raw - 'A' + 'a') : raw;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (keep)
            out.push_back(c);
        else if (!out.empty() && out.back() != '-')
            out.push_back('-');
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out.empty() ? std::string("preset") : out;
}

} // namespace keyglass
