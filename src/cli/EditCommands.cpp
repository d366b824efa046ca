// Editing through the store, so the CLI follows the same rules and messages as the HUD: protected slots,
// the safety rules for typed expressions, custom labels, Apply's result.

#include "cli/Cli.h"
#include "cli/StoreSession.h"
#include "device/Lighting.h"
#include "keycodes/KeycodeExpression.h"

#include <algorithm>
#include <charconv>
#include <iostream>

namespace keyglass::cli {

namespace {
std::optional<int> parseNumber(std::string_view text, int minimum, int maximum)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

// A position the pad has: inside its layers and matrix, and a key of its layout (or a knob's click).
bool hasKeyAt(const DeviceModel& model, int layer, int row, int col)
{
    if (layer >= model.layerCount || row >= model.rows || col >= model.cols)
        return false;
    const bool isKey = std::any_of(model.keys.begin(), model.keys.end(), [&](const PhysicalKey& key) {
        return !key.decal && key.row == row && key.col == col;
    });
    const bool isClick = std::any_of(model.encoders.begin(), model.encoders.end(), [&](const PhysicalEncoder& knob) {
        return knob.hasClick() && *knob.clickRow == row && *knob.clickCol == col;
    });
    // Reserved cells are refused later with their own message.
    return isKey || isClick || model.keys.empty() || model.protectedCells.contains(cellKey(row, col));
}

struct EditOptions
{
    bool dryRun = false;
    bool unlock = false;
    std::optional<std::string> label;
};

std::optional<EditOptions> takeEditOptions(Invocation& call)
{
    EditOptions options;
    options.dryRun = takeFlag(call.args, "--dry-run");
    options.unlock = takeFlag(call.args, "--unlock");
    bool missing = false;
    const auto labels = takeOption(call.args, "--label", &missing);
    if (missing) {
        call.err << "keyglass-cli: --label needs a text\n";
        return std::nullopt;
    }
    if (!labels.empty())
        options.label = labels.back();
    return options;
}

// Stages `expression` on the target the store has open, then applies unless it is a dry run.
int stageAndApply(Invocation& call,
                  StoreSession& session,
                  const std::string& deviceID,
                  std::string_view expression,
                  const EditOptions& options)
{
    PadStore& store = session.store();
    if (!store.editingTarget()) {
        session.reportToast(call);
        return ExitFailed;
    }
    const EditingTarget target = *store.editingTarget();
    if (auto refusal = store.assignExpression(target, expression, options.label)) {
        call.err << *refusal << "\n";
        return ExitFailed;
    }
    store.clearEditingTarget();
    const DeviceModel* model = store.device(deviceID);
    const Keycode code = store.currentKeycode(target);
    if (options.dryRun) {
        call.out << "staged " << formatKeycode(code, model->legacyKeycodes()) << " on " << target.identifier()
                 << " (dry run: nothing written)\n";
        return ExitOk;
    }
    store.apply(deviceID);
    session.settle();
    return session.reportToast(call) ? ExitOk : ExitFailed;
}

int runSet(Invocation& call)
{
    auto options = takeEditOptions(call);
    if (!options)
        return ExitUsage;
    if (call.args.size() != 5) {
        call.err << "usage: keyglass-cli set ID LAYER ROW COL EXPR [--label TEXT] [--unlock] [--dry-run]\n";
        return ExitUsage;
    }
    const auto layer = parseNumber(call.args[1], 0, 255);
    const auto row = parseNumber(call.args[2], 0, 255);
    const auto col = parseNumber(call.args[3], 0, 255);
    if (!layer || !row || !col) {
        call.err << "keyglass-cli: LAYER, ROW and COL are numbers from 0 to 255\n";
        return ExitUsage;
    }
    std::string id;
    auto session = StoreSession::openWithDevice(call, call.args[0], id);
    if (!session)
        return ExitFailed;
    if (!hasKeyAt(*session->store().device(id), *layer, *row, *col)) {
        call.err << "keyglass-cli: " << id << " has no key at row " << *row << ", column " << *col << " on layer "
                 << *layer << "\n";
        return ExitFailed;
    }
    session->desktop().alertAnswers = {options->unlock ? 1 : 0};
    session->store().chooseKey(id, *layer, *row, *col);
    if (!session->store().editingTarget() && !session->store().toastMessage()) {
        call.err << "Layer " << *layer << " (r" << *row << ",c" << *col
                 << ") holds a firmware-custom key and stays locked; pass --unlock to edit it\n";
        return ExitFailed;
    }
    return stageAndApply(call, *session, id, call.args[4], *options);
}

int runSetKnob(Invocation& call)
{
    auto options = takeEditOptions(call);
    if (!options)
        return ExitUsage;
    if (call.args.size() != 5 || (call.args[3] != "cw" && call.args[3] != "ccw")) {
        call.err << "usage: keyglass-cli set-knob ID LAYER INDEX ccw|cw EXPR [--label TEXT] [--dry-run]\n";
        return ExitUsage;
    }
    const auto layer = parseNumber(call.args[1], 0, 255);
    const auto index = parseNumber(call.args[2], 0, 255);
    if (!layer || !index) {
        call.err << "keyglass-cli: LAYER and INDEX are numbers from 0 to 255\n";
        return ExitUsage;
    }
    std::string id;
    auto session = StoreSession::openWithDevice(call, call.args[0], id);
    if (!session)
        return ExitFailed;
    const DeviceModel& model = *session->store().device(id);
    if (static_cast<size_t>(*layer) >= model.encoderMap.size() ||
        static_cast<size_t>(*index) >= model.encoderMap[static_cast<size_t>(*layer)].size()) {
        call.err << "keyglass-cli: " << model.id << " has no knob " << *index << " on layer " << *layer << "\n";
        return ExitFailed;
    }
    session->store().chooseEncoder(id, *layer, *index, call.args[3] == "cw");
    return stageAndApply(call, *session, id, call.args[4], *options);
}

int runSetTapDance(Invocation& call)
{
    auto options = takeEditOptions(call);
    if (!options)
        return ExitUsage;
    if (call.args.size() != 4) {
        call.err << "usage: keyglass-cli set-tapdance ID INDEX SLOT EXPR [--label TEXT] [--dry-run]\n"
                    "  SLOT: 0 tap, 1 hold, 2 double tap, 3 tap-hold\n";
        return ExitUsage;
    }
    const auto index = parseNumber(call.args[1], 0, 255);
    const auto slot = parseNumber(call.args[2], 0, 3);
    if (!index || !slot) {
        call.err << "keyglass-cli: INDEX is a number from 0 to 255 and SLOT one from 0 to 3\n";
        return ExitUsage;
    }
    std::string id;
    auto session = StoreSession::openWithDevice(call, call.args[0], id);
    if (!session)
        return ExitFailed;
    const DeviceModel& model = *session->store().device(id);
    if (static_cast<size_t>(*index) >= model.tapDances.size()) {
        call.err << "keyglass-cli: " << id << " has no tap dance " << *index << " (" << model.tapDances.size()
                 << " available)\n";
        return ExitFailed;
    }
    session->store().chooseTapDance(id, *index, *slot);
    return stageAndApply(call, *session, id, call.args[3], *options);
}

int runLighting(Invocation& call)
{
    const bool on = takeFlag(call.args, "--on");
    const bool off = takeFlag(call.args, "--off");
    const bool toggle = takeFlag(call.args, "--toggle");
    bool missing = false;
    const auto effects = takeOption(call.args, "--effect", &missing);
    const auto brightnesses = takeOption(call.args, "--brightness", &missing);
    const auto colors = takeOption(call.args, "--color", &missing);
    const auto speeds = takeOption(call.args, "--speed", &missing);
    if (missing || call.args.size() != 1 || (on + off + toggle) > 1) {
        call.err << "usage: keyglass-cli lighting ID [--on|--off|--toggle] [--effect N] [--brightness B] "
                    "[--color HUE,SAT] [--speed S]\n";
        return ExitUsage;
    }
    std::optional<std::uint8_t> effect, brightness, hue, sat, speed;
    // The last of each option counts; each takes one byte.
    auto byteOption =
        [&call](const std::vector<std::string>& given, const char* flag, std::optional<std::uint8_t>& out) {
            if (given.empty())
                return true;
            const auto value = parseNumber(given.back(), 0, 255);
            if (!value) {
                call.err << "keyglass-cli: " << flag << " takes 0-255\n";
                return false;
            }
            out = static_cast<std::uint8_t>(*value);
            return true;
        };
    if (!byteOption(effects, "--effect", effect) || !byteOption(brightnesses, "--brightness", brightness) ||
        !byteOption(speeds, "--speed", speed))
        return ExitUsage;
    if (!colors.empty()) {
        const std::string& text = colors.back();
        const auto comma = text.find(',');
        auto h =
            comma == std::string::npos ? std::nullopt : parseNumber(std::string_view(text).substr(0, comma), 0, 255);
        auto s =
            comma == std::string::npos ? std::nullopt : parseNumber(std::string_view(text).substr(comma + 1), 0, 255);
        if (!h || !s) {
            call.err << "keyglass-cli: --color takes HUE,SAT (each 0-255)\n";
            return ExitUsage;
        }
        hue = static_cast<std::uint8_t>(*h);
        sat = static_cast<std::uint8_t>(*s);
    }

    std::string id;
    auto session = StoreSession::openWithDevice(call, call.args[0], id);
    if (!session)
        return ExitFailed;
    PadStore& store = session->store();
    const DeviceModel& model = *store.device(id);
    if (model.rgb.kind == RGBProtocolKind::none) {
        call.err << "keyglass-cli: " << model.displayName() << " has no lighting Keyglass can control\n";
        return ExitFailed;
    }
    if (speed && !lightingHasSpeed(model.rgb.kind)) {
        call.err << "keyglass-cli: the lighting of " << model.displayName() << " has no speed Keyglass can set\n";
        return ExitFailed;
    }
    if (toggle || (on && !model.rgb.isOn()) || (off && model.rgb.isOn()))
        store.toggleLighting(id);
    if (hue && sat && !effect && !brightness)
        store.chooseLightingColor(id, *hue, *sat); // a colour alone switches the lights on, as in the HUD
    else if (effect || brightness || hue)
        store.setLighting(id, brightness, effect, hue, sat);
    if (speed)
        store.setLightingSpeed(id, *speed);
    session->settle(std::chrono::milliseconds(600));

    const RGBState& rgb = store.device(id)->rgb;
    std::string effectName = "Effect " + std::to_string(rgb.effect);
    for (const auto& [number, name] : lightingEffects(rgb.kind, store.device(id)->lightingEffectIds)) {
        if (number == rgb.effect)
            effectName = name;
    }
    call.out << id << " lighting " << (rgb.isOn() ? "on" : "off") << " effect=" << int(rgb.effect) << " (" << effectName
             << ") brightness=" << int(rgb.brightness) << " speed=" << int(rgb.speed) << " hue=" << int(rgb.hue)
             << " sat=" << int(rgb.sat) << "\n";
    return ExitOk;
}

const bool registered =
    registerCommand("set", "set ID LAYER ROW COL EXPR [--label TEXT] [--unlock] [--dry-run]   remap a key", runSet) &&
    registerCommand("set-knob",
                    "set-knob ID LAYER INDEX ccw|cw EXPR [--label TEXT] [--dry-run]   remap a knob direction",
                    runSetKnob) &&
    registerCommand("set-tapdance",
                    "set-tapdance ID INDEX SLOT EXPR [--label TEXT] [--dry-run]   remap a tap-dance action",
                    runSetTapDance) &&
    registerCommand("lighting",
                    "lighting ID [--on|--off|--toggle] [--effect N] [--brightness B] [--color HUE,SAT] [--speed S]",
                    runLighting);
} // namespace

} // namespace keyglass::cli
