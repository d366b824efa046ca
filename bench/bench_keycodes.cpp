// Cost of the per-keycap work: describing a keycode on every redraw, and parsing and formatting
// expressions when presets are staged or saved.

#include "keycodes/KeycodeExpression.h"
#include "keycodes/Keycodes.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace keyglass;

// A mix like a real pad: plain keys, shortcuts, layer keys, media and unknown codes.
const std::vector<Keycode>& sampleCodes()
{
    static const std::vector<Keycode> codes = {0x0004, 0x0028, 0x0A12, 0x0312, 0x080E, 0x5221, 0x5705,
                                               0x00A9, 0x00D9, 0x0068, 0x0A35, 0x0150, 0x0000, 0x0001,
                                               0x7E00, 0x1234, 0x0F04, 0x0132, 0x003F, 0x023F};
    return codes;
}

void BM_DescribeKeycode(benchmark::State& state)
{
    const T3Map t3{{"mod+shift+o", "New Thread"},
                   {"mod+k", "Command Palette"},
                   {"f6", "Next Pane"},
                   {"shift+f6", "Prev Pane"},
                   {"mod+shift+[", "Prev Thread"}};
    const FocusMap focus{{0x0068, FocusEntry{"Safari", "/Applications/Safari.app"}},
                         {0x0069, FocusEntry{"Mail", "/Applications/Mail.app"}}};
    const auto& codes = sampleCodes();
    std::size_t i = 0;
    for (auto _ : state) {
        KeyAction action = describeKeycode(codes[i], false, (i & 4) != 0, t3, focus);
        benchmark::DoNotOptimize(action);
        i = (i + 1) % codes.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DescribeKeycode);

void BM_ParseKeycodeExpression(benchmark::State& state)
{
    const std::vector<std::string> texts = {"KC_A",
                                            "LCTL(KC_K)",
                                            "SGUI(KC_D)",
                                            "MO(1)",
                                            "0x0A12",
                                            "kc_ent",
                                            "TD(5)",
                                            "KC_WH_U",
                                            "C(S(KC_K))",
                                            "KC_F13",
                                            "garbage",
                                            "KC_KP_1"};
    std::size_t i = 0;
    for (auto _ : state) {
        auto code = parseKeycodeExpression(texts[i], false);
        benchmark::DoNotOptimize(code);
        i = (i + 1) % texts.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseKeycodeExpression);

void BM_FormatKeycode(benchmark::State& state)
{
    const auto& codes = sampleCodes();
    std::size_t i = 0;
    for (auto _ : state) {
        std::string text = formatKeycode(codes[i], false);
        benchmark::DoNotOptimize(text);
        i = (i + 1) % codes.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatKeycode);

} // namespace

BENCHMARK_MAIN();
