#include "presets/DevicePreset.h"

#include <gtest/gtest.h>

#include <string>

namespace keyglass {
namespace {

using json = nlohmann::json;

json minimalDocument()
{
    return json{
        {"schemaVersion", 1},
        {"id", "custom-photo"},
        {"name", "Photo"},
        {"appId", "photoshop"},
        {"appName", "Photoshop"},
        {"category", "Design"},
        {"os", "macos"},
        {"deviceProfile", "quadgrid"},
        {"description", "Brushes and layers"},
        {"builtIn", false},
        {"layers",
         json::array({json{{"index", 0}, {"name", "Base"}, {"keys", json::array({json::array({"KC_A", ""})})}}})}};
}

json fullDocument()
{
    json doc = minimalDocument();
    doc["community"] = true;
    doc["author"] = "Ada";
    doc["verifiedSafe"] = false;
    doc["layerNames"] = json::array({"Base", "Fn"});
    doc["layers"][0]["os"] = "windows";
    doc["layers"][0]["keyLabels"] = json::array({json::array({"Apple", ""})});
    doc["layers"][0]["encoders"] = json::array({json::array({"KC_VOLD", "KC_VOLU"})});
    doc["layers"][0]["encoderLabels"] = json::array({json::array({"Quieter", "Louder"})});
    doc["tapDances"] = json::array({json{{"index", 1},
                                         {"onTap", "KC_A"},
                                         {"onHold", "KC_B"},
                                         {"onDoubleTap", ""},
                                         {"onTapHold", "MO(1)"},
                                         {"tappingTerm", 0},
                                         {"labels", json::array({"a", "b", "", "fn"})}}});
    return doc;
}

TEST(DevicePreset, MinimalDocumentDecodesAndEncodesWithoutOptionalMembers)
{
    const auto preset = presetFromJson(minimalDocument());
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_EQ(preset->id, "custom-photo");
    EXPECT_FALSE(preset->community);
    EXPECT_FALSE(preset->author);
    EXPECT_FALSE(preset->verifiedSafe);
    EXPECT_FALSE(preset->layerNames);
    EXPECT_FALSE(preset->tapDances);
    ASSERT_EQ(preset->layers.size(), 1u);
    EXPECT_FALSE(preset->layers[0].os);
    EXPECT_FALSE(preset->layers[0].keyLabels);
    EXPECT_EQ(preset->layers[0].keys, (std::vector<std::vector<std::string>>{{"KC_A", ""}}));

    const json written = presetToJson(*preset);
    EXPECT_EQ(written, minimalDocument());
    for (const char* absent : {"community", "author", "verifiedSafe", "layerNames", "tapDances"})
        EXPECT_FALSE(written.contains(absent)) << absent;
    EXPECT_EQ(encodePreset(*preset).find("null"), std::string::npos);
}

TEST(DevicePreset, FullDocumentRoundTripsExactly)
{
    const auto preset = presetFromJson(fullDocument());
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_EQ(preset->community, true);
    EXPECT_EQ(preset->verifiedSafe, false);
    EXPECT_EQ(preset->layers[0].os, "windows");
    ASSERT_TRUE(preset->tapDances);
    EXPECT_EQ((*preset->tapDances)[0].onTapHold, "MO(1)");
    EXPECT_EQ(presetToJson(*preset), fullDocument());

    const auto again = decodePreset(encodePreset(*preset));
    ASSERT_TRUE(again) << again.error().message;
    EXPECT_EQ(*again, *preset);
}

TEST(DevicePreset, EncodingIsPrettySortedAndEndsWithALineBreak)
{
    const auto preset = presetFromJson(minimalDocument());
    ASSERT_TRUE(preset);
    const std::string text = encodePreset(*preset);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_TRUE(text.starts_with("{\n  \"appId\": \"photoshop\",\n  \"appName\""));
    EXPECT_LT(text.find("\"builtIn\""), text.find("\"category\""));
    EXPECT_LT(text.find("\"layers\""), text.find("\"name\": \"Photo\""));
    EXPECT_NE(text.find("\n      \"index\": 0,"), std::string::npos);
}

TEST(DevicePreset, ExtraMembersAreIgnoredAndNotWrittenBack)
{
    json doc = minimalDocument();
    doc["notes"] = "mine";
    doc["layers"][0]["colour"] = "red";
    const auto preset = presetFromJson(doc);
    ASSERT_TRUE(preset) << preset.error().message;
    const json written = presetToJson(*preset);
    EXPECT_FALSE(written.contains("notes"));
    EXPECT_FALSE(written["layers"][0].contains("colour"));
}

TEST(DevicePreset, NullOptionalMembersCountAsAbsent)
{
    json doc = minimalDocument();
    doc["author"] = nullptr;
    doc["tapDances"] = nullptr;
    doc["layers"][0]["keyLabels"] = nullptr;
    const auto preset = presetFromJson(doc);
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_FALSE(preset->author);
    EXPECT_FALSE(preset->tapDances);
    EXPECT_FALSE(preset->layers[0].keyLabels);
}

class MissingMemberTest : public testing::TestWithParam<const char*>
{
};

TEST_P(MissingMemberTest, RejectsTheDocument)
{
    json doc = fullDocument();
    doc.erase(GetParam());
    auto preset = presetFromJson(doc);
    ASSERT_FALSE(preset);
    EXPECT_EQ(preset.error().message, std::string("missing member \"") + GetParam() + "\"");
    // Null is no value either.
    doc[GetParam()] = nullptr;
    preset = presetFromJson(doc);
    ASSERT_FALSE(preset);
    EXPECT_EQ(preset.error().message, std::string("missing member \"") + GetParam() + "\"");
}

INSTANTIATE_TEST_SUITE_P(Required,
                         MissingMemberTest,
                         testing::Values("schemaVersion",
                                         "id",
                                         "name",
                                         "appId",
                                         "appName",
                                         "category",
                                         "os",
                                         "deviceProfile",
                                         "description",
                                         "builtIn",
                                         "layers"));

TEST(DevicePreset, MissingNestedMembersNameTheirElement)
{
    for (const char* member : {"index", "name", "keys"}) {
        json doc = fullDocument();
        doc["layers"].push_back(doc["layers"][0]);
        doc["layers"][1].erase(member);
        const auto preset = presetFromJson(doc);
        ASSERT_FALSE(preset);
        EXPECT_EQ(preset.error().message, std::string("layers[1]: missing member \"") + member + "\"");
    }
    for (const char* member : {"index", "onTap", "onHold", "onDoubleTap", "onTapHold", "tappingTerm"}) {
        json doc = fullDocument();
        doc["tapDances"][0].erase(member);
        const auto preset = presetFromJson(doc);
        ASSERT_FALSE(preset);
        EXPECT_EQ(preset.error().message, std::string("tapDances[0]: missing member \"") + member + "\"");
    }
}

struct WrongTypeCase
{
    std::string pointer;
    json value;
    std::string message;
};

void PrintTo(const WrongTypeCase& c, std::ostream* os)
{
    *os << c.pointer << " = " << c.value.dump();
}

class WrongTypeTest : public testing::TestWithParam<WrongTypeCase>
{
};

TEST_P(WrongTypeTest, NamesTheMember)
{
    json doc = fullDocument();
    doc[json::json_pointer(GetParam().pointer)] = GetParam().value;
    const auto preset = presetFromJson(doc);
    ASSERT_FALSE(preset);
    EXPECT_EQ(preset.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Members,
    WrongTypeTest,
    testing::Values(
        WrongTypeCase{"/schemaVersion", "1", "schemaVersion: expected an integer"},
        WrongTypeCase{"/schemaVersion", 1.5, "schemaVersion: expected an integer"},
        WrongTypeCase{"/schemaVersion", true, "schemaVersion: expected an integer"},
        WrongTypeCase{"/schemaVersion", 3000000000u, "schemaVersion: 3000000000 is outside -2147483648-2147483647"},
        WrongTypeCase{"/id", 7, "id: expected a string"},
        WrongTypeCase{"/builtIn", "true", "builtIn: expected a boolean"},
        WrongTypeCase{"/builtIn", 1, "builtIn: expected a boolean"},
        WrongTypeCase{"/community", "yes", "community: expected a boolean"},
        WrongTypeCase{"/author", json::array(), "author: expected a string"},
        WrongTypeCase{"/verifiedSafe", 0, "verifiedSafe: expected a boolean"},
        WrongTypeCase{"/layerNames", json::array({"a", 1}), "layerNames: expected an array of strings"},
        WrongTypeCase{"/layerNames", "Base", "layerNames: expected an array of strings"},
        WrongTypeCase{"/layers", json::object(), "layers: expected an array"},
        WrongTypeCase{"/layers/0", "layer", "layers[0]: expected an object"},
        WrongTypeCase{"/layers/0/index", "0", "layers[0].index: expected an integer"},
        WrongTypeCase{"/layers/0/name", false, "layers[0].name: expected a string"},
        WrongTypeCase{"/layers/0/os", 1, "layers[0].os: expected a string"},
        WrongTypeCase{
            "/layers/0/keys", json::array({"KC_A"}), "layers[0].keys: expected an array of arrays of strings"},
        WrongTypeCase{"/layers/0/keys/0/1", nullptr, "layers[0].keys: expected an array of arrays of strings"},
        WrongTypeCase{"/layers/0/keyLabels",
                      json::array({json::array({1})}),
                      "layers[0].keyLabels: expected an array of arrays of strings"},
        WrongTypeCase{"/layers/0/encoders", "KC_A", "layers[0].encoders: expected an array of arrays of strings"},
        WrongTypeCase{"/layers/0/encoderLabels",
                      json::array({json::object()}),
                      "layers[0].encoderLabels: expected an array of arrays of strings"},
        WrongTypeCase{"/tapDances", json::object(), "tapDances: expected an array"},
        WrongTypeCase{"/tapDances/0", 5, "tapDances[0]: expected an object"},
        WrongTypeCase{"/tapDances/0/onHold", 0x0005, "tapDances[0].onHold: expected a string"},
        WrongTypeCase{
            "/tapDances/0/labels", json::array({nullptr}), "tapDances[0].labels: expected an array of strings"},
        WrongTypeCase{"/tapDances/0/tappingTerm", 70000, "tapDances[0].tappingTerm: 70000 is outside 0-65535"},
        WrongTypeCase{"/tapDances/0/tappingTerm", -1, "tapDances[0].tappingTerm: -1 is outside 0-65535"},
        WrongTypeCase{"/tapDances/0/tappingTerm", 1e300, "tapDances[0].tappingTerm: 1e+300 is outside 0-65535"},
        WrongTypeCase{"/tapDances/0/tappingTerm", 200.5, "tapDances[0].tappingTerm: expected an integer"},
        WrongTypeCase{"/tapDances/0/tappingTerm",
                      18446744073709551615ull,
                      "tapDances[0].tappingTerm: 18446744073709551615 is outside 0-65535"}));

TEST(DevicePreset, IntegersWrittenWithAFractionOfZeroAreAccepted)
{
    json doc = fullDocument();
    doc["tapDances"][0]["tappingTerm"] = 65535.0;
    doc["layers"][0]["index"] = 2.0;
    const auto preset = presetFromJson(doc);
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_EQ((*preset->tapDances)[0].tappingTerm, 65535);
    EXPECT_EQ(preset->layers[0].index, 2);
}

TEST(DevicePreset, ShapesAreNotValidatedOnReading)
{
    json doc = minimalDocument();
    doc["layers"][0]["keys"] = json::array({json::array(), json::array({"a", "b", "c", "d", "e"})});
    doc["layers"][0]["keyLabels"] = json::array();
    doc["layers"][0]["encoders"] = json::array({json::array({"KC_A"}), json::array({"a", "b", "c"})});
    doc["layers"][0]["index"] = -4;
    const auto preset = presetFromJson(doc);
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_EQ(preset->layers[0].index, -4);
    EXPECT_EQ(preset->layers[0].keys[1].size(), 5u);
}

struct BadTextCase
{
    std::string text;
    std::string messageStart;
};

class BadTextTest : public testing::TestWithParam<BadTextCase>
{
};

TEST_P(BadTextTest, ExplainsWhy)
{
    const auto preset = decodePreset(GetParam().text);
    ASSERT_FALSE(preset);
    EXPECT_TRUE(preset.error().message.starts_with(GetParam().messageStart)) << preset.error().message;
}

INSTANTIATE_TEST_SUITE_P(Documents,
                         BadTextTest,
                         testing::Values(BadTextCase{"", "not valid JSON: parse error at line 1, column 1"},
                                         BadTextCase{"{", "not valid JSON: parse error"},
                                         BadTextCase{"{\"id\": }", "not valid JSON: parse error at line 1, column 8"},
                                         BadTextCase{"{} trailing", "not valid JSON: parse error"},
                                         BadTextCase{"{\"a\": \"\xFF\"}", "not valid JSON: parse error"},
                                         BadTextCase{"{\"a\": 1e400}", "not valid JSON: number overflow"},
                                         BadTextCase{"[]", "expected a JSON object"},
                                         BadTextCase{"null", "expected a JSON object"},
                                         BadTextCase{"{}", "missing member \"schemaVersion\""},
                                         BadTextCase{std::string(MaxPresetDocumentBytes + 1, ' '),
                                                     "the document is larger than 4 MiB"}));

TEST(DevicePreset, DeeplyNestedJsonIsRejectedWithoutCrashing)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const auto preset = decodePreset(deep);
    ASSERT_FALSE(preset);
    EXPECT_EQ(preset.error().message, "expected a JSON object");

    json doc = minimalDocument();
    std::string text = doc.dump();
    text.insert(text.size() - 1, ",\"notes\":" + std::string(50000, '[') + std::string(50000, ']'));
    EXPECT_TRUE(decodePreset(text));
}

TEST(DevicePreset, ByteOrderMarkAndUnicodeTextSurvive)
{
    json doc = minimalDocument();
    doc["name"] = "Fotos ✓ 日本";
    const std::string text = "\xEF\xBB\xBF" + doc.dump();
    const auto preset = decodePreset(text);
    ASSERT_TRUE(preset) << preset.error().message;
    EXPECT_EQ(preset->name, "Fotos ✓ 日本");
    EXPECT_NE(encodePreset(*preset).find("Fotos ✓ 日本"), std::string::npos);
}

TEST(DevicePreset, EncodingInvalidUtf8FromCodeDoesNotThrow)
{
    auto preset = presetFromJson(minimalDocument());
    ASSERT_TRUE(preset);
    preset->description = "bad \xFF byte";
    std::string text;
    EXPECT_NO_THROW(text = encodePreset(*preset));
    EXPECT_TRUE(decodePreset(text));
}

} // namespace
} // namespace keyglass
