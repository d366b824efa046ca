#include "support/FakeHid.h"

#include <lzma.h>

#include <algorithm>

namespace keyglass::test {

namespace {
class ScriptedDevice : public HidDevice
{
public:
    explicit ScriptedDevice(ScriptedBackend& backend) : m_backend(backend) { ++m_backend.opened; }
    ~ScriptedDevice() override { ++m_backend.closed; }

    bool write(const RawHidReport& report) override
    {
        if (m_backend.failWrites || m_backend.disconnected())
            return false;
        m_backend.requests.push_back(report);
        if (m_backend.disconnected())
            return true;
        if (auto answer = m_backend.respond ? m_backend.respond(report) : std::nullopt)
            m_backend.pending().emplace_back(m_backend.now() + m_backend.latency, std::move(*answer));
        return true;
    }

    HidReadResult read(Duration timeout) override
    {
        m_backend.readTimeouts.push_back(timeout);
        auto& pending = m_backend.pending();
        if (!pending.empty() && pending.front().first <= m_backend.now() + timeout) {
            if (pending.front().first > m_backend.now())
                m_backend.advance(std::chrono::duration_cast<Duration>(pending.front().first - m_backend.now()));
            HidReadResult result{HidReadStatus::report, std::move(pending.front().second)};
            pending.pop_front();
            return result;
        }
        if (m_backend.disconnected())
            return {HidReadStatus::disconnected, {}};
        m_backend.advance(timeout);
        return {HidReadStatus::timeout, {}};
    }

private:
    ScriptedBackend& m_backend;
};
} // namespace

ScriptedBackend::ScriptedBackend()
{
    interfaces.push_back(HidInterfaceInfo{"fake:1", 0x1A86, 0xFE16, RawHidUsagePage, RawHidUsage, "Acme", "Pad", "S1"});
}

void ScriptedBackend::queueStale(Bytes report)
{
    m_pending.emplace_back(m_now, std::move(report));
}

std::vector<Bytes> ScriptedBackend::requestsStartingWith(std::initializer_list<std::uint8_t> prefix) const
{
    std::vector<Bytes> found;
    for (const auto& request : requests)
        if (std::equal(prefix.begin(), prefix.end(), request.begin()))
            found.emplace_back(request.begin(), request.end());
    return found;
}

int ScriptedBackend::countStartingWith(std::initializer_list<std::uint8_t> prefix) const
{
    return static_cast<int>(requestsStartingWith(prefix).size());
}

std::vector<HidInterfaceInfo> ScriptedBackend::enumerate(std::uint16_t usagePage, std::uint16_t usage)
{
    std::vector<HidInterfaceInfo> matching;
    for (const auto& info : interfaces)
        if (info.usagePage == usagePage && info.usage == usage)
            matching.push_back(info);
    return matching;
}

Expected<std::unique_ptr<HidDevice>> ScriptedBackend::open(const HidInterfaceInfo&)
{
    if (refuseOpen)
        return unexpected(Error("busy"));
    return std::unique_ptr<HidDevice>(std::make_unique<ScriptedDevice>(*this));
}

std::optional<Bytes> MiniFirmware::answer(const RawHidReport& request)
{
    Bytes out(request.begin(), request.end());
    auto putBE = [&](std::size_t at, Keycode code) {
        out[at] = static_cast<std::uint8_t>(code >> 8);
        out[at + 1] = static_cast<std::uint8_t>(code & 0xFF);
    };
    auto lookup = [](const auto& map, auto key) -> Keycode {
        const auto it = map.find(key);
        return it == map.end() ? 0 : it->second;
    };
    switch (request[0]) {
    case 0x01:
        out[1] = static_cast<std::uint8_t>(viaVersion >> 8);
        out[2] = static_cast<std::uint8_t>(viaVersion & 0xFF);
        return out;
    case 0x11:
        out[1] = static_cast<std::uint8_t>(layers);
        return out;
    case 0x04: {
        const int l = request[1], r = request[2], c = request[3];
        putBE(4, (l < layers && r < rows && c < cols) ? lookup(keymap, std::make_tuple(l, r, c)) : 0);
        return out;
    }
    case 0x05:
        keymap[{request[1], request[2], request[3]}] = static_cast<Keycode>(request[4] << 8 | request[5]);
        return out;
    case 0x14:
        if (vial || viaVersion < 10)
            break;
        putBE(4,
              request[2] < encoderCount
                  ? lookup(encoders, std::make_tuple(int(request[1]), int(request[2]), request[3] ? 1 : 0))
                  : 0);
        return out;
    case 0x15:
        if (vial || viaVersion < 10)
            break;
        encoders[{request[1], request[2], request[3] ? 1 : 0}] = static_cast<Keycode>(request[4] << 8 | request[5]);
        return out;
    case 0x07:
    case 0x09:
        return out;
    case 0x08:
        if (channel1 && request[1] == 0x01) {
            switch (request[2]) {
            case 1:
                out[3] = effect;
                break;
            case 2:
                out[3] = brightness;
                break;
            case 3:
                out[3] = speed;
                break;
            case 4:
                out[3] = hue;
                out[4] = sat;
                break;
            }
            return out;
        }
        if (rgblight) {
            switch (request[1]) {
            case 0x80:
                out[2] = brightness;
                break;
            case 0x81:
                out[2] = effect;
                break;
            case 0x82:
                out[2] = speed;
                break;
            case 0x83:
                out[2] = hue;
                out[3] = sat;
                break;
            }
            return out;
        }
        break;
    case 0xFE:
        if (!vial)
            break;
        switch (request[1]) {
        case 0x00:
            std::fill(out.begin(), out.end(), 0);
            for (int i = 0; i < 4; ++i)
                out[i] = static_cast<std::uint8_t>(vialVersion >> (8 * i));
            for (int i = 0; i < 8; ++i)
                out[4 + i] = static_cast<std::uint8_t>(uid >> (8 * i));
            return out;
        case 0x01:
            for (int i = 0; i < 4; ++i)
                out[i] = static_cast<std::uint8_t>(definition.size() >> (8 * i));
            return out;
        case 0x02: {
            const std::size_t start = static_cast<std::size_t>(request[2] | request[3] << 8) * 32;
            for (std::size_t i = 0; i < 32 && start + i < definition.size(); ++i)
                out[i] = definition[start + i];
            return out;
        }
        case 0x03:
            putBE(0, lookup(encoders, std::make_tuple(int(request[2]), int(request[3]), 0)));
            putBE(2, lookup(encoders, std::make_tuple(int(request[2]), int(request[3]), 1)));
            return out;
        case 0x04:
            encoders[{request[2], request[3], request[4] ? 1 : 0}] = static_cast<Keycode>(request[5] << 8 | request[6]);
            return out;
        case 0x0D:
            if (request[2] == 0x00) {
                std::fill(out.begin(), out.end(), 0);
                out[0] = static_cast<std::uint8_t>(tapDanceCount >= 0 ? tapDanceCount : int(tapDances.size()));
                return out;
            }
            if (request[2] == 0x01) {
                if (request[3] >= tapDances.size()) {
                    out[0] = 0xFF;
                    return out;
                }
                const auto& e = tapDances[request[3]];
                out[0] = 0;
                int at = 1;
                for (Keycode field : {e.onTap, e.onHold, e.onDoubleTap, e.onTapHold, e.tappingTerm}) {
                    out[at++] = static_cast<std::uint8_t>(field & 0xFF);
                    out[at++] = static_cast<std::uint8_t>(field >> 8);
                }
                return out;
            }
            if (request[2] == 0x02) {
                if (request[3] < tapDances.size()) {
                    auto& e = tapDances[request[3]];
                    int at = 4;
                    for (Keycode* field : {&e.onTap, &e.onHold, &e.onDoubleTap, &e.onTapHold, &e.tappingTerm}) {
                        *field = static_cast<Keycode>(request[at] | request[at + 1] << 8);
                        at += 2;
                    }
                }
                out[0] = 0;
                return out;
            }
            return out;
        default:
            return out;
        }
    }
    out[0] = 0xFF;
    return out;
}

Bytes compressXz(const std::string& text)
{
    Bytes out(lzma_stream_buffer_bound(text.size()));
    std::size_t written = 0;
    lzma_easy_buffer_encode(6,
                            LZMA_CHECK_CRC64,
                            nullptr,
                            reinterpret_cast<const std::uint8_t*>(text.data()),
                            text.size(),
                            out.data(),
                            &written,
                            out.size());
    out.resize(written);
    return out;
}

Bytes bytesOf(std::initializer_list<int> values, std::size_t size)
{
    Bytes out(std::max(size, values.size()), 0);
    std::size_t i = 0;
    for (int v : values)
        out[i++] = static_cast<std::uint8_t>(v);
    return out;
}

} // namespace keyglass::test
