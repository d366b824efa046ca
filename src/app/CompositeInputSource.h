#pragma once

#include "input/InputEventSource.h"

#include <functional>
#include <set>
#include <utility>
#include <vector>

namespace keyglass {

/// Live input from two sources behind one seam: the platform's (real pads) and the demo pads'. The
/// pads are split by vendor/product id: those `isVirtual` claims go to the virtual source.
class CompositeInputSource final : public InputEventSource
{
public:
    using IsVirtual = std::function<bool(int vid, int pid)>;

    /// Either source may be null. Both must outlive this object.
    CompositeInputSource(InputEventSource* real, InputEventSource* virtualPads, IsVirtual isVirtual);

    bool accessGranted(const std::vector<std::pair<int, int>>& vidPids) const override;
    OpenResult open(const std::vector<std::pair<int, int>>& vidPids) override;
    void close() override;
    std::uint8_t systemModifiers() const override;
    void setListener(Listener listener) override;
    std::vector<int> fileDescriptors() const override;
    void readReady(int fd) override;
    void setDescriptorsChangedListener(std::function<void()> listener) override;

private:
    std::pair<std::vector<std::pair<int, int>>, std::vector<std::pair<int, int>>>
    split(const std::vector<std::pair<int, int>>& vidPids) const;

    InputEventSource* m_real;
    InputEventSource* m_virtual;
    IsVirtual m_isVirtual;
};

} // namespace keyglass
