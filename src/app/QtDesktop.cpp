#include "app/QtDesktop.h"
#include "app/wayland/DBusActivation.h"

#include "input/DesktopEntry.h"
#include "platform/Log.h"

#ifdef KG_HAVE_XCB
#include "app/x11/X11Windows.h"
#endif

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QUrl>

#include <pwd.h>
#include <tuple>
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
    QFileDialog dialog(nullptr,
                       QString::fromStdString(request.title.empty() ? request.message : request.title),
                       start,
                       filterFor(request.allowedExtensions));
    dialog.setObjectName("openPanel");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.message.empty() && !request.title.empty()) {
        // Neither the portal nor the GTK dialog has a line for a message, so the panel is Qt's own,
        // with the message above the file list, where the user reads it before choosing.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* message = new QLabel(QString::fromStdString(request.message), &dialog);
            message->setObjectName("openPanelMessage");
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
            // Move it to the top: shift every item one row down.
            QList<std::tuple<QLayoutItem*, int, int, int, int>> items;
            while (grid->count() > 0) {
                int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
                grid->getItemPosition(0, &row, &column, &rowSpan, &columnSpan);
                QLayoutItem* item = grid->takeAt(0);
                const bool isMessage = item->widget() == message;
                items.append({item, isMessage ? 0 : row + 1, column, rowSpan, columnSpan});
            }
            for (const auto& [item, row, column, rowSpan, columnSpan] : items)
                grid->addItem(item, row, column, rowSpan, columnSpan);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
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
    bool dbusActivatable = false;
    if (path.extension() == ".desktop") {
        if (const auto entry = readDesktopEntry(path)) {
            dbusActivatable = entry->dbusActivatable;
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
    // Raises the running instance (or starts one) where no window can be found from outside (Wayland).
    if (dbusActivatable) {
        const auto activated = activateDBusApplication(path.stem().string());
        if (activated)
            return {};
        logLine(activated.error().message + "; launching it instead");
    }
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

Expected<void> QtDesktop::runAsAdministrator(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return unexpected(Error("Nothing to run"));
    QStringList arguments;
    for (std::size_t i = 1; i < argv.size(); ++i)
        arguments << QString::fromStdString(argv[i]);
    QProcess process;
    process.start(QString::fromStdString(argv.front()), arguments);
    if (!process.waitForStarted())
        return unexpected(Error("Could not start " + argv.front()));
    // pkexec shows the password prompt through the session's agent; give the user time to answer.
    if (!process.waitForFinished(5 * 60 * 1000)) {
        process.kill();
        return unexpected(Error("No answer to the password prompt"));
    }
    const int code = process.exitCode();
    if (process.exitStatus() != QProcess::NormalExit)
        return unexpected(Error(argv.front() + " stopped unexpectedly"));
    // pkexec: 126 when the prompt was dismissed or authorisation refused, 127 when it could not ask.
    if (code == 126 || code == 127)
        return unexpected(Error("Not authorised"));
    if (code != 0)
        return unexpected(Error("The commands failed (exit status " + std::to_string(code) + ")"));
    return {};
}

} // namespace keyglass
