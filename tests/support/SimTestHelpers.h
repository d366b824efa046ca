#pragma once

#include "device/HidBackend.h"

#include <cstdint>
#include <initializer_list>

namespace keyglass::test {

/// A 32-byte request: the given bytes, then zero padding.
inline RawHidReport report(std::initializer_list<int> bytes)
{
    RawHidReport r{};
    std::size_t i = 0;
    for (int b : bytes)
        if (i < r.size())
            r[i++] = static_cast<std::uint8_t>(b);
    return r;
}

} // namespace keyglass::test
