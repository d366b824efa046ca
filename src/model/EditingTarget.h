#pragma once

#include <string>
#include <variant>

namespace keyglass {

/// The slot the keycode picker edits: a key on a layer, one direction of a knob on a layer, or one
/// action of a tap-dance entry. Identified by its identifier text.
class EditingTarget
{
public:
    struct Key
    {
        std::string deviceID;
        int layer = 0;
        int row = 0;
        int col = 0;
        bool operator==(const Key&) const = default;
    };
    struct Encoder
    {
        std::string deviceID;
        int layer = 0;
        int index = 0;
        bool cw = false;
        bool operator==(const Encoder&) const = default;
    };
    struct TapDance
    {
        std::string deviceID;
        int index = 0;
        int slot = 0; // 0 onTap, 1 onHold, 2 onDoubleTap, 3 onTapHold
        bool operator==(const TapDance&) const = default;
    };

    EditingTarget(Key key) : m_value(std::move(key)) {}
    EditingTarget(Encoder encoder) : m_value(std::move(encoder)) {}
    EditingTarget(TapDance tapDance) : m_value(std::move(tapDance)) {}

    const Key* key() const { return std::get_if<Key>(&m_value); }
    const Encoder* encoder() const { return std::get_if<Encoder>(&m_value); }
    const TapDance* tapDance() const { return std::get_if<TapDance>(&m_value); }
    const std::string& deviceID() const;

    /// "k-<device>-<layer>-<row>-<col>", "e-<device>-<layer>-<index>-<1|0>", "td-<device>-<index>-<slot>".
    std::string identifier() const;

    bool operator==(const EditingTarget&) const = default;

private:
    std::variant<Key, Encoder, TapDance> m_value;
};

} // namespace keyglass
