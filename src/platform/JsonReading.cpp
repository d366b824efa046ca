#include "platform/JsonReading.h"

#include "platform/AtomicFile.h"

#include <string>

namespace keyglass {

namespace {

using json = nlohmann::json;

constexpr std::string_view ErrorDomain = "Json";

// Keeps the parser's own description of the first syntax error ("syntax error while parsing value -
// unexpected end of input ...") without letting it throw.
struct SyntaxErrorCatcher : nlohmann::json_sax<json>
{
    std::string reason = "unknown error";
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override { return true; }
    bool key(string_t&) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override
    {
        std::string_view text = e.what();
        // Drop the library's "[json.exception.parse_error.101] " tag; the rest reads as a sentence.
        if (text.starts_with('[')) {
            if (const auto close = text.find("] "); close != std::string_view::npos)
                text.remove_prefix(close + 2);
        }
        reason = std::string(text);
        return false;
    }
};

} // namespace

bool jsonDepthWithin(std::string_view text, int maxDepth)
{
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            if (++depth > maxDepth)
                return false;
            break;
        case ']':
        case '}':
            --depth;
            break;
        default:
            break;
        }
    }
    return true;
}

Expected<json> parseJsonCapped(std::string_view text, std::size_t maxBytes, int maxDepth)
{
    if (text.size() > maxBytes)
        return unexpected(
            Error("larger than " + std::to_string(maxBytes / 1024) + " KiB", JsonTooLarge, std::string(ErrorDomain)));
    if (!jsonDepthWithin(text, maxDepth))
        return unexpected(
            Error("nested deeper than " + std::to_string(maxDepth) + " levels", JsonTooDeep, std::string(ErrorDomain)));
    try {
        json value = json::parse(text, nullptr, false);
        if (!value.is_discarded())
            return value;
        SyntaxErrorCatcher catcher;
        json::sax_parse(text, &catcher, nlohmann::detail::input_format_t::json, true);
        return unexpected(Error("not valid JSON: " + catcher.reason, JsonNotJson, std::string(ErrorDomain)));
    } catch (const std::exception& e) {
        // Only running out of memory gets here.
        return unexpected(
            Error(std::string("could not read JSON: ") + e.what(), JsonNotJson, std::string(ErrorDomain)));
    }
}

Expected<json> readJsonFile(const std::filesystem::path& path, std::size_t maxBytes, int maxDepth)
{
    auto text = readFileCapped(path, maxBytes);
    if (!text)
        return unexpected(Error(text.error().message, JsonTooLarge, std::string(ErrorDomain)));
    auto value = parseJsonCapped(*text, maxBytes, maxDepth);
    if (!value)
        return unexpected(
            Error(path.filename().string() + ": " + value.error().message, value.error().code, value.error().domain));
    return value;
}

} // namespace keyglass
