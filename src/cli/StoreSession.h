#pragma once
// A PadStore for one CLI invocation: the pads of the invocation (real and virtual), a virtual clock
// that the command advances itself, the user's real settings, and scripted answers for the prompts a
// desktop would show.

#include "cli/Cli.h"
#include "model/Expected.h"
#include "platform/Desktop.h"
#include "platform/HttpClient.h"
#include "platform/ManualScheduler.h"
#include "platform/httplib/HttplibTransport.h"
#include "store/PadStore.h"

#include <memory>
#include <string_view>

namespace keyglass {
class PadEnvironment;
class SettingsStore;
class InputEventSource;
} // namespace keyglass

namespace keyglass::cli {

class StoreSession
{
public:
    /// Opens the pads and runs the store's first refresh to completion.
    static Expected<std::unique_ptr<StoreSession>> open(const Invocation& call);
    /// The same, then finds the pad named `id` and puts its identifier into `deviceID`. Prints why on
    /// standard error and returns null when the pads cannot be opened or the pad is not there.
    static std::unique_ptr<StoreSession>
    openWithDevice(const Invocation& call, std::string_view id, std::string& deviceID);
    ~StoreSession();

    PadStore& store() { return *m_store; }
    ScriptedDesktop& desktop() { return m_desktop; }
    /// The community service's client: blocking, so a request has finished once settle() returns.
    HttpClient& http() { return m_http; }
    /// Something that lives as long as the session, for HTTP completions to hold weakly.
    std::weak_ptr<const void> lifetime() const { return m_lifetime; }
    /// Runs everything that is due, then lets `delay` of virtual time pass (debounced writes).
    void settle(Duration delay = Duration::zero());
    /// The device whose identifier matches `id` (case-insensitive), or an error naming the pads there are.
    Expected<const DeviceModel*> findDevice(std::string_view id);
    /// Prints the store's toast, when there is one, to `out` (or `err` for an error toast). Returns
    /// false for an error toast.
    bool reportToast(const Invocation& call);

private:
    StoreSession() = default;
    std::unique_ptr<PadEnvironment> m_pads;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<InputEventSource> m_input;
    ManualScheduler m_scheduler;
    ScriptedDesktop m_desktop;
    HttplibTransport m_transport;
    HttpClient m_http{m_scheduler, m_transport};
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
    std::unique_ptr<PadStore> m_store;
};

} // namespace keyglass::cli
