#include "model/EditingTarget.h"

namespace keyglass {

const std::string& EditingTarget::deviceID() const
{
    return std::visit([](const auto& target) -> const std::string& { return target.deviceID; }, m_value);
}

std::string EditingTarget::identifier() const
{
    using std::to_string;
    if (const auto* k = key())
        return "k-" + k->deviceID + "-" + to_string(k->layer) + "-" + to_string(k->row) + "-" + to_string(k->col);
    if (const auto* e = encoder())
        return "e-" + e->deviceID + "-" + to_string(e->layer) + "-" + to_string(e->index) + "-" + (e->cw ? "1" : "0");
    const auto* t = tapDance();
    return "td-" + t->deviceID + "-" + to_string(t->index) + "-" + to_string(t->slot);
}

} // namespace keyglass
