#pragma once
// The pads a front end talks to: the real ones through hidapi plus the virtual pads it was asked for
// (--virtual PAD, $KEYGLASS_VIRTUAL_PADS). Both sit behind one HidBackend, so the loader, the writer
// and the store cannot tell them apart.

#include "device/HidBackend.h"
#include "model/Expected.h"
#include "sim/VirtualHidBackend.h"
#include "sim/VirtualPad.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace keyglass {

/// Real interfaces first, then virtual ones; open() goes to whichever backend listed the path.
///
/// Time: now() is the steady clock plus the time the virtual clock has moved on since construction.
/// Waiting on a real pad moves the first, waiting on a virtual pad moves the second, so the session's
/// deadlines hold for both without a virtual pad's silence costing real time.
class CompositeHidBackend : public HidBackend
{
public:
    /// `real` may be null (no hidapi); `virtualPads` must not be.
    CompositeHidBackend(std::unique_ptr<HidBackend> real, std::shared_ptr<VirtualHidBackend> virtualPads);

    std::vector<HidInterfaceInfo> enumerate(std::uint16_t usagePage, std::uint16_t usage) override;
    Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo& info) override;
    TimePoint now() const override;

private:
    std::unique_ptr<HidBackend> m_real;
    std::shared_ptr<VirtualHidBackend> m_virtual;
    TimePoint m_virtualEpoch;
    Duration m_realWaitedEpoch{0};
};

class PadEnvironment
{
public:
    /// Makes every virtual pad of `virtualPads` (see makeVirtualPad). Real pads are included unless
    /// `includeRealPads` is false or $KEYGLASS_REAL_PADS is "0" (tests and demos on a machine with pads).
    static Expected<std::unique_ptr<PadEnvironment>> create(const std::vector<std::string>& virtualPads,
                                                            bool includeRealPads = true);

    HidBackend& backend() { return *m_backend; }
    VirtualHidBackend& virtualBackend() { return *m_virtual; }
    std::vector<std::shared_ptr<VirtualPad>> virtualPads() { return m_virtual->pads(); }

private:
    PadEnvironment() = default;

    std::shared_ptr<VirtualHidBackend> m_virtual;
    std::unique_ptr<CompositeHidBackend> m_backend;
};

} // namespace keyglass
