// Any bytes the community service sends back, as a list or a publish answer, give a result or one of
// the Loomshare errors; presets taken from a list are always community presets.

#include "community/CommunityClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace keyglass;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto list = decodeCommunityList(text)) {
        for (const auto& preset : *list)
            if (preset.builtIn || preset.community != true)
                std::abort();
    } else if (list.error().domain != LoomshareErrorDomain || list.error().code != LoomshareUnexpectedResponse) {
        std::abort();
    }
    if (const auto answer = decodePublishAnswer(text); !answer) {
        const int code = answer.error().code;
        if (answer.error().domain != LoomshareErrorDomain || (code != 3 && code != 4))
            std::abort();
    }
    return 0;
}
