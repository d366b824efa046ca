#include "device/DeviceModelJson.h"

namespace keyglass {

using json = nlohmann::json;

json toJson(const DeviceProtocol& proto)
{
    json out{{"case", proto.isVial() ? "vial" : "via"}, {"viaVersion", proto.viaVersion()}, {"label", proto.label()}};
    if (proto.isVial()) {
        out["vialVersion"] = proto.vialVersion();
        out["uid"] = proto.uid();
    }
    return out;
}

json toJson(const PhysicalKey& key)
{
    // A cap without a second rectangle reports its one rectangle again, as the layout editor does.
    return json{{"id", key.id},
                {"row", key.row},
                {"col", key.col},
                {"x", key.x},
                {"y", key.y},
                {"w", key.w},
                {"h", key.h},
                {"decal", key.decal},
                {"r", key.r},
                {"rx", key.rx},
                {"ry", key.ry},
                {"x2", key.x2},
                {"y2", key.y2},
                {"w2", key.hasSecondary() ? key.w2 : key.w},
                {"h2", key.hasSecondary() ? key.h2 : key.h},
                {"option", key.option ? json::array({key.option->group, key.option->choice}) : json(nullptr)}};
}

json toJson(const LayoutOptionLabel& label)
{
    return json{{"title", label.title}, {"choices", label.choices}, {"toggle", label.isToggle()}};
}

json toJson(const PhysicalEncoder& encoder)
{
    return json{{"id", encoder.id},
                {"name", encoder.name},
                {"clickRow", encoder.clickRow ? json(*encoder.clickRow) : json(nullptr)},
                {"clickCol", encoder.clickCol ? json(*encoder.clickCol) : json(nullptr)}};
}

json toJson(const TapDanceData& entry)
{
    return json{{"onTap", entry.onTap},
                {"onHold", entry.onHold},
                {"onDoubleTap", entry.onDoubleTap},
                {"onTapHold", entry.onTapHold},
                {"tappingTerm", entry.tappingTerm}};
}

json toJson(const RGBState& state)
{
    return json{{"kind", std::string(toString(state.kind))},
                {"brightness", state.brightness},
                {"effect", state.effect},
                {"lastOnEffect", state.lastOnEffect},
                {"speed", state.speed},
                {"hue", state.hue},
                {"sat", state.sat}};
}

json toJson(const DeviceModel& model)
{
    json keys = json::array();
    for (const auto& key : model.keys)
        keys.push_back(toJson(key));
    json encoders = json::array();
    for (const auto& encoder : model.encoders)
        encoders.push_back(toJson(encoder));
    json labels = json::array();
    for (const auto& label : model.layoutLabels)
        labels.push_back(toJson(label));
    json tapDances = json::array();
    for (const auto& entry : model.tapDances)
        tapDances.push_back(toJson(entry));
    return json{{"id", model.id},
                {"vid", model.vid},
                {"pid", model.pid},
                {"manufacturer", model.manufacturer},
                {"product", model.product},
                {"serial", model.serial},
                {"proto", toJson(model.proto)},
                {"connected", model.connected},
                {"liveRead", model.liveRead},
                {"rows", model.rows},
                {"cols", model.cols},
                {"layerCount", model.layerCount},
                {"keys", std::move(keys)},
                {"encoders", std::move(encoders)},
                {"tapDanceCount", model.tapDanceCount},
                {"keymap", model.keymap},
                {"encoderMap", model.encoderMap},
                {"tapDances", std::move(tapDances)},
                {"rgb", toJson(model.rgb)},
                {"activeLayer", model.activeLayer},
                {"protectedCells", model.protectedCells},
                {"protectedLayerCells", model.protectedLayerCells},
                {"layoutLabels", std::move(labels)},
                {"layoutOptions", model.layoutOptions},
                {"dirty", model.dirty}};
}

} // namespace keyglass
