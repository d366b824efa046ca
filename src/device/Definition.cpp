#include "device/Definition.h"

#include "device/KleLayout.h"
#include "device/ViaCommands.h"
#include "platform/JsonReading.h"

#include <lzma.h>

#include <algorithm>

namespace keyglass {

namespace {
using json = nlohmann::json;

// Enough for any dictionary a keyboard build uses (8 MiB at preset 6); a stream asking for more is
// refused rather than allowed to allocate.
constexpr std::uint64_t DecoderMemoryLimit = 64u * 1024u * 1024u;

std::optional<int> matrixSide(const json& matrix, const char* name)
{
    const auto it = matrix.find(name);
    if (it == matrix.end() || !it->is_number_integer())
        return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto value = it->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(MaxMatrixSide))
            return std::nullopt;
        return static_cast<int>(value);
    }
    const auto value = it->get<std::int64_t>();
    if (value < 0 || value > MaxMatrixSide)
        return std::nullopt;
    return static_cast<int>(value);
}
} // namespace

std::optional<std::vector<std::uint8_t>> downloadDefinition(RawHidSession& session)
{
    const auto sizeAnswer = session.exchange({via::VialPrefix, via::VialGetDefinitionSize});
    if (!sizeAnswer || sizeAnswer->size() < 4)
        return std::nullopt;
    const std::uint32_t size = readU32LE(*sizeAnswer, 0);
    if (size < 1 || size > MaxDefinitionSize)
        return std::nullopt;

    std::vector<std::uint8_t> buffer;
    buffer.reserve(size);
    std::size_t remaining = size;
    for (std::uint32_t block = 0; remaining > 0; ++block) {
        const auto answer = session.exchange({via::VialPrefix,
                                              via::VialGetDefinitionBlock,
                                              static_cast<std::uint8_t>(block & 0xFF),
                                              static_cast<std::uint8_t>((block >> 8) & 0xFF),
                                              static_cast<std::uint8_t>((block >> 16) & 0xFF),
                                              static_cast<std::uint8_t>((block >> 24) & 0xFF)});
        if (!answer)
            return std::nullopt;
        const std::size_t take = std::min({remaining, answer->size(), RawHidReportSize});
        buffer.insert(buffer.end(), answer->begin(), answer->begin() + static_cast<std::ptrdiff_t>(take));
        remaining -= std::min(remaining, RawHidReportSize);
    }
    return buffer;
}

Expected<std::vector<std::uint8_t>> decompressXz(std::span<const std::uint8_t> compressed, std::size_t maxOutput)
{
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, DecoderMemoryLimit, 0) != LZMA_OK)
        return unexpected(Error("the xz decoder could not start"));

    std::vector<std::uint8_t> output;
    std::uint8_t chunk[16384];
    stream.next_in = compressed.data();
    stream.avail_in = compressed.size();
    lzma_ret status = LZMA_OK;
    while (status == LZMA_OK) {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        // LZMA_FINISH: the whole stream is in memory, so running out of input means it is truncated.
        status = lzma_code(&stream, LZMA_FINISH);
        const std::size_t produced = sizeof chunk - stream.avail_out;
        if (output.size() + produced > maxOutput) {
            lzma_end(&stream);
            return unexpected(Error("the definition decodes to more than " + std::to_string(maxOutput) + " bytes"));
        }
        output.insert(output.end(), chunk, chunk + produced);
    }
    lzma_end(&stream);
    if (status != LZMA_STREAM_END)
        return unexpected(Error("the definition is not a complete xz stream (lzma error " +
                                std::to_string(static_cast<int>(status)) + ")"));
    return output;
}

Expected<nlohmann::json> decodeDefinition(std::span<const std::uint8_t> compressed)
{
    auto decoded = decompressXz(compressed);
    if (!decoded)
        return unexpected(decoded.error());
    if (decoded->empty())
        return unexpected(Error("the definition is empty"));
    const std::string_view text(reinterpret_cast<const char*>(decoded->data()), decoded->size());
    auto document = parseJsonCapped(text, MaxDecodedDefinitionBytes);
    if (!document)
        return unexpected(Error("the definition is " + document.error().message));
    if (!document->is_object())
        return unexpected(Error("the definition is not a JSON object"));
    return document;
}

std::optional<nlohmann::json> fetchDefinition(RawHidSession& session)
{
    const auto compressed = downloadDefinition(session);
    if (!compressed)
        return std::nullopt;
    auto document = decodeDefinition(*compressed);
    if (!document || !layoutFromDefinition(*document))
        return std::nullopt;
    return std::move(*document);
}

Expected<DefinitionLayout> layoutFromDefinition(const nlohmann::json& definition, std::uint32_t layoutOptions)
{
    if (!definition.is_object())
        return unexpected(Error("the definition is not a JSON object"));
    const auto matrix = definition.find("matrix");
    if (matrix == definition.end() || !matrix->is_object())
        return unexpected(Error("the definition has no \"matrix\" object"));
    const auto rows = matrixSide(*matrix, "rows");
    const auto cols = matrixSide(*matrix, "cols");
    if (!rows || !cols)
        return unexpected(Error("the definition's \"matrix\" needs integer \"rows\" and \"cols\" between 0 and " +
                                std::to_string(MaxMatrixSide)));

    DefinitionLayout layout;
    layout.rows = *rows;
    layout.cols = *cols;
    static const json NoKeys = json::array();
    const json* keymap = &NoKeys;
    if (const auto layouts = definition.find("layouts"); layouts != definition.end() && layouts->is_object()) {
        if (const auto list = layouts->find("keymap"); list != layouts->end() && list->is_array())
            keymap = &*list;
        if (const auto labels = layouts->find("labels"); labels != layouts->end())
            layout.labels = parseLayoutLabels(*labels);
    }
    auto parsed = parseLayout(*keymap);
    if (parsed.keys.size() > MaxLayoutKeys)
        return unexpected(Error("the definition's layout has more than " + std::to_string(MaxLayoutKeys) + " keys"));
    if (parsed.encoderIndices.size() > MaxLayoutEncoders)
        return unexpected(
            Error("the definition's layout has more than " + std::to_string(MaxLayoutEncoders) + " encoders"));
    layout.layoutOptions = layoutOptions;
    auto chosen = chooseLayout(parsed, decodeLayoutOptions(layout.labels, layoutOptions));
    layout.encoders = nameEncoders(chosen);
    layout.keys = std::move(chosen.keys);
    layout.allKeys = std::move(parsed.keys);
    return layout;
}

} // namespace keyglass
