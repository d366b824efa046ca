#include "padenv/PadEnvironment.h"

#include "device/linux/HidapiBackend.h"
#include "sim/DemoPads.h"
#include "sim/FaultPlan.h"

#include <cstdlib>
#include <string_view>

namespace keyglass {

namespace {
bool isVirtualPath(std::string_view path)
{
    return path.starts_with("virtual:");
}
} // namespace

CompositeHidBackend::CompositeHidBackend(std::unique_ptr<HidBackend> real,
                                         std::shared_ptr<VirtualHidBackend> virtualPads)
    : m_real(std::move(real)), m_virtual(std::move(virtualPads)), m_virtualEpoch(m_virtual->now()),
      m_realWaitedEpoch(m_virtual->realTimeWaited())
{
}

std::vector<HidInterfaceInfo> CompositeHidBackend::enumerate(std::uint16_t usagePage, std::uint16_t usage)
{
    std::vector<HidInterfaceInfo> all;
    if (m_real)
        for (auto& info : m_real->enumerate(usagePage, usage))
            if (!isVirtualPath(info.path))
                all.push_back(std::move(info));
    for (auto& info : m_virtual->enumerate(usagePage, usage))
        all.push_back(std::move(info));
    return all;
}

Expected<std::unique_ptr<HidDevice>> CompositeHidBackend::open(const HidInterfaceInfo& info)
{
    if (isVirtualPath(info.path))
        return m_virtual->open(info);
    if (!m_real)
        return unexpected(Error("no HID stack for " + info.path));
    return m_real->open(info);
}

TimePoint CompositeHidBackend::now() const
{
    // The virtual clock also moves by the latency the virtual pads wait in real time; the real clock has
    // that already, so it is counted once.
    return Clock::now() + (m_virtual->now() - m_virtualEpoch) - (m_virtual->realTimeWaited() - m_realWaitedEpoch);
}

Expected<std::unique_ptr<PadEnvironment>> PadEnvironment::create(const std::vector<std::string>& virtualPads,
                                                                 bool includeRealPads)
{
    FaultPlan faults;
    if (const char* env = std::getenv("KEYGLASS_VIRTUAL_FAULTS")) {
        auto plan = parseFaultPlan(env);
        if (!plan)
            return unexpected(plan.error());
        faults = std::move(*plan);
    }
    auto virtualBackend = std::make_shared<VirtualHidBackend>();
    for (const auto& padArgument : virtualPads) {
        auto pad = makeVirtualPad(padArgument);
        if (!pad)
            return unexpected(pad.error());
        faults.applyTo(**pad);
        virtualBackend->addPad(std::move(*pad));
    }
    if (const char* env = std::getenv("KEYGLASS_REAL_PADS"); env && std::string_view(env) == "0")
        includeRealPads = false;

    std::unique_ptr<PadEnvironment> environment(new PadEnvironment());
    environment->m_virtual = virtualBackend;
    environment->m_backend = std::make_unique<CompositeHidBackend>(
        includeRealPads ? std::make_unique<HidapiBackend>() : nullptr, std::move(virtualBackend));
    return environment;
}

} // namespace keyglass
