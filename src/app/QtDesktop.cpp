#include "app/QtDesktop.h"

#include "input/DesktopEntry.h"
#include "platform/Log.h"

#ifdef KG_HAVE_XCB
#include "app/x11/X11Windows.h"
#endif

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

namespace keyglass {

namespace {

QString filterFor(const std::vector<std::string>& extensions)
{
    if (extensions.empty())
        return {};
    QStringList patterns;
    for (const auto& ext : extensions)
        patterns << "*." + QString::fromStdString(ext);
    return QString("Files (%1)").arg(patterns.join(' '));
}

} // namespace

std::string fullNameFromGecos(const char* gecos)
{
    if (!gecos)
        return {};
    std::string text(gecos);
    return text.substr(0, text.find(','));
}

void QtDesktop::bringToFront()
{
    if (raiseHud)
        raiseHud();
}

int QtDesktop::runAlert(const AlertRequest& request)
{
    QMessageBox box;
    switch (request.style) {
    case AlertStyle::informational:
        box.setIcon(QMessageBox::Information);
        break;
    case AlertStyle::warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case AlertStyle::critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setWindowTitle("Keyglass");
    box.setText(QString::fromStdString(request.message));
    box.setInformativeText(QString::fromStdString(request.informativeText));
    std::vector<QPushButton*> buttons;
    for (const auto& title : request.buttons)
        buttons.push_back(box.addButton(QString::fromStdString(title), QMessageBox::ActionRole));
    if (buttons.empty())
        buttons.push_back(box.addButton(QMessageBox::Ok));
    box.setDefaultButton(buttons.front());
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i])
            return request.buttons.empty() ? -1 : int(i);
    return -1;
}

std::optional<std::filesystem::path> QtDesktop::chooseSaveFile(const SavePanelRequest& request)
{
    QString start = request.directory ? QString::fromStdString(request.directory->string()) : QDir::homePath();
    start += "/" + QString::fromStdString(request.proposedFileName);
    const QString file = QFileDialog::getSaveFileName(
        nullptr, QString::fromStdString(request.title), start, filterFor(request.allowedExtensions));
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

std::optional<std::filesystem::path> QtDesktop::chooseOpenFile(const OpenPanelRequest& request)
{
    const QString start = request.directory ? QString::fromStdString(request.directory->string()) : QDir::homePath();
    const QString caption = QString::fromStdString(request.title.empty() ? request.message : request.title);
    const QString file = QFileDialog::getOpenFileName(nullptr, caption, start, filterFor(request.allowedExtensions));
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

void QtDesktop::setClipboardText(const std::string& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(text));
}

void QtDesktop::openFolder(const std::filesystem::path& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

Expected<void> QtDesktop::focusApplication(const std::string& appPath)
{
    const std::filesystem::path path(appPath);
    std::string wmClass;
    std::string executable = path.filename().string();
    if (path.extension() == ".desktop") {
        if (const auto entry = readDesktopEntry(path)) {
            wmClass = entry->startupWMClass;
            executable =
                entry->exec.empty() ? std::string() : std::filesystem::path(entry->exec.front()).filename().string();
        }
        if (wmClass.empty())
            wmClass = path.stem().string();
    } else {
        wmClass = executable;
    }
#ifdef KG_HAVE_XCB
    if (x11::activateWindowOf(wmClass, executable))
        return {};
#endif
    const std::vector<std::string> command = launchCommandFor(appPath);
    if (command.empty())
        return unexpected(Error("Nothing to launch for " + appPath, 0, "desktop"));
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i)
        arguments << QString::fromStdString(command[i]);
    if (!QProcess::startDetached(QString::fromStdString(command.front()), arguments))
        return unexpected(Error("Could not launch " + command.front(), 0, "desktop"));
    return {};
}

std::string QtDesktop::userFullName() const
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? fullNameFromGecos(entry->pw_gecos) : std::string();
}

} // namespace keyglass
