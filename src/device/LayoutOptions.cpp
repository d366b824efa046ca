#include "device/LayoutOptions.h"

#include "device/KleLayout.h"

namespace keyglass {

std::optional<std::uint32_t> readLayoutOptions(RawHidSession& session)
{
    const auto answer = session.exchange({via::GetKeyboardValue, via::LayoutOptionsValue});
    if (!answer || answer->size() < 6 || (*answer)[0] != via::GetKeyboardValue ||
        (*answer)[1] != via::LayoutOptionsValue)
        return std::nullopt;
    const auto& a = *answer;
    return (std::uint32_t(a[2]) << 24) | (std::uint32_t(a[3]) << 16) | (std::uint32_t(a[4]) << 8) | a[5];
}

std::vector<std::uint8_t> setLayoutOptionsRequest(std::uint32_t value)
{
    return {via::SetKeyboardValue,
            via::LayoutOptionsValue,
            static_cast<std::uint8_t>(value >> 24),
            static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value)};
}

Expected<void> writeLayoutOptions(HidBackend& backend, int vid, int pid, std::uint32_t value)
{
    auto session = RawHidSession::open(backend, vid, pid);
    if (!session)
        return unexpected(Error("Could not open the pad to change its layout"));
    const auto request = setLayoutOptionsRequest(value);
    const auto answer = session->exchange(request);
    session->close();
    // Firmware without the value answers 0xFF in byte 0; only an echo means it was kept.
    if (!answer || answer->size() < 2 || (*answer)[0] != via::SetKeyboardValue ||
        (*answer)[1] != via::LayoutOptionsValue)
        return unexpected(Error("The pad did not accept the layout change"));
    return {};
}

std::optional<std::uint32_t> layoutOptionsWith(const DeviceModel& device, int group, int choice)
{
    if (group < 0 || static_cast<std::size_t>(group) >= device.layoutLabels.size())
        return std::nullopt;
    if (choice < 0 || choice >= device.layoutLabels[group].choiceCount())
        return std::nullopt;
    auto choices = decodeLayoutOptions(device.layoutLabels, device.layoutOptions);
    choices[group] = choice;
    const std::uint32_t value = encodeLayoutOptions(device.layoutLabels, choices);
    if (decodeLayoutOptions(device.layoutLabels, value)[group] != choice)
        return std::nullopt; // the option lies beyond the 32 bits
    return value;
}

std::vector<int> chosenLayoutChoices(const DeviceModel& device)
{
    return decodeLayoutOptions(device.layoutLabels, device.layoutOptions);
}

} // namespace keyglass
