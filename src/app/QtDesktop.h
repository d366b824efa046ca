#pragma once

#include "platform/Desktop.h"

#include <functional>

namespace keyglass {

/// The Desktop seam on Qt: message boxes, file dialogs, the clipboard, the file browser, and App Focus
/// by EWMH activation or launching the application's .desktop entry.
class QtDesktop final : public Desktop
{
public:
    /// Raises the HUD's host window before a modal panel.
    std::function<void()> raiseHud;

    void bringToFront() override;
    int runAlert(const AlertRequest& request) override;
    std::optional<std::filesystem::path> chooseSaveFile(const SavePanelRequest& request) override;
    std::optional<std::filesystem::path> chooseOpenFile(const OpenPanelRequest& request) override;
    void setClipboardText(const std::string& text) override;
    void openFolder(const std::filesystem::path& folder) override;
    Expected<void> focusApplication(const std::string& appPath) override;
    std::string userFullName() const override;
};

/// The full name in a passwd GECOS field: the text before the first comma.
std::string fullNameFromGecos(const char* gecos);

} // namespace keyglass
