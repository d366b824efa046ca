#include "keycodes/KeycodeSafety.h"

#include <gtest/gtest.h>

#include <string>

namespace keyglass {
namespace {

struct ValidateCase
{
    std::string text;
    bool legacy;
    std::optional<std::string> message;
};

void PrintTo(const ValidateCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class ValidateExpressionTest : public testing::TestWithParam<ValidateCase>
{
};

TEST_P(ValidateExpressionTest, Message)
{
    EXPECT_EQ(validateExpression(GetParam().text, GetParam().legacy), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    BootloaderTokens,
    ValidateExpressionTest,
    testing::Values(ValidateCase{"qk_boot", false, "Blocked bootloader/reset token \"qk_boot\""},
                    ValidateCase{" QK_BOOT ", false, "Blocked bootloader/reset token \"QK_BOOT\""},
                    ValidateCase{"Reset", false, "Blocked bootloader/reset token \"Reset\""},
                    ValidateCase{"QK_BOOTLOADER", false, "Blocked bootloader/reset token \"QK_BOOTLOADER\""},
                    ValidateCase{"QK_RBT", false, "Blocked bootloader/reset token \"QK_RBT\""},
                    ValidateCase{"qk_reboot", false, "Blocked bootloader/reset token \"qk_reboot\""},
                    ValidateCase{"EE_CLR", false, "Blocked bootloader/reset token \"EE_CLR\""},
                    ValidateCase{"EEP_RST", false, "Blocked bootloader/reset token \"EEP_RST\""},
                    ValidateCase{"eeprom_reset", false, "Blocked bootloader/reset token \"eeprom_reset\""},
                    ValidateCase{"QK_CLEAR_EEPROM", false, "Blocked bootloader/reset token \"QK_CLEAR_EEPROM\""},
                    ValidateCase{"DB_TOGG", false, "Blocked bootloader/reset token \"DB_TOGG\""},
                    ValidateCase{"\tdebug\n", false, "Blocked bootloader/reset token \"debug\""},
                    ValidateCase{"QK_DEBUG_TOGGLE", false, "Blocked bootloader/reset token \"QK_DEBUG_TOGGLE\""},
                    ValidateCase{"QK_MAKE", true, "Blocked bootloader/reset token \"QK_MAKE\""},
                    ValidateCase{"LCTL(QK_BOOT)", false, "Unrecognized QMK expression \"LCTL(QK_BOOT)\""},
                    ValidateCase{"QK_BOOT2", false, "Unrecognized QMK expression \"QK_BOOT2\""}));

INSTANTIATE_TEST_SUITE_P(
    BlockedCodes,
    ValidateExpressionTest,
    testing::Values(ValidateCase{"0x7C00", false, "Blocked bootloader/reset keycode 0x7C00 (\"0x7C00\")"},
                    ValidateCase{" 0x7c0f ", false, "Blocked bootloader/reset keycode 0x7C0F (\"0x7c0f\")"},
                    ValidateCase{"0x5C01", false, "Blocked bootloader/reset keycode 0x5C01 (\"0x5C01\")"},
                    ValidateCase{"23552", false, "Blocked bootloader/reset keycode 0x5C00 (\"23552\")"},
                    ValidateCase{"0x7C10", false, std::nullopt},
                    ValidateCase{"0x5C10", false, std::nullopt},
                    ValidateCase{"0x7000", false, "Blocked QMK magic/EEPROM keycode 0x7000"},
                    ValidateCase{"0x701F", false, "Blocked QMK magic/EEPROM keycode 0x701F"},
                    ValidateCase{"0x7020", false, std::nullopt},
                    ValidateCase{"0x6FFF", false, std::nullopt},
                    ValidateCase{"0xF1", false, "Blocked hardware-reserved keycode 0x00F1"},
                    ValidateCase{"0xF2", true, "Blocked hardware-reserved keycode 0x00F2"},
                    ValidateCase{"0xF3", false, std::nullopt},
                    ValidateCase{"0x7E00", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x7E00"},
                    ValidateCase{"0x7E1F", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x7E1F"},
                    ValidateCase{"0x7E40", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x7E40"},
                    ValidateCase{"0x7E5F", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x7E5F"},
                    ValidateCase{"0x5F80", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x5F80"},
                    ValidateCase{"0x5FFF", false, "Blocked firmware-custom QK_KB/QK_USER keycode 0x5FFF"},
                    ValidateCase{"0x7E20", false, std::nullopt},
                    ValidateCase{"0x7E60", false, std::nullopt},
                    ValidateCase{"0x5F7F", false, std::nullopt},
                    // A wrapper keeps only the low twelve bits, so no wrapped code reaches a blocked range.
                    ValidateCase{"LCTL(0x7C00)", false, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(Allowed,
                         ValidateExpressionTest,
                         testing::Values(ValidateCase{"", false, std::nullopt},
                                         ValidateCase{"   \n", false, std::nullopt},
                                         ValidateCase{"KC_A", false, std::nullopt},
                                         ValidateCase{"MO(1)", false, std::nullopt},
                                         ValidateCase{"TD(3)", false, std::nullopt},
                                         ValidateCase{"0xFFFF", false, std::nullopt},
                                         ValidateCase{"FOO", false, "Unrecognized QMK expression \"FOO\""},
                                         ValidateCase{
                                             " bad value ", false, "Unrecognized QMK expression \"bad value\""}));

TEST(KeycodeBlockReason, ClassesOverTheWholeKeycodeSpace)
{
    int bootloader = 0, magic = 0, hardware = 0, custom = 0;
    for (std::uint32_t value = 0; value <= 0xFFFF; ++value) {
        const auto reason = keycodeBlockReason(static_cast<Keycode>(value), "x");
        if (!reason)
            continue;
        if (reason->starts_with("Blocked bootloader/reset keycode"))
            ++bootloader;
        else if (reason->starts_with("Blocked QMK magic/EEPROM"))
            ++magic;
        else if (reason->starts_with("Blocked hardware-reserved"))
            ++hardware;
        else if (reason->starts_with("Blocked firmware-custom"))
            ++custom;
        else
            ADD_FAILURE() << *reason;
    }
    EXPECT_EQ(bootloader, 32);
    EXPECT_EQ(magic, 32);
    EXPECT_EQ(hardware, 2);
    EXPECT_EQ(custom, 128 + 32 + 32);
}

TEST(KeycodeBlockReason, OnlyTheBootloaderMessageQuotesTheText)
{
    EXPECT_EQ(keycodeBlockReason(0x7C02, "DB"), "Blocked bootloader/reset keycode 0x7C02 (\"DB\")");
    EXPECT_EQ(keycodeBlockReason(0x7001, "MAGIC"), "Blocked QMK magic/EEPROM keycode 0x7001");
    EXPECT_EQ(keycodeBlockReason(0x0004, "KC_A"), std::nullopt);
}


} // namespace
} // namespace keyglass
