#include "cli/StoreSession.h"

#include "input/InputEventSource.h"
#include "padenv/PadEnvironment.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>

namespace keyglass::cli {

namespace {
// One-shot commands do not watch live input.
class NoInputSource final : public InputEventSource
{
public:
    bool accessGranted(const std::vector<std::pair<int, int>>&) const override { return false; }
    OpenResult open(const std::vector<std::pair<int, int>>&) override { return {-1, 0}; }
    void close() override {}
    std::uint8_t systemModifiers() const override { return 0; }
    void setListener(Listener) override {}
};

// The passwd GECOS field up to its first comma, as the desktop app reads it.
std::string accountFullName()
{
    const passwd* entry = ::getpwuid(::getuid());
    if (!entry || !entry->pw_gecos)
        return {};
    std::string text(entry->pw_gecos);
    return text.substr(0, text.find(','));
}

std::string upper(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}
} // namespace

Expected<std::unique_ptr<StoreSession>> StoreSession::open(const Invocation& call)
{
    auto pads = PadEnvironment::create(call.virtualPads);
    if (!pads)
        return unexpected(pads.error());
    std::unique_ptr<StoreSession> session(new StoreSession());
    session->m_pads = std::move(*pads);
    session->m_settings = std::make_unique<JsonFileSettingsStore>(paths::settingsFile());
    session->m_input = std::make_unique<NoInputSource>();
    session->m_desktop.fullName = accountFullName();
    session->m_store = std::make_unique<PadStore>(PadStoreServices{session->m_scheduler,
                                                                   session->m_pads->backend(),
                                                                   *session->m_input,
                                                                   *session->m_settings,
                                                                   session->m_desktop,
                                                                   false,
                                                                   &session->m_http});
    session->m_scheduler.runUntilIdle();
    return session;
}

std::unique_ptr<StoreSession>
StoreSession::openWithDevice(const Invocation& call, std::string_view id, std::string& deviceID)
{
    auto session = open(call);
    if (!session) {
        call.err << session.error().message << "\n";
        return nullptr;
    }
    auto device = (*session)->findDevice(id);
    if (!device) {
        call.err << device.error().message << "\n";
        return nullptr;
    }
    deviceID = (*device)->id;
    return std::move(*session);
}

StoreSession::~StoreSession()
{
    // Writes still pending (a debounced lighting save) go out before the pads are released.
    m_scheduler.advance(std::chrono::seconds(1));
    m_store.reset();
}

void StoreSession::settle(Duration delay)
{
    m_scheduler.runUntilIdle();
    if (delay > Duration::zero())
        m_scheduler.advance(delay);
}

Expected<const DeviceModel*> StoreSession::findDevice(std::string_view id)
{
    const std::string wanted = upper(id);
    for (const auto& model : m_store->devices()) {
        if (model.id == wanted)
            return &model;
    }
    std::string known;
    for (const auto& model : m_store->devices())
        known += (known.empty() ? "" : ", ") + model.id;
    return unexpected(Error("no pad " + std::string(id) + " connected" +
                            (known.empty() ? std::string(" (no pads found)") : " (pads: " + known + ")")));
}

bool StoreSession::reportToast(const Invocation& call)
{
    const auto& toast = m_store->toastMessage();
    if (!toast)
        return true;
    if (m_store->toastIsError()) {
        call.err << *toast << "\n";
        return false;
    }
    call.out << *toast << "\n";
    return true;
}

} // namespace keyglass::cli
