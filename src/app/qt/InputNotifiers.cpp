#include "app/qt/InputNotifiers.h"

#include "input/InputEventSource.h"

#include <QSocketNotifier>

#include <set>

namespace keyglass {

InputNotifiers::InputNotifiers(InputEventSource& source) : m_source(source) {}

InputNotifiers::~InputNotifiers() = default;

void InputNotifiers::sync()
{
    const auto fds = m_source.fileDescriptors();
    const std::set<int> wanted(fds.begin(), fds.end());
    for (auto it = m_notifiers.begin(); it != m_notifiers.end();) {
        if (!wanted.count(it->first)) {
            // Disabled at once (its descriptor is about to close), deleted later: this may run inside
            // its own activated() signal.
            it->second->setEnabled(false);
            it->second.release()->deleteLater();
            it = m_notifiers.erase(it);
        } else {
            ++it;
        }
    }
    for (int fd : wanted) {
        if (m_notifiers.count(fd))
            continue;
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(
            notifier.get(), &QSocketNotifier::activated, notifier.get(), [this, fd] { m_source.readReady(fd); });
        m_notifiers.emplace(fd, std::move(notifier));
    }
}

} // namespace keyglass
