// keyglass-cli watch: a key tester. Every key, knob turn or click that a pad sends to the computer is
// matched against the pad's keymap the way the HUD lights its controls, and printed as one line.

#include "cli/Cli.h"
#include "device/Discovery.h"
#include "input/HIDInputWatcher.h"
#include "input/LiveMatch.h"
#include "input/linux/EvdevInputSource.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeText.h"
#include "padenv/PadEnvironment.h"
#include "platform/ThreadedScheduler.h"
#include "sim/VirtualInputSource.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <deque>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <poll.h>
#include <set>
#include <sstream>
#include <thread>

namespace keyglass::cli {

namespace {

using VidPids = std::vector<std::pair<int, int>>;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

// Real pads are read through evdev, virtual ones through their emulator; the watcher sees one source.
class SplitInputSource final : public InputEventSource
{
public:
    SplitInputSource(EvdevInputSource* real, VirtualInputSource& virtualPads, std::set<std::pair<int, int>> virtualIds)
        : m_real(real), m_virtual(virtualPads), m_virtualIds(std::move(virtualIds))
    {
    }

    bool accessGranted(const VidPids& vidPids) const override
    {
        const auto [real, virt] = split(vidPids);
        return (real.empty() || (m_real && m_real->accessGranted(real))) && m_virtual.accessGranted(virt);
    }
    OpenResult open(const VidPids& vidPids) override
    {
        const auto [real, virt] = split(vidPids);
        OpenResult result = m_virtual.open(virt);
        if (!real.empty() && m_real) {
            const auto fromReal = m_real->open(real);
            result.status = fromReal.status != 0 ? fromReal.status : result.status;
            result.interfaces += fromReal.interfaces;
        }
        return result;
    }
    void close() override
    {
        m_virtual.close();
        if (m_real)
            m_real->close();
    }
    std::uint8_t systemModifiers() const override
    {
        return static_cast<std::uint8_t>(m_virtual.systemModifiers() | (m_real ? m_real->systemModifiers() : 0));
    }
    void setListener(Listener listener) override
    {
        if (m_real)
            m_real->setListener(listener);
        m_virtual.setListener(std::move(listener));
    }
    std::vector<int> fileDescriptors() const override
    {
        return m_real ? m_real->fileDescriptors() : std::vector<int>{};
    }
    void readReady(int fd) override
    {
        if (m_real)
            m_real->readReady(fd);
    }

private:
    std::pair<VidPids, VidPids> split(const VidPids& vidPids) const
    {
        VidPids real, virt;
        for (const auto& id : vidPids)
            (m_virtualIds.contains(id) ? virt : real).push_back(id);
        return {real, virt};
    }

    EvdevInputSource* m_real;
    VirtualInputSource& m_virtual;
    std::set<std::pair<int, int>> m_virtualIds;
};

// Lines typed for the virtual pads, handed over from the reader thread.
struct StdinLines
{
    std::mutex mutex;
    std::deque<std::string> lines;
    bool ended = false;
};

std::string upper(std::string_view text)
{
    return asciiUpper(text);
}

bool parseIndex(const std::string& text, int& value)
{
    std::uint16_t parsed = 0;
    if (!parseDecimal16(text, parsed) || parsed > 255)
        return false;
    value = parsed;
    return true;
}

// "press R C", "turn E cw|ccw", "click E", optionally after the pad's ID.
bool drive(const std::string& line, const std::map<std::string, std::shared_ptr<VirtualPad>>& pads)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    if (words.empty())
        return false;

    std::shared_ptr<VirtualPad> pad;
    if (const auto it = pads.find(upper(words[0])); it != pads.end()) {
        pad = it->second;
        words.erase(words.begin());
    } else if (pads.size() == 1) {
        pad = pads.begin()->second;
    } else {
        return false;
    }
    if (words.empty())
        return false;

    const std::string verb = asciiLower(words[0]);
    int a = 0, b = 0;
    if (verb == "press" && words.size() == 3 && parseIndex(words[1], a) && parseIndex(words[2], b)) {
        if (a >= pad->rows() || b >= pad->cols())
            return false;
        pad->press(a, b);
        return true;
    }
    if (verb == "turn" && words.size() == 3 && parseIndex(words[1], a) && a < pad->encoderCount()) {
        const std::string direction = asciiLower(words[2]);
        if (direction != "cw" && direction != "ccw")
            return false;
        pad->turn(a, direction == "cw");
        return true;
    }
    if (verb == "click" && words.size() == 2 && parseIndex(words[1], a))
        return pad->click(a);
    return false;
}

int runWatch(Invocation& call)
{
    for (const std::string& arg : call.args) {
        if (arg.size() > 1 && arg.starts_with("-")) {
            call.err << "keyglass-cli watch: unknown option " << arg << "\n";
            return ExitUsage;
        }
    }
    if (call.args.size() > 1) {
        call.err << "usage: keyglass-cli watch [ID]\n";
        return ExitUsage;
    }
    const std::string onlyId = call.args.empty() ? std::string() : upper(call.args[0]);

    auto environment = PadEnvironment::create(call.virtualPads);
    if (!environment) {
        call.err << "keyglass-cli watch: " << environment.error().message << "\n";
        return ExitFailed;
    }
    PadEnvironment& pads = **environment;

    std::map<std::string, std::shared_ptr<VirtualPad>> virtualById;
    for (const auto& pad : pads.virtualPads())
        virtualById.emplace(pad->identifier(), pad);

    std::vector<DeviceModel> devices;
    std::string known;
    for (const auto& endpoint : enumerateEndpoints(pads.backend())) {
        known += (known.empty() ? "" : ", ") + endpoint.id();
        if (!onlyId.empty() && endpoint.id() != onlyId)
            continue;
        auto model = loadDevice(pads.backend(), endpoint);
        if (!model) {
            call.err << "keyglass-cli watch: " << endpoint.id()
                     << ": no answer over RawHID (is another program holding the pad?)\n";
            continue;
        }
        devices.push_back(std::move(*model));
    }
    if (devices.empty()) {
        if (!onlyId.empty())
            call.err << "keyglass-cli watch: no pad " << call.args[0] << " connected"
                     << (known.empty() ? std::string(" (no pads found)") : " (pads: " + known + ")") << "\n";
        else
            call.err << "keyglass-cli watch: no pads found\n";
        return ExitFailed;
    }

    std::set<std::pair<int, int>> virtualIds;
    std::map<std::string, std::shared_ptr<VirtualPad>> watchedVirtual;
    bool anyReal = false;
    for (const auto& device : devices) {
        if (const auto it = virtualById.find(device.id); it != virtualById.end()) {
            virtualIds.insert({device.vid, device.pid});
            watchedVirtual.insert(*it);
        } else {
            anyReal = true;
        }
    }

    ThreadedScheduler scheduler;
    std::unique_ptr<EvdevInputSource> evdev = anyReal ? std::make_unique<EvdevInputSource>() : nullptr;
    VirtualInputSource virtualSource(scheduler);
    for (const auto& [id, pad] : watchedVirtual)
        virtualSource.addPad(pad);
    SplitInputSource source(evdev.get(), virtualSource, virtualIds);
    HIDInputWatcher watcher(scheduler, source);

    watcher.onDeviceKeycode = [&](const std::string& deviceID, Keycode code) {
        const auto device =
            std::find_if(devices.begin(), devices.end(), [&](const auto& d) { return d.id == deviceID; });
        if (device == devices.end())
            return;
        if (const auto match = findLiveMatch(*device, code)) {
            // The HUD shows the layer where the binding lives, which then leads the next search.
            device->activeLayer = match->layer;
            call.out << deviceID << " L" << match->layer << " " << match->flashId << " "
                     << formatKeycode(code, device->legacyKeycodes()) << std::endl;
        } else {
            call.out << deviceID << " unmatched " << hex4(code) << std::endl;
        }
    };

    if (!watcher.watch(devices)) {
        call.err << "keyglass-cli watch: cannot read the pads' input devices (/dev/input/event*: add the user to "
                    "the 'input' group or install the udev rule)\n";
        return ExitFailed;
    }
    call.err << "watching";
    for (const auto& device : devices)
        call.err << " " << device.id;
    call.err << (watchedVirtual.empty() ? "; Ctrl+C stops\n" : "; commands from standard input, Ctrl+C stops\n");

    // The reader thread never touches the scheduler, so a reader still blocked at exit is harmless.
    auto input = std::make_shared<StdinLines>();
    if (!watchedVirtual.empty()) {
        std::thread([input, &in = call.in] {
            for (std::string line; std::getline(in, line);) {
                std::lock_guard lock(input->mutex);
                input->lines.push_back(line);
            }
            std::lock_guard lock(input->mutex);
            input->ended = true;
        }).detach();
    }

    interrupted = 0;
    const auto previousHandler = std::signal(SIGINT, onInterrupt);

    // Commands are spaced by more than the key debounce, so every scripted press is reported on its own.
    const Duration commandSpacing = HIDInputWatcher::KeyDebounce + std::chrono::milliseconds(10);
    TimePoint nextCommandAt = scheduler.now();
    bool allUnderstood = true;
    std::optional<TimePoint> stopAt;
    while (!interrupted) {
        std::vector<pollfd> fds;
        for (const int fd : source.fileDescriptors())
            fds.push_back(pollfd{fd, POLLIN, 0});
        ::poll(fds.data(), fds.size(), 5);
        for (const auto& p : fds) {
            if (p.revents != 0)
                source.readReady(p.fd);
        }

        if (!watchedVirtual.empty() && scheduler.now() >= nextCommandAt) {
            std::optional<std::string> line;
            bool ended = false;
            {
                std::lock_guard lock(input->mutex);
                if (!input->lines.empty()) {
                    line = std::move(input->lines.front());
                    input->lines.pop_front();
                }
                ended = input->ended && input->lines.empty();
            }
            if (line) {
                const std::string_view text = trimWhitespace(*line);
                if (!text.empty() && !text.starts_with("#")) {
                    if (!drive(std::string(text), watchedVirtual)) {
                        call.err << "keyglass-cli watch: not understood: " << text << "\n";
                        allUnderstood = false;
                    }
                    nextCommandAt = scheduler.now() + commandSpacing;
                }
            } else if (ended && !anyReal && !stopAt) {
                stopAt = scheduler.now() + commandSpacing;
            }
        }
        scheduler.runMainPending();
        if (stopAt && scheduler.now() >= *stopAt)
            break;
    }

    std::signal(SIGINT, previousHandler);
    watcher.stop();
    scheduler.runMainPending();
    return allUnderstood ? ExitOk : ExitFailed;
}

const bool registered = registerCommand(
    "watch",
    "watch [ID]             key tester: one line per press, \"ID L<layer> <flash id> <keycode>\" or\n"
    "                         \"ID unmatched 0x....\", until Ctrl+C. Virtual pads are driven from standard\n"
    "                         input, one command a line: \"press R C\", \"turn E cw|ccw\", \"click E\" (with\n"
    "                         several virtual pads, put the pad's ID first); they stop when it ends",
    runWatch);

} // namespace

} // namespace keyglass::cli
