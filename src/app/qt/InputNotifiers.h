#pragma once

#include <map>
#include <memory>

class QSocketNotifier;

namespace keyglass {

class InputEventSource;

/// Watches the descriptors of an input source on the Qt event loop and hands readable ones back to it.
/// The set changes with every refresh, so the owner calls sync() whenever the source may have changed.
class InputNotifiers
{
public:
    explicit InputNotifiers(InputEventSource& source);
    ~InputNotifiers();

    /// Watches exactly the source's current descriptors.
    void sync();
    int watchedCount() const { return int(m_notifiers.size()); }

private:
    InputEventSource& m_source;
    std::map<int, std::unique_ptr<QSocketNotifier>> m_notifiers;
};

} // namespace keyglass
