#pragma once
// The seam between Keyglass and the USB HID stack. Callers see 32-byte RawHID reports only; the report
// id byte that hidapi wants in front of every write is added inside the hidapi adapter.
//
// Thread affinity: a HidDevice is used by one thread only (the store's I/O queue). enumerate() and
// open() may be called from any one thread at a time.

#include "model/Expected.h"
#include "platform/Clock.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace keyglass {

constexpr std::uint16_t RawHidUsagePage = 0xFF60;
constexpr std::uint16_t RawHidUsage = 0x61;
constexpr std::size_t RawHidReportSize = 32;

using RawHidReport = std::array<std::uint8_t, RawHidReportSize>;

/// One HID interface as enumeration reports it.
struct HidInterfaceInfo
{
    std::string path; // what open() takes; opaque to callers
    int vid = 0;
    int pid = 0;
    int usagePage = 0;
    int usage = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;

    bool operator==(const HidInterfaceInfo&) const = default;
};

enum class HidReadStatus
{
    report,       // `data` holds one input report as delivered (normally 32 bytes)
    timeout,      // nothing arrived within the timeout
    disconnected, // the device is gone or the read failed
};

struct HidReadResult
{
    HidReadStatus status = HidReadStatus::timeout;
    std::vector<std::uint8_t> data;
};

class HidDevice
{
public:
    virtual ~HidDevice() = default;
    /// Sends one 32-byte output report (report id 0). Returns false when the write failed.
    virtual bool write(const RawHidReport& report) = 0;
    /// Waits up to `timeout` for the next input report. A zero timeout only polls.
    virtual HidReadResult read(Duration timeout) = 0;
};

class HidBackend
{
public:
    virtual ~HidBackend() = default;
    /// Every interface with this usage page and usage (RawHID: 0xFF60 / 0x61).
    virtual std::vector<HidInterfaceInfo> enumerate(std::uint16_t usagePage, std::uint16_t usage) = 0;
    /// Opens one interface. The error message says why (for example missing permission on the
    /// hidraw node).
    virtual Expected<std::unique_ptr<HidDevice>> open(const HidInterfaceInfo& info) = 0;
    /// The clock that read timeouts are measured on. Real backends use the steady clock; virtual
    /// backends advance a virtual clock when a read waits, so no test ever sleeps.
    virtual TimePoint now() const = 0;
};

} // namespace keyglass
