#include "store/PreferredSize.h"

#include <algorithm>

namespace keyglass {

PreferredSize preferredSizeFor(const DeviceModel* selected, bool severalDevices)
{
    if (!selected)
        return {440, 320};
    const int extra = severalDevices ? 34 : 0;
    int keys = 0;
    int columns = 0;
    for (const auto& key : selected->keys) {
        if (key.decal)
            continue;
        ++keys;
        columns = std::max(columns, key.col + 1);
    }
    const int encoders = static_cast<int>(selected->encoders.size());
    if (keys <= 2 && encoders < 2)
        return {460, 630 + extra};
    const int height = 635 + extra;
    if (columns <= 4 && encoders == 3)
        return {760, height};
    return {std::clamp(columns * 82 + 200, 620, 840), height};
}

} // namespace keyglass
