#include "sim/XzEncoder.h"

#include <lzma.h>

namespace keyglass {

std::vector<std::uint8_t> xzCompress(std::string_view data)
{
    std::vector<std::uint8_t> out(lzma_stream_buffer_bound(data.size()));
    std::size_t written = 0;
    const lzma_ret ret = lzma_easy_buffer_encode(6,
                                                 LZMA_CHECK_CRC64,
                                                 nullptr,
                                                 reinterpret_cast<const std::uint8_t*>(data.data()),
                                                 data.size(),
                                                 out.data(),
                                                 &written,
                                                 out.size());
    if (ret != LZMA_OK)
        return {};
    out.resize(written);
    return out;
}

} // namespace keyglass
