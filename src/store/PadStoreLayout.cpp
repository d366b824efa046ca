// The store's layout operations: choosing a layout option of a pad, and adding the VIA definition
// that gives a plain VIA pad its real layout.

#include "store/PadStore.h"

#include "device/KleLayout.h"
#include "device/LayoutOptions.h"
#include "device/ViaDefinitions.h"
#include "platform/Desktop.h"
#include "platform/Log.h"

namespace keyglass {

void PadStore::setLayoutOption(const std::string& deviceID, int group, int choice)
{
    const DeviceModel* model = device(deviceID);
    if (!model || refuseWhileReleased())
        return;
    // The keys a new choice shows were never read; staged values for them would be placeholders.
    if (model->dirty) {
        showToast("Apply or discard the staged edits before changing the layout", true);
        return;
    }
    const auto value = layoutOptionsWith(*model, group, choice);
    if (!value)
        return;
    if (*value == model->layoutOptions)
        return;
    const LayoutOptionLabel& label = model->layoutLabels[static_cast<std::size_t>(group)];
    const std::string choiceText =
        label.isToggle() ? (choice ? "on" : "off") : label.choices[static_cast<std::size_t>(choice)];
    const std::string done = "Layout: " + label.title + " " + choiceText;

    std::weak_ptr<int> alive = m_alive;
    HidBackend& hid = m_services.hid;
    Scheduler& scheduler = m_services.scheduler;
    scheduler.postIO([this, alive, &hid, &scheduler, vid = model->vid, pid = model->pid, value = *value, done] {
        auto written = writeLayoutOptions(hid, vid, pid, value);
        scheduler.postMain([this, alive, written = std::move(written), done] {
            if (!alive.lock())
                return;
            if (!written) {
                showToast(written.error().message, true);
                return;
            }
            showToast(done, false);
            refresh();
        });
    });
}

void PadStore::addViaDefinition(const std::filesystem::path& file)
{
    const auto added = addViaDefinitionFile(file);
    if (!added) {
        logLine("VIA definition not added: " + added.error().message);
        showToast("Not a usable VIA definition: " + added.error().message, true);
        return;
    }
    logLine("Added VIA definition " + added->name + " for " + added->deviceID());
    showToast("Added VIA definition " + added->name + " for " + added->deviceID(), false);
    if (!m_padsReleased)
        refresh();
}

void PadStore::chooseViaDefinition()
{
    OpenPanelRequest request;
    request.title = "Load VIA Definition";
    request.message = "Choose the VIA definition (.json) of this keyboard";
    request.allowedExtensions = {"json"};
    m_services.desktop.bringToFront();
    if (const auto file = m_services.desktop.chooseOpenFile(request))
        addViaDefinition(*file);
}

} // namespace keyglass
