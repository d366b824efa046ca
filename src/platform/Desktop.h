#pragma once
// Everything the store asks of the desktop: alerts, file panels, the clipboard, opening folders and
// bringing applications to the front. The Qt app implements it with QMessageBox, QFileDialog and
// friends; tests and the CLI use scripted answers. All calls happen on the main thread and may block
// (modal panels).

#include "model/Expected.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace keyglass {

enum class AlertStyle
{
    informational,
    warning,
    critical,
};

struct AlertRequest
{
    AlertStyle style = AlertStyle::warning;
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons; // in display order; the first is the default
};

struct SavePanelRequest
{
    std::string title;
    std::string proposedFileName;
    std::vector<std::string> allowedExtensions; // without the dot: {"json"}
    std::optional<std::filesystem::path> directory;
};

struct OpenPanelRequest
{
    std::string title;
    std::string message;
    std::optional<std::filesystem::path> directory;
    std::vector<std::string> allowedExtensions; // empty: any file
};

class Desktop
{
public:
    virtual ~Desktop() = default;
    /// Raises Keyglass above other applications before a modal panel.
    virtual void bringToFront() = 0;
    /// Shows a modal alert; returns the index of the chosen button, or -1 when it was dismissed.
    virtual int runAlert(const AlertRequest& request) = 0;
    virtual std::optional<std::filesystem::path> chooseSaveFile(const SavePanelRequest& request) = 0;
    virtual std::optional<std::filesystem::path> chooseOpenFile(const OpenPanelRequest& request) = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    /// Shows a folder in the file browser.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
    /// Brings the application at `appPath` (a .desktop file or an executable) to the front, launching
    /// it when it is not running.
    virtual Expected<void> focusApplication(const std::string& appPath) = 0;
    /// The user's full name (passwd GECOS on Linux), or empty.
    virtual std::string userFullName() const = 0;
};

/// Answers from a script: tests queue the answers, the CLI queues what its flags say. Unanswered
/// alerts return -1 (dismissed) and unanswered panels return none (cancelled).
class ScriptedDesktop final : public Desktop
{
public:
    std::vector<int> alertAnswers;
    std::vector<std::optional<std::filesystem::path>> saveAnswers;
    std::vector<std::optional<std::filesystem::path>> openAnswers;

    std::vector<AlertRequest> alertsShown;
    std::vector<SavePanelRequest> savePanelsShown;
    std::vector<OpenPanelRequest> openPanelsShown;
    std::vector<std::string> clipboard;
    std::vector<std::filesystem::path> foldersOpened;
    std::vector<std::string> focusedApps;
    std::optional<Error> focusFailure;
    std::string fullName;
    int timesBroughtToFront = 0;

    void bringToFront() override { ++timesBroughtToFront; }
    int runAlert(const AlertRequest& request) override
    {
        alertsShown.push_back(request);
        if (alertAnswers.empty())
            return -1;
        const int answer = alertAnswers.front();
        alertAnswers.erase(alertAnswers.begin());
        return answer;
    }
    std::optional<std::filesystem::path> chooseSaveFile(const SavePanelRequest& request) override
    {
        savePanelsShown.push_back(request);
        return takeFirst(saveAnswers);
    }
    std::optional<std::filesystem::path> chooseOpenFile(const OpenPanelRequest& request) override
    {
        openPanelsShown.push_back(request);
        return takeFirst(openAnswers);
    }
    void setClipboardText(const std::string& text) override { clipboard.push_back(text); }
    void openFolder(const std::filesystem::path& folder) override { foldersOpened.push_back(folder); }
    Expected<void> focusApplication(const std::string& appPath) override
    {
        focusedApps.push_back(appPath);
        if (focusFailure)
            return unexpected(*focusFailure);
        return {};
    }
    std::string userFullName() const override { return fullName; }

private:
    static std::optional<std::filesystem::path> takeFirst(std::vector<std::optional<std::filesystem::path>>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        auto answer = queue.front();
        queue.erase(queue.begin());
        return answer;
    }
};

} // namespace keyglass
