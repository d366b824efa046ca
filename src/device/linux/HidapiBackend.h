#pragma once
// The real HID stack on Linux: hidapi over hidraw. The only place that talks to hidapi; callers see
// 32-byte reports, the report-id byte that every hidraw write needs is added here.

#include "device/HidBackend.h"

namespace keyglass {

/// Where the udev rule that grants the logged-in user access to pads is shipped.
constexpr const char* HidrawUdevRuleName = "60-keyglass-hidraw.rules";

class HidapiBackend : public HidBackend
{
public:
    HidapiBackend();

    std::vector<HidInterfaceInfo> enumerate(std::uint16_t usagePage, std::uint16_t usage) override;
    /// Fails with a readable message; a node the user may not open is also logged once, pointing to
    /// the udev rule.
    Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo& info) override;
    TimePoint now() const override { return Clock::now(); }
};

} // namespace keyglass
