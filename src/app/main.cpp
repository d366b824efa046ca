#include "app/AppDelegate.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "store/PadStore.h"
#include "ui/views/HUDRootView.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void printUsage()
{
    std::puts("Usage: keyglass [--demo] [--virtual PAD]... [--no-real-pads] [--release-pads] [--version]\n"
              "  --demo          add the built-in virtual pads quadgrid and solodial\n"
              "  --virtual PAD  add a virtual pad: quadgrid, solodial or a vial.json path, optionally @STATEFILE\n"
              "  --no-real-pads  leave out pads on the USB bus\n"
              "  --release-pads  start without talking to the pads (tray: Resume Pads)\n"
              "Environment: KEYGLASS_VIRTUAL_PADS (comma-separated PADs).");
}

std::vector<std::string> splitPadArguments(std::string_view text)
{
    std::vector<std::string> padList;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        if (!item.empty())
            padList.emplace_back(item);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return padList;
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    keyglass::AppOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--virtual" && i + 1 < argc) {
            options.virtualPads.emplace_back(argv[++i]);
        } else if (arg == "--no-real-pads") {
            options.includeRealPads = false;
        } else if (arg == "--release-pads") {
            options.padsReleased = true;
        } else if (arg == "--help" || arg == "-h") {
            printUsage();
            return 0;
        } else if (arg == "--version") {
            std::printf("keyglass %s\n", KG_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "keyglass: unknown argument %s\n", argv[i]);
            printUsage();
            return 2;
        }
    }
    if (const char* env = std::getenv("KEYGLASS_VIRTUAL_PADS"))
        for (auto& padArgument : splitPadArguments(env))
            options.virtualPads.push_back(std::move(padArgument));

    QApplication app(argc, argv);
    QApplication::setApplicationName("keyglass");
    QApplication::setApplicationDisplayName("Keyglass");
    QApplication::setDesktopFileName("keyglass");
    for (const auto& dir : keyglass::paths::resourceDirs()) {
        const QString icon = QString::fromStdString((dir / "icons" / "keyglass.svg").string());
        if (QFile::exists(icon)) {
            QApplication::setWindowIcon(QIcon(icon));
            break;
        }
    }

    keyglass::AppDelegate delegate(options);
    if (!delegate.start())
        return 1;

    // For measuring start-up: the time from process start until the HUD's first frame that shows the
    // pads found by the first refresh.
    if (const char* wanted = std::getenv("KEYGLASS_REPORT_STARTUP")) {
        const std::size_t pads = std::strtoul(wanted, nullptr, 10);
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, poll, [&delegate, started, pads, poll] {
            if (delegate.store().devices().size() < pads)
                return;
            poll->stop();
            if (!delegate.hudVisible())
                delegate.toggleUI();
            delegate.hud().repaint();
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                    .count();
            std::fprintf(stderr, "startup-to-first-paint-ms %lld\n", static_cast<long long>(ms));
        });
        poll->start(1);
    }
    return app.exec();
}
