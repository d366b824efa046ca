#include "keycodes/VialKeycodeNames.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeText.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace keyglass {

namespace {

struct NamedCode
{
    std::string_view name;
    Keycode code;
};

// Every name and alias of QMK's keycode data (data/constants/keycodes, versions 0.0.1 to 0.0.10) in the
// current numbering, sorted by name for binary search. Codes QMK later deleted or gave to another key
// are left out, so an old name never lands on a different key.
// clang-format off
constexpr NamedCode QmkNames[] = {
    {"AC_OFF", 0x7C75}, {"AC_ON", 0x7C74}, {"AC_TOGG", 0x7C76}, {"AG_LNRM", 0x7006}, {"AG_LSWP", 0x7005},
    {"AG_NORM", 0x7015}, {"AG_RNRM", 0x7008}, {"AG_RSWP", 0x7007}, {"AG_SWAP", 0x7014}, {"AG_TOGG", 0x7016},
    {"AS_DOWN", 0x7C10}, {"AS_OFF", 0x7C14}, {"AS_ON", 0x7C13}, {"AS_RPT", 0x7C12}, {"AS_TOGG", 0x7C15},
    {"AS_UP", 0x7C11}, {"BL_BRTG", 0x7806}, {"BL_DOWN", 0x7803}, {"BL_OFF", 0x7801}, {"BL_ON", 0x7800},
    {"BL_STEP", 0x7805}, {"BL_TOGG", 0x7802}, {"BL_UP", 0x7804}, {"BS_NORM", 0x700F}, {"BS_SWAP", 0x700E},
    {"BS_TOGG", 0x7010}, {"CG_LNRM", 0x7018}, {"CG_LSWP", 0x7017}, {"CG_NORM", 0x701C}, {"CG_RNRM", 0x701A},
    {"CG_RSWP", 0x7019}, {"CG_SWAP", 0x701B}, {"CG_TOGG", 0x701D}, {"CL_CAPS", 0x7003}, {"CL_CTRL", 0x7004},
    {"CL_NORM", 0x7001}, {"CL_SWAP", 0x7000}, {"CL_TOGG", 0x7002}, {"CM_OFF", 0x7C51}, {"CM_ON", 0x7C50},
    {"CM_TOGG", 0x7C52}, {"CW_TOGG", 0x7C73}, {"DB_TOGG", 0x7C02}, {"DM_PLY1", 0x7C56}, {"DM_PLY2", 0x7C57},
    {"DM_REC1", 0x7C53}, {"DM_REC2", 0x7C54}, {"DM_RSTP", 0x7C55}, {"DT_DOWN", 0x7C72}, {"DT_PRNT", 0x7C70},
    {"DT_UP", 0x7C71}, {"EC_NORM", 0x7021}, {"EC_SWAP", 0x7020}, {"EC_TOGG", 0x7022}, {"EE_CLR", 0x7C03},
    {"EH_LEFT", 0x701E}, {"EH_RGHT", 0x701F}, {"FN_MO13", 0x7C77}, {"FN_MO23", 0x7C78}, {"GE_NORM", 0x700D},
    {"GE_SWAP", 0x700C}, {"GUI_OFF", 0x700A}, {"GUI_ON", 0x7009}, {"GUI_TOG", 0x700B}, {"GU_OFF", 0x700A},
    {"GU_ON", 0x7009}, {"GU_TOGG", 0x700B}, {"HF_BUZZ", 0x7C45}, {"HF_COND", 0x7C4A}, {"HF_CONT", 0x7C48},
    {"HF_CONU", 0x7C49}, {"HF_DWLD", 0x7C4C}, {"HF_DWLU", 0x7C4B}, {"HF_FDBK", 0x7C44}, {"HF_NEXT", 0x7C46},
    {"HF_OFF", 0x7C41}, {"HF_ON", 0x7C40}, {"HF_PREV", 0x7C47}, {"HF_RST", 0x7C43}, {"HF_TOGG", 0x7C42},
    {"KC_0", 0x0027}, {"KC_1", 0x001E}, {"KC_2", 0x001F}, {"KC_3", 0x0020}, {"KC_4", 0x0021}, {"KC_5", 0x0022},
    {"KC_6", 0x0023}, {"KC_7", 0x0024}, {"KC_8", 0x0025}, {"KC_9", 0x0026}, {"KC_A", 0x0004}, {"KC_ACL0", 0x00DD},
    {"KC_ACL1", 0x00DE}, {"KC_ACL2", 0x00DF}, {"KC_AGAIN", 0x0079}, {"KC_AGIN", 0x0079}, {"KC_AIRP", 0x00E8},
    {"KC_AIRPLANE_MODE", 0x00E8}, {"KC_ALGR", 0x00E6}, {"KC_ALTERNATE_ERASE", 0x0099}, {"KC_APP", 0x0065},
    {"KC_APPLICATION", 0x0065}, {"KC_ASSISTANT", 0x00C0}, {"KC_ASST", 0x00C0}, {"KC_AUDIO_MUTE", 0x00A8},
    {"KC_AUDIO_VOL_DOWN", 0x00AA}, {"KC_AUDIO_VOL_UP", 0x00A9}, {"KC_B", 0x0005}, {"KC_BACKSLASH", 0x0031},
    {"KC_BACKSPACE", 0x002A}, {"KC_BRID", 0x00BE}, {"KC_BRIGHTNESS_DOWN", 0x00BE}, {"KC_BRIGHTNESS_UP", 0x00BD},
    {"KC_BRIU", 0x00BD}, {"KC_BRK", 0x0048}, {"KC_BRMD", 0x0047}, {"KC_BRMU", 0x0048}, {"KC_BSLS", 0x0031},
    {"KC_BSPC", 0x002A}, {"KC_BTN1", 0x00D1}, {"KC_BTN2", 0x00D2}, {"KC_BTN3", 0x00D3}, {"KC_BTN4", 0x00D4},
    {"KC_BTN5", 0x00D5}, {"KC_BTN6", 0x00D6}, {"KC_BTN7", 0x00D7}, {"KC_BTN8", 0x00D8}, {"KC_C", 0x0006},
    {"KC_CALC", 0x00B2}, {"KC_CALCULATOR", 0x00B2}, {"KC_CANCEL", 0x009B}, {"KC_CAPS", 0x0039}, {"KC_CAPS_LOCK", 0x0039},
    {"KC_CLAG", 0x00A2}, {"KC_CLEAR", 0x009C}, {"KC_CLEAR_AGAIN", 0x00A2}, {"KC_CLR", 0x009C}, {"KC_CNCL", 0x009B},
    {"KC_COMM", 0x0036}, {"KC_COMMA", 0x0036}, {"KC_CONTROL_PANEL", 0x00BF}, {"KC_COPY", 0x007C}, {"KC_CPNL", 0x00BF},
    {"KC_CRSEL", 0x00A3}, {"KC_CRSL", 0x00A3}, {"KC_CUT", 0x007B}, {"KC_D", 0x0007}, {"KC_DEL", 0x004C},
    {"KC_DELETE", 0x004C}, {"KC_DOT", 0x0037}, {"KC_DOWN", 0x0051}, {"KC_E", 0x0008}, {"KC_EJCT", 0x00B0},
    {"KC_END", 0x004D}, {"KC_ENT", 0x0028}, {"KC_ENTER", 0x0028}, {"KC_EQL", 0x002E}, {"KC_EQUAL", 0x002E},
    {"KC_ERAS", 0x0099}, {"KC_ESC", 0x0029}, {"KC_ESCAPE", 0x0029}, {"KC_EXEC", 0x0074}, {"KC_EXECUTE", 0x0074},
    {"KC_EXSEL", 0x00A4}, {"KC_EXSL", 0x00A4}, {"KC_F", 0x0009}, {"KC_F1", 0x003A}, {"KC_F10", 0x0043},
    {"KC_F11", 0x0044}, {"KC_F12", 0x0045}, {"KC_F13", 0x0068}, {"KC_F14", 0x0069}, {"KC_F15", 0x006A},
    {"KC_F16", 0x006B}, {"KC_F17", 0x006C}, {"KC_F18", 0x006D}, {"KC_F19", 0x006E}, {"KC_F2", 0x003B},
    {"KC_F20", 0x006F}, {"KC_F21", 0x0070}, {"KC_F22", 0x0071}, {"KC_F23", 0x0072}, {"KC_F24", 0x0073},
    {"KC_F3", 0x003C}, {"KC_F4", 0x003D}, {"KC_F5", 0x003E}, {"KC_F6", 0x003F}, {"KC_F7", 0x0040}, {"KC_F8", 0x0041},
    {"KC_F9", 0x0042}, {"KC_FIND", 0x007E}, {"KC_G", 0x000A}, {"KC_GLB", 0x00C3}, {"KC_GLOBE", 0x00C3},
    {"KC_GRAVE", 0x0035}, {"KC_GRV", 0x0035}, {"KC_H", 0x000B}, {"KC_HELP", 0x0075}, {"KC_HOME", 0x004A},
    {"KC_I", 0x000C}, {"KC_INS", 0x0049}, {"KC_INSERT", 0x0049}, {"KC_INT1", 0x0087}, {"KC_INT2", 0x0088},
    {"KC_INT3", 0x0089}, {"KC_INT4", 0x008A}, {"KC_INT5", 0x008B}, {"KC_INT6", 0x008C}, {"KC_INT7", 0x008D},
    {"KC_INT8", 0x008E}, {"KC_INT9", 0x008F}, {"KC_INTERNATIONAL_1", 0x0087}, {"KC_INTERNATIONAL_2", 0x0088},
    {"KC_INTERNATIONAL_3", 0x0089}, {"KC_INTERNATIONAL_4", 0x008A}, {"KC_INTERNATIONAL_5", 0x008B},
    {"KC_INTERNATIONAL_6", 0x008C}, {"KC_INTERNATIONAL_7", 0x008D}, {"KC_INTERNATIONAL_8", 0x008E},
    {"KC_INTERNATIONAL_9", 0x008F}, {"KC_J", 0x000D}, {"KC_K", 0x000E}, {"KC_KB_MUTE", 0x007F}, {"KC_KB_POWER", 0x0066},
    {"KC_KB_VOLUME_DOWN", 0x0081}, {"KC_KB_VOLUME_UP", 0x0080}, {"KC_KP_0", 0x0062}, {"KC_KP_1", 0x0059},
    {"KC_KP_2", 0x005A}, {"KC_KP_3", 0x005B}, {"KC_KP_4", 0x005C}, {"KC_KP_5", 0x005D}, {"KC_KP_6", 0x005E},
    {"KC_KP_7", 0x005F}, {"KC_KP_8", 0x0060}, {"KC_KP_9", 0x0061}, {"KC_KP_ASTERISK", 0x0055}, {"KC_KP_COMMA", 0x0085},
    {"KC_KP_DOT", 0x0063}, {"KC_KP_ENTER", 0x0058}, {"KC_KP_EQUAL", 0x0067}, {"KC_KP_EQUAL_AS400", 0x0086},
    {"KC_KP_MINUS", 0x0056}, {"KC_KP_PLUS", 0x0057}, {"KC_KP_SLASH", 0x0054}, {"KC_L", 0x000F}, {"KC_LALT", 0x00E2},
    {"KC_LANGUAGE_1", 0x0090}, {"KC_LANGUAGE_2", 0x0091}, {"KC_LANGUAGE_3", 0x0092}, {"KC_LANGUAGE_4", 0x0093},
    {"KC_LANGUAGE_5", 0x0094}, {"KC_LANGUAGE_6", 0x0095}, {"KC_LANGUAGE_7", 0x0096}, {"KC_LANGUAGE_8", 0x0097},
    {"KC_LANGUAGE_9", 0x0098}, {"KC_LAUNCHPAD", 0x00C2}, {"KC_LBRC", 0x002F}, {"KC_LCAP", 0x0082}, {"KC_LCMD", 0x00E3},
    {"KC_LCTL", 0x00E0}, {"KC_LEFT", 0x0050}, {"KC_LEFT_ALT", 0x00E2}, {"KC_LEFT_BRACKET", 0x002F},
    {"KC_LEFT_CTRL", 0x00E0}, {"KC_LEFT_GUI", 0x00E3}, {"KC_LEFT_SHIFT", 0x00E1}, {"KC_LGUI", 0x00E3},
    {"KC_LNG1", 0x0090}, {"KC_LNG2", 0x0091}, {"KC_LNG3", 0x0092}, {"KC_LNG4", 0x0093}, {"KC_LNG5", 0x0094},
    {"KC_LNG6", 0x0095}, {"KC_LNG7", 0x0096}, {"KC_LNG8", 0x0097}, {"KC_LNG9", 0x0098}, {"KC_LNUM", 0x0083},
    {"KC_LOCKING_CAPS_LOCK", 0x0082}, {"KC_LOCKING_NUM_LOCK", 0x0083}, {"KC_LOCKING_SCROLL_LOCK", 0x0084},
    {"KC_LOPT", 0x00E2}, {"KC_LPAD", 0x00C2}, {"KC_LSCR", 0x0084}, {"KC_LSFT", 0x00E1}, {"KC_LWIN", 0x00E3},
    {"KC_M", 0x0010}, {"KC_MAIL", 0x00B1}, {"KC_MCTL", 0x00C1}, {"KC_MEDIA_EJECT", 0x00B0},
    {"KC_MEDIA_FAST_FORWARD", 0x00BB}, {"KC_MEDIA_NEXT_TRACK", 0x00AB}, {"KC_MEDIA_PLAY_PAUSE", 0x00AE},
    {"KC_MEDIA_PREV_TRACK", 0x00AC}, {"KC_MEDIA_REWIND", 0x00BC}, {"KC_MEDIA_SELECT", 0x00AF}, {"KC_MEDIA_STOP", 0x00AD},
    {"KC_MENU", 0x0076}, {"KC_MFFD", 0x00BB}, {"KC_MINS", 0x002D}, {"KC_MINUS", 0x002D}, {"KC_MISSION_CONTROL", 0x00C1},
    {"KC_MNXT", 0x00AB}, {"KC_MPLY", 0x00AE}, {"KC_MPRV", 0x00AC}, {"KC_MRWD", 0x00BC}, {"KC_MSEL", 0x00AF},
    {"KC_MSTP", 0x00AD}, {"KC_MS_ACCEL0", 0x00DD}, {"KC_MS_ACCEL1", 0x00DE}, {"KC_MS_ACCEL2", 0x00DF},
    {"KC_MS_BTN1", 0x00D1}, {"KC_MS_BTN2", 0x00D2}, {"KC_MS_BTN3", 0x00D3}, {"KC_MS_BTN4", 0x00D4},
    {"KC_MS_BTN5", 0x00D5}, {"KC_MS_BTN6", 0x00D6}, {"KC_MS_BTN7", 0x00D7}, {"KC_MS_BTN8", 0x00D8}, {"KC_MS_D", 0x00CE},
    {"KC_MS_DOWN", 0x00CE}, {"KC_MS_L", 0x00CF}, {"KC_MS_LEFT", 0x00CF}, {"KC_MS_R", 0x00D0}, {"KC_MS_RIGHT", 0x00D0},
    {"KC_MS_U", 0x00CD}, {"KC_MS_UP", 0x00CD}, {"KC_MS_WH_DOWN", 0x00DA}, {"KC_MS_WH_LEFT", 0x00DB},
    {"KC_MS_WH_RIGHT", 0x00DC}, {"KC_MS_WH_UP", 0x00D9}, {"KC_MUTE", 0x00A8}, {"KC_MYCM", 0x00B3},
    {"KC_MY_COMPUTER", 0x00B3}, {"KC_N", 0x0011}, {"KC_NO", 0x0000}, {"KC_NONUS_BACKSLASH", 0x0064},
    {"KC_NONUS_HASH", 0x0032}, {"KC_NUBS", 0x0064}, {"KC_NUHS", 0x0032}, {"KC_NUM", 0x0053}, {"KC_NUM_LOCK", 0x0053},
    {"KC_O", 0x0012}, {"KC_OPER", 0x00A1}, {"KC_OUT", 0x00A0}, {"KC_P", 0x0013}, {"KC_P0", 0x0062}, {"KC_P1", 0x0059},
    {"KC_P2", 0x005A}, {"KC_P3", 0x005B}, {"KC_P4", 0x005C}, {"KC_P5", 0x005D}, {"KC_P6", 0x005E}, {"KC_P7", 0x005F},
    {"KC_P8", 0x0060}, {"KC_P9", 0x0061}, {"KC_PAGE_DOWN", 0x004E}, {"KC_PAGE_UP", 0x004B}, {"KC_PAST", 0x0055},
    {"KC_PASTE", 0x007D}, {"KC_PAUS", 0x0048}, {"KC_PAUSE", 0x0048}, {"KC_PCMM", 0x0085}, {"KC_PDOT", 0x0063},
    {"KC_PENT", 0x0058}, {"KC_PEQL", 0x0067}, {"KC_PGDN", 0x004E}, {"KC_PGUP", 0x004B}, {"KC_PMNS", 0x0056},
    {"KC_PPLS", 0x0057}, {"KC_PRINT_SCREEN", 0x0046}, {"KC_PRIOR", 0x009D}, {"KC_PRIR", 0x009D}, {"KC_PSCR", 0x0046},
    {"KC_PSLS", 0x0054}, {"KC_PSTE", 0x007D}, {"KC_PWR", 0x00A5}, {"KC_Q", 0x0014}, {"KC_QUOT", 0x0034},
    {"KC_QUOTE", 0x0034}, {"KC_R", 0x0015}, {"KC_RALT", 0x00E6}, {"KC_RBRC", 0x0030}, {"KC_RCMD", 0x00E7},
    {"KC_RCTL", 0x00E4}, {"KC_RETN", 0x009E}, {"KC_RETURN", 0x009E}, {"KC_RGHT", 0x004F}, {"KC_RGUI", 0x00E7},
    {"KC_RIGHT", 0x004F}, {"KC_RIGHT_ALT", 0x00E6}, {"KC_RIGHT_BRACKET", 0x0030}, {"KC_RIGHT_CTRL", 0x00E4},
    {"KC_RIGHT_GUI", 0x00E7}, {"KC_RIGHT_SHIFT", 0x00E5}, {"KC_ROPT", 0x00E6}, {"KC_RSFT", 0x00E5}, {"KC_RWIN", 0x00E7},
    {"KC_S", 0x0016}, {"KC_SCLN", 0x0033}, {"KC_SCRL", 0x0047}, {"KC_SCROLL_LOCK", 0x0047}, {"KC_SELECT", 0x0077},
    {"KC_SEMICOLON", 0x0033}, {"KC_SEPARATOR", 0x009F}, {"KC_SEPR", 0x009F}, {"KC_SLASH", 0x0038}, {"KC_SLCT", 0x0077},
    {"KC_SLEP", 0x00A6}, {"KC_SLSH", 0x0038}, {"KC_SPACE", 0x002C}, {"KC_SPC", 0x002C}, {"KC_STOP", 0x0078},
    {"KC_SYRQ", 0x009A}, {"KC_SYSTEM_POWER", 0x00A5}, {"KC_SYSTEM_REQUEST", 0x009A}, {"KC_SYSTEM_SLEEP", 0x00A6},
    {"KC_SYSTEM_WAKE", 0x00A7}, {"KC_T", 0x0017}, {"KC_TAB", 0x002B}, {"KC_TRANSPARENT", 0x0001}, {"KC_TRNS", 0x0001},
    {"KC_U", 0x0018}, {"KC_UNDO", 0x007A}, {"KC_UP", 0x0052}, {"KC_V", 0x0019}, {"KC_VOLD", 0x00AA}, {"KC_VOLU", 0x00A9},
    {"KC_W", 0x001A}, {"KC_WAKE", 0x00A7}, {"KC_WBAK", 0x00B6}, {"KC_WFAV", 0x00BA}, {"KC_WFWD", 0x00B7},
    {"KC_WHOM", 0x00B5}, {"KC_WH_D", 0x00DA}, {"KC_WH_L", 0x00DB}, {"KC_WH_R", 0x00DC}, {"KC_WH_U", 0x00D9},
    {"KC_WREF", 0x00B9}, {"KC_WSCH", 0x00B4}, {"KC_WSTP", 0x00B8}, {"KC_WWW_BACK", 0x00B6}, {"KC_WWW_FAVORITES", 0x00BA},
    {"KC_WWW_FORWARD", 0x00B7}, {"KC_WWW_HOME", 0x00B5}, {"KC_WWW_REFRESH", 0x00B9}, {"KC_WWW_SEARCH", 0x00B4},
    {"KC_WWW_STOP", 0x00B8}, {"KC_X", 0x001B}, {"KC_Y", 0x001C}, {"KC_Z", 0x001D}, {"KO_OFF", 0x7C5F}, {"KO_ON", 0x7C5E},
    {"KO_TOGG", 0x7C5D}, {"LAG_NRM", 0x7006}, {"LAG_SWP", 0x7005}, {"LCG_NRM", 0x7018}, {"LCG_SWP", 0x7017},
    {"MAGIC_CAPSLOCK_TO_CONTROL", 0x7004}, {"MAGIC_EE_HANDS_LEFT", 0x701E}, {"MAGIC_EE_HANDS_RIGHT", 0x701F},
    {"MAGIC_HOST_NKRO", 0x7011}, {"MAGIC_NO_GUI", 0x700A}, {"MAGIC_SWAP_ALT_GUI", 0x7014},
    {"MAGIC_SWAP_BACKSLASH_BACKSPACE", 0x700E}, {"MAGIC_SWAP_CONTROL_CAPSLOCK", 0x7000}, {"MAGIC_SWAP_CTL_GUI", 0x701B},
    {"MAGIC_SWAP_ESCAPE_CAPSLOCK", 0x7020}, {"MAGIC_SWAP_GRAVE_ESC", 0x700C}, {"MAGIC_SWAP_LALT_LGUI", 0x7005},
    {"MAGIC_SWAP_LCTL_LGUI", 0x7017}, {"MAGIC_SWAP_RALT_RGUI", 0x7007}, {"MAGIC_SWAP_RCTL_RGUI", 0x7019},
    {"MAGIC_TOGGLE_ALT_GUI", 0x7016}, {"MAGIC_TOGGLE_BACKSLASH_BACKSPACE", 0x7010},
    {"MAGIC_TOGGLE_CONTROL_CAPSLOCK", 0x7002}, {"MAGIC_TOGGLE_CTL_GUI", 0x701D},
    {"MAGIC_TOGGLE_ESCAPE_CAPSLOCK", 0x7022}, {"MAGIC_TOGGLE_GUI", 0x700B}, {"MAGIC_TOGGLE_NKRO", 0x7013},
    {"MAGIC_UNCAPSLOCK_TO_CONTROL", 0x7003}, {"MAGIC_UNHOST_NKRO", 0x7012}, {"MAGIC_UNNO_GUI", 0x7009},
    {"MAGIC_UNSWAP_ALT_GUI", 0x7015}, {"MAGIC_UNSWAP_BACKSLASH_BACKSPACE", 0x700F},
    {"MAGIC_UNSWAP_CONTROL_CAPSLOCK", 0x7001}, {"MAGIC_UNSWAP_CTL_GUI", 0x701C},
    {"MAGIC_UNSWAP_ESCAPE_CAPSLOCK", 0x7021}, {"MAGIC_UNSWAP_GRAVE_ESC", 0x700D}, {"MAGIC_UNSWAP_LALT_LGUI", 0x7006},
    {"MAGIC_UNSWAP_LCTL_LGUI", 0x7018}, {"MAGIC_UNSWAP_RALT_RGUI", 0x7008}, {"MAGIC_UNSWAP_RCTL_RGUI", 0x701A},
    {"MS_ACL0", 0x00DD}, {"MS_ACL1", 0x00DE}, {"MS_ACL2", 0x00DF}, {"MS_BTN1", 0x00D1}, {"MS_BTN2", 0x00D2},
    {"MS_BTN3", 0x00D3}, {"MS_BTN4", 0x00D4}, {"MS_BTN5", 0x00D5}, {"MS_BTN6", 0x00D6}, {"MS_BTN7", 0x00D7},
    {"MS_BTN8", 0x00D8}, {"MS_DOWN", 0x00CE}, {"MS_LEFT", 0x00CF}, {"MS_RGHT", 0x00D0}, {"MS_UP", 0x00CD},
    {"MS_WHLD", 0x00DA}, {"MS_WHLL", 0x00DB}, {"MS_WHLR", 0x00DC}, {"MS_WHLU", 0x00D9}, {"NK_OFF", 0x7012},
    {"NK_ON", 0x7011}, {"NK_TOGG", 0x7013}, {"OS_OFF", 0x7C5B}, {"OS_ON", 0x7C5A}, {"OS_TOGG", 0x7C5C},
    {"QK_ALT_REPEAT_KEY", 0x7C7A}, {"QK_AREP", 0x7C7A}, {"QK_AUTOCORRECT_DICT_CYCLE", 0x7C7B},
    {"QK_AUTOCORRECT_OFF", 0x7C75}, {"QK_AUTOCORRECT_ON", 0x7C74}, {"QK_AUTOCORRECT_TOGGLE", 0x7C76},
    {"QK_AUTO_SHIFT_DOWN", 0x7C10}, {"QK_AUTO_SHIFT_OFF", 0x7C14}, {"QK_AUTO_SHIFT_ON", 0x7C13},
    {"QK_AUTO_SHIFT_REPORT", 0x7C12}, {"QK_AUTO_SHIFT_TOGGLE", 0x7C15}, {"QK_AUTO_SHIFT_UP", 0x7C11},
    {"QK_BACKLIGHT_DECREASE", 0x7803}, {"QK_BACKLIGHT_INCREASE", 0x7804}, {"QK_BACKLIGHT_OFF", 0x7801},
    {"QK_BACKLIGHT_ON", 0x7800}, {"QK_BACKLIGHT_STEP", 0x7805}, {"QK_BACKLIGHT_TOGGLE", 0x7802},
    {"QK_BACKLIGHT_TOGGLE_BREATHING", 0x7806}, {"QK_BOOT", 0x7C00}, {"QK_BOOTLOADER", 0x7C00},
    {"QK_CAPS_WORD_TOGGLE", 0x7C73}, {"QK_CLEAR_EEPROM", 0x7C03}, {"QK_COMBO_OFF", 0x7C51}, {"QK_COMBO_ON", 0x7C50},
    {"QK_COMBO_TOGGLE", 0x7C52}, {"QK_DEBUG_TOGGLE", 0x7C02}, {"QK_DYNAMIC_MACRO_PLAY_1", 0x7C56},
    {"QK_DYNAMIC_MACRO_PLAY_2", 0x7C57}, {"QK_DYNAMIC_MACRO_RECORD_START_1", 0x7C53},
    {"QK_DYNAMIC_MACRO_RECORD_START_2", 0x7C54}, {"QK_DYNAMIC_MACRO_RECORD_STOP", 0x7C55},
    {"QK_DYNAMIC_TAPPING_TERM_DOWN", 0x7C72}, {"QK_DYNAMIC_TAPPING_TERM_PRINT", 0x7C70},
    {"QK_DYNAMIC_TAPPING_TERM_UP", 0x7C71}, {"QK_GESC", 0x7C16}, {"QK_GRAVE_ESCAPE", 0x7C16},
    {"QK_HAPTIC_BUZZ_TOGGLE", 0x7C45}, {"QK_HAPTIC_CONTINUOUS_DOWN", 0x7C4A}, {"QK_HAPTIC_CONTINUOUS_TOGGLE", 0x7C48},
    {"QK_HAPTIC_CONTINUOUS_UP", 0x7C49}, {"QK_HAPTIC_DWELL_DOWN", 0x7C4C}, {"QK_HAPTIC_DWELL_UP", 0x7C4B},
    {"QK_HAPTIC_FEEDBACK_TOGGLE", 0x7C44}, {"QK_HAPTIC_MODE_NEXT", 0x7C46}, {"QK_HAPTIC_MODE_PREVIOUS", 0x7C47},
    {"QK_HAPTIC_OFF", 0x7C41}, {"QK_HAPTIC_ON", 0x7C40}, {"QK_HAPTIC_RESET", 0x7C43}, {"QK_HAPTIC_TOGGLE", 0x7C42},
    {"QK_KB_0", 0x7E00}, {"QK_KB_1", 0x7E01}, {"QK_KB_10", 0x7E0A}, {"QK_KB_11", 0x7E0B}, {"QK_KB_12", 0x7E0C},
    {"QK_KB_13", 0x7E0D}, {"QK_KB_14", 0x7E0E}, {"QK_KB_15", 0x7E0F}, {"QK_KB_16", 0x7E10}, {"QK_KB_17", 0x7E11},
    {"QK_KB_18", 0x7E12}, {"QK_KB_19", 0x7E13}, {"QK_KB_2", 0x7E02}, {"QK_KB_20", 0x7E14}, {"QK_KB_21", 0x7E15},
    {"QK_KB_22", 0x7E16}, {"QK_KB_23", 0x7E17}, {"QK_KB_24", 0x7E18}, {"QK_KB_25", 0x7E19}, {"QK_KB_26", 0x7E1A},
    {"QK_KB_27", 0x7E1B}, {"QK_KB_28", 0x7E1C}, {"QK_KB_29", 0x7E1D}, {"QK_KB_3", 0x7E03}, {"QK_KB_30", 0x7E1E},
    {"QK_KB_31", 0x7E1F}, {"QK_KB_4", 0x7E04}, {"QK_KB_5", 0x7E05}, {"QK_KB_6", 0x7E06}, {"QK_KB_7", 0x7E07},
    {"QK_KB_8", 0x7E08}, {"QK_KB_9", 0x7E09}, {"QK_KEY_OVERRIDE_OFF", 0x7C5F}, {"QK_KEY_OVERRIDE_ON", 0x7C5E},
    {"QK_KEY_OVERRIDE_TOGGLE", 0x7C5D}, {"QK_LAYER_LOCK", 0x7C7B}, {"QK_LEAD", 0x7C58}, {"QK_LEADER", 0x7C58},
    {"QK_LLCK", 0x7C7B}, {"QK_LOCK", 0x7C59}, {"QK_MAGIC_CAPS_LOCK_AS_CONTROL_OFF", 0x7003},
    {"QK_MAGIC_CAPS_LOCK_AS_CONTROL_ON", 0x7004}, {"QK_MAGIC_EE_HANDS_LEFT", 0x701E},
    {"QK_MAGIC_EE_HANDS_RIGHT", 0x701F}, {"QK_MAGIC_GUI_OFF", 0x700A}, {"QK_MAGIC_GUI_ON", 0x7009},
    {"QK_MAGIC_NKRO_OFF", 0x7012}, {"QK_MAGIC_NKRO_ON", 0x7011}, {"QK_MAGIC_SWAP_ALT_GUI", 0x7014},
    {"QK_MAGIC_SWAP_BACKSLASH_BACKSPACE", 0x700E}, {"QK_MAGIC_SWAP_CONTROL_CAPS_LOCK", 0x7000},
    {"QK_MAGIC_SWAP_CTL_GUI", 0x701B}, {"QK_MAGIC_SWAP_ESCAPE_CAPS_LOCK", 0x7020}, {"QK_MAGIC_SWAP_GRAVE_ESC", 0x700C},
    {"QK_MAGIC_SWAP_LALT_LGUI", 0x7005}, {"QK_MAGIC_SWAP_LCTL_LGUI", 0x7017}, {"QK_MAGIC_SWAP_RALT_RGUI", 0x7007},
    {"QK_MAGIC_SWAP_RCTL_RGUI", 0x7019}, {"QK_MAGIC_TOGGLE_ALT_GUI", 0x7016},
    {"QK_MAGIC_TOGGLE_BACKSLASH_BACKSPACE", 0x7010}, {"QK_MAGIC_TOGGLE_CONTROL_CAPS_LOCK", 0x7002},
    {"QK_MAGIC_TOGGLE_CTL_GUI", 0x701D}, {"QK_MAGIC_TOGGLE_ESCAPE_CAPS_LOCK", 0x7022}, {"QK_MAGIC_TOGGLE_GUI", 0x700B},
    {"QK_MAGIC_TOGGLE_NKRO", 0x7013}, {"QK_MAGIC_UNSWAP_ALT_GUI", 0x7015},
    {"QK_MAGIC_UNSWAP_BACKSLASH_BACKSPACE", 0x700F}, {"QK_MAGIC_UNSWAP_CONTROL_CAPS_LOCK", 0x7001},
    {"QK_MAGIC_UNSWAP_CTL_GUI", 0x701C}, {"QK_MAGIC_UNSWAP_ESCAPE_CAPS_LOCK", 0x7021},
    {"QK_MAGIC_UNSWAP_GRAVE_ESC", 0x700D}, {"QK_MAGIC_UNSWAP_LALT_LGUI", 0x7006}, {"QK_MAGIC_UNSWAP_LCTL_LGUI", 0x7018},
    {"QK_MAGIC_UNSWAP_RALT_RGUI", 0x7008}, {"QK_MAGIC_UNSWAP_RCTL_RGUI", 0x701A}, {"QK_MAKE", 0x7C04},
    {"QK_MOUSE_ACCELERATION_0", 0x00DD}, {"QK_MOUSE_ACCELERATION_1", 0x00DE}, {"QK_MOUSE_ACCELERATION_2", 0x00DF},
    {"QK_MOUSE_BUTTON_1", 0x00D1}, {"QK_MOUSE_BUTTON_2", 0x00D2}, {"QK_MOUSE_BUTTON_3", 0x00D3},
    {"QK_MOUSE_BUTTON_4", 0x00D4}, {"QK_MOUSE_BUTTON_5", 0x00D5}, {"QK_MOUSE_BUTTON_6", 0x00D6},
    {"QK_MOUSE_BUTTON_7", 0x00D7}, {"QK_MOUSE_BUTTON_8", 0x00D8}, {"QK_MOUSE_CURSOR_DOWN", 0x00CE},
    {"QK_MOUSE_CURSOR_LEFT", 0x00CF}, {"QK_MOUSE_CURSOR_RIGHT", 0x00D0}, {"QK_MOUSE_CURSOR_UP", 0x00CD},
    {"QK_MOUSE_WHEEL_DOWN", 0x00DA}, {"QK_MOUSE_WHEEL_LEFT", 0x00DB}, {"QK_MOUSE_WHEEL_RIGHT", 0x00DC},
    {"QK_MOUSE_WHEEL_UP", 0x00D9}, {"QK_ONE_SHOT_OFF", 0x7C5B}, {"QK_ONE_SHOT_ON", 0x7C5A},
    {"QK_ONE_SHOT_TOGGLE", 0x7C5C}, {"QK_OS_DETECTION_SKIP_RESET", 0x7C7C}, {"QK_OS_DETECTION_TOGGLE", 0x7C7D},
    {"QK_OS_SKIP", 0x7C7C}, {"QK_OS_TOG", 0x7C7D}, {"QK_RBT", 0x7C01}, {"QK_REBOOT", 0x7C01}, {"QK_REP", 0x7C79},
    {"QK_REPEAT_KEY", 0x7C79}, {"QK_SECURE_LOCK", 0x7C60}, {"QK_SECURE_REQUEST", 0x7C63}, {"QK_SECURE_TOGGLE", 0x7C62},
    {"QK_SECURE_UNLOCK", 0x7C61}, {"QK_SPACE_CADET_LEFT_ALT_PARENTHESIS_OPEN", 0x7C1C},
    {"QK_SPACE_CADET_LEFT_CTRL_PARENTHESIS_OPEN", 0x7C18}, {"QK_SPACE_CADET_LEFT_SHIFT_PARENTHESIS_OPEN", 0x7C1A},
    {"QK_SPACE_CADET_RIGHT_ALT_PARENTHESIS_CLOSE", 0x7C1D}, {"QK_SPACE_CADET_RIGHT_CTRL_PARENTHESIS_CLOSE", 0x7C19},
    {"QK_SPACE_CADET_RIGHT_SHIFT_ENTER", 0x7C1E}, {"QK_SPACE_CADET_RIGHT_SHIFT_PARENTHESIS_CLOSE", 0x7C1B},
    {"QK_TRI_LAYER_1_3", 0x7C77}, {"QK_TRI_LAYER_2_3", 0x7C78}, {"QK_UNICODE_MODE_BSD", 0x7C35},
    {"QK_UNICODE_MODE_EMACS", 0x7C37}, {"QK_UNICODE_MODE_LINUX", 0x7C33}, {"QK_UNICODE_MODE_MACOS", 0x7C32},
    {"QK_UNICODE_MODE_NEXT", 0x7C30}, {"QK_UNICODE_MODE_PREVIOUS", 0x7C31}, {"QK_UNICODE_MODE_WINCOMPOSE", 0x7C36},
    {"QK_UNICODE_MODE_WINDOWS", 0x7C34}, {"QK_VELOCIKEY_TOGGLE", 0x7C17}, {"RAG_NRM", 0x7008}, {"RAG_SWP", 0x7007},
    {"RCG_NRM", 0x701A}, {"RCG_SWP", 0x7019}, {"RGB_HUD", 0x7824}, {"RGB_HUI", 0x7823}, {"RGB_MOD", 0x7821},
    {"RGB_MODE_BREATHE", 0x782C}, {"RGB_MODE_FORWARD", 0x7821}, {"RGB_MODE_GRADIENT", 0x7832},
    {"RGB_MODE_KNIGHT", 0x7830}, {"RGB_MODE_PLAIN", 0x782B}, {"RGB_MODE_RAINBOW", 0x782D}, {"RGB_MODE_REVERSE", 0x7822},
    {"RGB_MODE_RGBTEST", 0x7833}, {"RGB_MODE_SNAKE", 0x782F}, {"RGB_MODE_SWIRL", 0x782E}, {"RGB_MODE_TWINKLE", 0x7834},
    {"RGB_MODE_XMAS", 0x7831}, {"RGB_M_B", 0x782C}, {"RGB_M_G", 0x7832}, {"RGB_M_K", 0x7830}, {"RGB_M_P", 0x782B},
    {"RGB_M_R", 0x782D}, {"RGB_M_SN", 0x782F}, {"RGB_M_SW", 0x782E}, {"RGB_M_T", 0x7833}, {"RGB_M_TW", 0x7834},
    {"RGB_M_X", 0x7831}, {"RGB_RMOD", 0x7822}, {"RGB_SAD", 0x7826}, {"RGB_SAI", 0x7825}, {"RGB_SPD", 0x782A},
    {"RGB_SPI", 0x7829}, {"RGB_TOG", 0x7820}, {"RGB_VAD", 0x7828}, {"RGB_VAI", 0x7827}, {"SC_LAPO", 0x7C1C},
    {"SC_LCPO", 0x7C18}, {"SC_LSPO", 0x7C1A}, {"SC_RAPC", 0x7C1D}, {"SC_RCPC", 0x7C19}, {"SC_RSPC", 0x7C1B},
    {"SC_SENT", 0x7C1E}, {"SE_LOCK", 0x7C60}, {"SE_REQ", 0x7C63}, {"SE_TOGG", 0x7C62}, {"SE_UNLK", 0x7C61},
    {"UC_BSD", 0x7C35}, {"UC_EMAC", 0x7C37}, {"UC_LINX", 0x7C33}, {"UC_MAC", 0x7C32}, {"UC_NEXT", 0x7C30},
    {"UC_PREV", 0x7C31}, {"UC_WIN", 0x7C34}, {"UC_WINC", 0x7C36}, {"VK_TOGG", 0x7C17}, {"XXXXXXX", 0x0000},
    {"_______", 0x0001},
};
// clang-format on

constexpr bool isSortedByName()
{
    for (std::size_t i = 1; i < std::size(QmkNames); ++i) {
        if (!(QmkNames[i - 1].name < QmkNames[i].name))
            return false;
    }
    return true;
}
static_assert(isSortedByName());

// Spellings missing from that data: the pre-0.19 long names Vial still writes, and the lighting names
// newer than it.
constexpr NamedCode ExtraNames[] = {
    {"KC_LCTRL", 0x00E0},        {"KC_LSHIFT", 0x00E1},
    {"KC_RCTRL", 0x00E4},        {"KC_RSHIFT", 0x00E5},
    {"KC_ZKHK", 0x0035},         {"KC_CAPSLOCK", 0x0039},
    {"KC_CLCK", 0x0039},         {"KC_PSCREEN", 0x0046},
    {"KC_SCROLLLOCK", 0x0047},   {"KC_SLCK", 0x0047},
    {"KC_NUMLOCK", 0x0053},      {"KC_NLCK", 0x0053},
    {"KC_BSPACE", 0x002A},       {"KC_LBRACKET", 0x002F},
    {"KC_RBRACKET", 0x0030},     {"KC_BSLASH", 0x0031},
    {"KC_SCOLON", 0x0033},       {"KC_PGDOWN", 0x004E},
    {"KC_NONUS_BSLASH", 0x0064}, {"KC_POWER", 0x0066},
    {"KC__MUTE", 0x007F},        {"KC__VOLUP", 0x0080},
    {"KC__VOLDOWN", 0x0081},     {"KC_LOCKING_CAPS", 0x0082},
    {"KC_LOCKING_NUM", 0x0083},  {"KC_LOCKING_SCROLL", 0x0084},
    {"KC_RO", 0x0087},           {"KC_KANA", 0x0088},
    {"KC_JYEN", 0x0089},         {"KC_HENK", 0x008A},
    {"KC_MHEN", 0x008B},         {"KC_LANG1", 0x0090},
    {"KC_HAEN", 0x0090},         {"KC_LANG2", 0x0091},
    {"KC_HANJ", 0x0091},         {"KC_LANG3", 0x0092},
    {"KC_LANG4", 0x0093},        {"KC_LANG5", 0x0094},
    {"KC_LANG6", 0x0095},        {"KC_LANG7", 0x0096},
    {"KC_LANG8", 0x0097},        {"KC_LANG9", 0x0098},
    {"KC_ALT_ERASE", 0x0099},    {"KC_SYSREQ", 0x009A},
    {"RESET", 0x7C00},           {"DEBUG", 0x7C02},
    {"EEP_RST", 0x7C03},         {"KC_GESC", 0x7C16},
    {"GRAVE_ESC", 0x7C16},       {"VLK_TOG", 0x7C17},
    {"KC_LCPO", 0x7C18},         {"KC_RCPC", 0x7C19},
    {"KC_LSPO", 0x7C1A},         {"KC_RSPC", 0x7C1B},
    {"KC_LAPO", 0x7C1C},         {"KC_RAPC", 0x7C1D},
    {"KC_SFTENT", 0x7C1E},       {"KC_ASDN", 0x7C10},
    {"KC_ASUP", 0x7C11},         {"KC_ASRP", 0x7C12},
    {"KC_ASON", 0x7C13},         {"KC_ASOFF", 0x7C14},
    {"KC_ASTG", 0x7C15},         {"CAPS_WORD", 0x7C73},
    {"TL_LOWR", 0x7C77},         {"TL_UPPR", 0x7C78},
    {"BL_DEC", 0x7803},          {"BL_INC", 0x7804},
    {"UG_TOGG", 0x7820},         {"UG_NEXT", 0x7821},
    {"UG_PREV", 0x7822},         {"UG_HUEU", 0x7823},
    {"UG_HUED", 0x7824},         {"UG_SATU", 0x7825},
    {"UG_SATD", 0x7826},         {"UG_VALU", 0x7827},
    {"UG_VALD", 0x7828},         {"UG_SPDU", 0x7829},
    {"UG_SPDD", 0x782A},         {"RM_ON", 0x7840},
    {"RM_OFF", 0x7841},          {"RM_TOGG", 0x7842},
    {"RM_NEXT", 0x7843},         {"RM_PREV", 0x7844},
    {"RM_HUEU", 0x7845},         {"RM_HUED", 0x7846},
    {"RM_SATU", 0x7847},         {"RM_SATD", 0x7848},
    {"RM_VALU", 0x7849},         {"RM_VALD", 0x784A},
    {"RM_SPDU", 0x784B},         {"RM_SPDD", 0x784C},
};

// Modifier bits as QMK's MOD_ constants: bit 4 makes the other four mean the right-hand keys.
constexpr NamedCode ModifierConstants[] = {
    {"MOD_LCTL", 0x01},
    {"MOD_LSFT", 0x02},
    {"MOD_LALT", 0x04},
    {"MOD_LGUI", 0x08},
    {"MOD_RCTL", 0x11},
    {"MOD_RSFT", 0x12},
    {"MOD_RALT", 0x14},
    {"MOD_RGUI", 0x18},
    {"MOD_MEH", 0x07},
    {"MOD_HYPR", 0x0F},
};

// Names of modifier sets, used both as key wrappers ("RCTL(KC_A)") and, with "_T", as mod-taps.
constexpr NamedCode ModifierSets[] = {
    {"LCTL", 0x01}, {"CTL", 0x01},  {"C", 0x01},    {"LSFT", 0x02}, {"SFT", 0x02},  {"S", 0x02},    {"C_S", 0x03},
    {"LCS", 0x03},  {"LALT", 0x04}, {"ALT", 0x04},  {"LOPT", 0x04}, {"OPT", 0x04},  {"A", 0x04},    {"LCA", 0x05},
    {"LSA", 0x06},  {"MEH", 0x07},  {"LGUI", 0x08}, {"GUI", 0x08},  {"LCMD", 0x08}, {"CMD", 0x08},  {"LWIN", 0x08},
    {"WIN", 0x08},  {"G", 0x08},    {"LCG", 0x09},  {"SGUI", 0x0A}, {"SCMD", 0x0A}, {"SWIN", 0x0A}, {"LSG", 0x0A},
    {"LCSG", 0x0B}, {"LAG", 0x0C},  {"LCAG", 0x0D}, {"LSAG", 0x0E}, {"SAG", 0x0E},  {"HYPR", 0x0F}, {"ALL", 0x0F},
    {"RCTL", 0x11}, {"RSFT", 0x12}, {"RCS", 0x13},  {"RALT", 0x14}, {"ROPT", 0x14}, {"ALGR", 0x14}, {"RCA", 0x15},
    {"RSA", 0x16},  {"SAGR", 0x16}, {"RGUI", 0x18}, {"RCMD", 0x18}, {"RWIN", 0x18}, {"RCG", 0x19},  {"RSG", 0x1A},
    {"RCSG", 0x1B}, {"RAG", 0x1C},  {"RCAG", 0x1D}, {"RSAG", 0x1E},
};

constexpr std::size_t MaxTextLength = 256;
constexpr std::size_t MaxNameLength = 48;
constexpr int MaxDepth = 6;

// Text longer than any name becomes empty, which no table holds.
class UpperName
{
public:
    explicit UpperName(std::string_view text) : m_size(text.size() <= MaxNameLength ? text.size() : 0)
    {
        for (std::size_t i = 0; i < m_size; ++i)
            m_data[i] = asciiUpper(text[i]);
    }
    std::string_view view() const { return {m_data.data(), m_size}; }

private:
    std::array<char, MaxNameLength> m_data{};
    std::size_t m_size;
};

std::optional<Keycode> findIn(const NamedCode* begin, const NamedCode* end, std::string_view upperName)
{
    for (const NamedCode* it = begin; it != end; ++it) {
        if (it->name == upperName)
            return it->code;
    }
    return std::nullopt;
}

template <std::size_t N> std::optional<Keycode> findIn(const NamedCode (&table)[N], std::string_view upperName)
{
    return findIn(std::begin(table), std::end(table), upperName);
}

// A small non-negative number written in decimal or as 0x hex; none above `limit`.
std::optional<unsigned> parseSmallNumber(std::string_view text, unsigned limit)
{
    text = trimWhitespace(text);
    std::uint16_t value = 0;
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (isHex ? !parseHex16(text.substr(2), value) : !parseDecimal16(text, value))
        return std::nullopt;
    if (value > limit)
        return std::nullopt;
    return value;
}

// The number after `prefix` in names such as "M12" or "USER08".
std::optional<unsigned> numberedName(std::string_view upperName, std::string_view prefix, unsigned limit)
{
    if (!upperName.starts_with(prefix))
        return std::nullopt;
    const std::string_view digits = upperName.substr(prefix.size());
    if (digits.size() > 3 || !isAllDigits(digits))
        return std::nullopt;
    return parseSmallNumber(digits, limit);
}

// A plain name in the current numbering.
std::optional<Keycode> lookupName(std::string_view upperName)
{
    const auto found = std::lower_bound(std::begin(QmkNames),
                                        std::end(QmkNames),
                                        upperName,
                                        [](const NamedCode& entry, std::string_view key) { return entry.name < key; });
    if (found != std::end(QmkNames) && found->name == upperName)
        return found->code;
    if (const auto extra = findIn(ExtraNames, upperName))
        return extra;
    if (const auto n = numberedName(upperName, "M", 127))
        return static_cast<Keycode>(0x7700 + *n);
    if (const auto n = numberedName(upperName, "QK_MACRO_", 127))
        return static_cast<Keycode>(0x7700 + *n);
    if (const auto n = numberedName(upperName, "USER", 63))
        return static_cast<Keycode>(0x7E00 + *n);
    if (const auto n = numberedName(upperName, "QK_KB_", 63))
        return static_cast<Keycode>(0x7E00 + *n);
    return std::nullopt;
}

// Where a current-numbering code sat before QMK 0.19. Only codes with a documented old place are
// moved; the rest have none, so a wrong key is never written.
std::optional<Keycode> toLegacyNumbering(Keycode code)
{
    if (code <= 0x00BE || (code >= 0x00E0 && code <= 0x00E7) || (code >= 0x0100 && code <= 0x1FFF))
        return code;
    if (code >= 0x00CD && code <= 0x00D5) // cursor and buttons 1-5; buttons 6-8 had no code
        return static_cast<Keycode>(0x00F0 + (code - 0x00CD));
    if (code >= 0x00D9 && code <= 0x00DF) // wheel and acceleration
        return static_cast<Keycode>(0x00F9 + (code - 0x00D9));
    if (code >= 0x7800 && code <= 0x7806) {
        // The old order was on, off, decrease, increase, toggle, step, breathing.
        constexpr Keycode Backlight[] = {0x5CBB, 0x5CBC, 0x5CBF, 0x5CBD, 0x5CBE, 0x5CC0, 0x5CC1};
        return Backlight[code - 0x7800];
    }
    if (code >= 0x7700 && code <= 0x770F)
        return static_cast<Keycode>(0x5F12 + (code - 0x7700));
    if (code >= 0x7E00 && code <= 0x7E0F)
        return static_cast<Keycode>(0x5F80 + (code - 0x7E00));
    switch (code) {
    case 0x7820: // RGB_TOG
        return 0x5CC2;
    case 0x7C00: // QK_BOOT
        return 0x5C00;
    case 0x7C02: // DB_TOGG
        return 0x5C01;
    case 0x7C16: // QK_GESC
        return 0x5C16;
    case 0x7C1A: // SC_LSPO
        return 0x5CD7;
    case 0x7C77: // FN_MO13
        return 0x5F10;
    case 0x7C78: // FN_MO23
        return 0x5F11;
    default:
        return std::nullopt;
    }
}

// "MOD_LCTL | MOD_LSFT", "0x12" or "3": a modifier set of 1 to 0x1F.
std::optional<unsigned> parseModifiers(std::string_view text)
{
    unsigned bits = 0;
    int parts = 0;
    for (;;) {
        const std::size_t bar = text.find('|');
        const std::string_view part = trimWhitespace(text.substr(0, bar));
        if (++parts > 8 || part.empty())
            return std::nullopt;
        if (const auto number = parseSmallNumber(part, 0x1F))
            bits |= *number;
        else if (const auto constant =
                     part.size() <= MaxNameLength ? findIn(ModifierConstants, UpperName(part).view()) : std::nullopt)
            bits |= *constant;
        else
            return std::nullopt;
        if (bar == std::string_view::npos)
            break;
        text = text.substr(bar + 1);
    }
    if (bits == 0)
        return std::nullopt;
    return bits;
}

// Splits "a, b" at its one comma outside parentheses.
bool splitPair(std::string_view text, std::string_view& first, std::string_view& second)
{
    int depth = 0;
    std::size_t comma = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(')
            ++depth;
        else if (text[i] == ')')
            --depth;
        else if (text[i] == ',' && depth == 0) {
            if (comma != std::string_view::npos)
                return false;
            comma = i;
        }
    }
    if (comma == std::string_view::npos)
        return false;
    first = trimWhitespace(text.substr(0, comma));
    second = trimWhitespace(text.substr(comma + 1));
    return true;
}

// True when the first '(' of `text` is closed by its last character and all parentheses pair up.
bool isSingleCall(std::string_view text, std::size_t open)
{
    if (open == std::string_view::npos || text.empty() || text.back() != ')')
        return false;
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '(')
            ++depth;
        else if (text[i] == ')' && --depth == 0)
            return i + 1 == text.size();
        if (depth < 0)
            return false;
    }
    return false;
}

std::optional<Keycode> resolveTerm(std::string_view text, bool legacy, int depth);

// The key inside a layer-tap, mod-tap or modifier wrapper: a basic key only.
std::optional<Keycode> resolveBasic(std::string_view text, bool legacy, int depth)
{
    const auto code = resolveTerm(text, legacy, depth + 1);
    if (!code || *code > 0x00FF)
        return std::nullopt;
    return code;
}

std::optional<Keycode> layerKey(std::string_view head, std::string_view argument, bool legacy)
{
    struct LayerFunction
    {
        std::string_view name;
        Keycode current;
        Keycode old; // 0: did not exist
        unsigned oldLimit;
    };
    constexpr LayerFunction Functions[] = {
        {"TO", 0x5200, 0x5010, 15}, // as Vial wrote it; 0x5000 | n (QMK 0.18) reads as TO too
        {"MO", 0x5220, 0x5100, 31},
        {"DF", 0x5240, 0x5200, 31},
        {"TG", 0x5260, 0x5300, 31},
        {"OSL", 0x5280, 0x5400, 31},
        {"TT", 0x52C0, 0x5800, 31},
        {"PDF", 0x52E0, 0x0000, 0},
    };
    for (const LayerFunction& function : Functions) {
        if (function.name != head)
            continue;
        if (legacy && function.old == 0)
            return std::nullopt;
        const auto layer = parseSmallNumber(argument, legacy ? function.oldLimit : 31);
        if (!layer)
            return std::nullopt;
        return static_cast<Keycode>((legacy ? function.old : function.current) | *layer);
    }
    return std::nullopt;
}

std::optional<Keycode> modTap(unsigned modifiers, std::optional<Keycode> key, bool legacy)
{
    if (!key)
        return std::nullopt;
    return static_cast<Keycode>((legacy ? 0x6000 : 0x2000) | (modifiers << 8) | *key);
}

std::optional<Keycode> resolveCall(std::string_view head, std::string_view argument, bool legacy, int depth)
{
    if (head.size() > 16)
        return std::nullopt;
    const UpperName upper(head);
    const std::string_view name = upper.view();

    if (const auto code = layerKey(name, argument, legacy))
        return code;
    if (name == "TD") {
        const auto index = parseSmallNumber(argument, 255);
        return index ? std::optional<Keycode>(static_cast<Keycode>(0x5700 | *index)) : std::nullopt;
    }
    if (name == "OSM") {
        const auto modifiers = parseModifiers(argument);
        if (!modifiers)
            return std::nullopt;
        return static_cast<Keycode>((legacy ? 0x5500 : 0x52A0) | *modifiers);
    }

    std::string_view first;
    std::string_view second;
    if (name == "LM") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto layer = parseSmallNumber(first, 15);
        const auto modifiers = parseModifiers(second);
        if (!layer || !modifiers)
            return std::nullopt;
        if (!legacy)
            return static_cast<Keycode>(0x5000 | (*layer << 5) | *modifiers);
        // The old form kept four bits and could not name right-hand modifiers.
        if (*modifiers > 0x0F)
            return std::nullopt;
        return static_cast<Keycode>(0x5900 | (*layer << 4) | *modifiers);
    }
    if (name == "LT") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto layer = parseSmallNumber(first, 15);
        const auto key = resolveBasic(second, legacy, depth);
        if (!layer || !key)
            return std::nullopt;
        return static_cast<Keycode>(0x4000 | (*layer << 8) | *key);
    }
    if (const auto layer = numberedName(name, "LT", 15)) {
        const auto key = resolveBasic(argument, legacy, depth);
        return key ? std::optional<Keycode>(static_cast<Keycode>(0x4000 | (*layer << 8) | *key)) : std::nullopt;
    }
    if (name == "MT") {
        if (!splitPair(argument, first, second))
            return std::nullopt;
        const auto modifiers = parseModifiers(first);
        if (!modifiers)
            return std::nullopt;
        return modTap(*modifiers, resolveBasic(second, legacy, depth), legacy);
    }
    if (name.ends_with("_T")) {
        const auto modifiers = findIn(ModifierSets, name.substr(0, name.size() - 2));
        if (!modifiers)
            return std::nullopt;
        return modTap(*modifiers, resolveBasic(argument, legacy, depth), legacy);
    }

    // Modifier wrappers nest; left- and right-hand sets cannot share one code.
    const auto modifiers = findIn(ModifierSets, name);
    if (!modifiers)
        return std::nullopt;
    const auto inner = resolveTerm(argument, legacy, depth + 1);
    if (!inner || *inner > 0x1FFF)
        return std::nullopt;
    const unsigned innerModifiers = (*inner >> 8) & 0x1F;
    if (innerModifiers != 0 && ((innerModifiers ^ *modifiers) & 0x10) != 0)
        return std::nullopt;
    const unsigned combined = innerModifiers | *modifiers;
    return static_cast<Keycode>(((combined & 0x10) << 8) | ((combined & 0x0F) << 8) | (*inner & 0x00FF));
}

std::optional<Keycode> resolveTerm(std::string_view text, bool legacy, int depth)
{
    text = trimWhitespace(text);
    if (text.empty() || depth > MaxDepth)
        return std::nullopt;
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos) {
        // Literals and the grammar's own names mean the same in both numberings.
        if (const auto code = parseKeycodeExpression(text, legacy))
            return code;
        if (text.size() > MaxNameLength)
            return std::nullopt;
        const auto code = lookupName(UpperName(text).view());
        if (!code || !legacy)
            return code;
        return toLegacyNumbering(*code);
    }
    if (!isSingleCall(text, open))
        return std::nullopt;
    return resolveCall(trimWhitespace(text.substr(0, open)),
                       trimWhitespace(text.substr(open + 1, text.size() - open - 2)),
                       legacy,
                       depth);
}

// Layer keys are read here rather than by the grammar: the grammar knows only the current numbering,
// and it masks a layer or tap-dance number that is out of range onto another key.
bool isLayerCall(std::string_view text)
{
    const std::size_t open = text.find('(');
    if (open == std::string_view::npos || open > 4)
        return false;
    const UpperName head(trimWhitespace(text.substr(0, open)));
    return head.view() == "MO" || head.view() == "TG" || head.view() == "TO" || head.view() == "TD";
}

} // namespace

// VIA's exports write macros and keyboard-defined keys as calls, "MACRO(3)" and "CUSTOM(2)", where
// Vial writes "M3" and "USER02"; the numbers mean the same slots.
static std::optional<std::string> vialNameOfViaCall(std::string_view text)
{
    for (const auto& [call, vialPrefix] : {std::pair{"MACRO(", "M"}, std::pair{"CUSTOM(", "USER"}}) {
        const std::string_view prefix(call);
        if (text.size() > prefix.size() + 1 && equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix) &&
            text.back() == ')') {
            const std::string_view digits = trimWhitespace(text.substr(prefix.size(), text.size() - prefix.size() - 1));
            if (!digits.empty() && digits.size() <= 3 && isAllDigits(digits))
                return std::string(vialPrefix) + std::string(digits);
        }
    }
    return std::nullopt;
}

std::optional<Keycode> resolveLayoutKeycodeText(std::string_view text, bool legacyKeycodes)
{
    const std::string_view trimmed = trimWhitespace(text);
    if (trimmed.empty() || trimmed.size() > MaxTextLength)
        return std::nullopt;
    if (const auto vialName = vialNameOfViaCall(trimmed))
        return resolveTerm(*vialName, legacyKeycodes, 0);
    if (!isLayerCall(trimmed)) {
        if (const auto code = parseKeycodeExpression(trimmed, legacyKeycodes))
            return code;
    }
    return resolveTerm(trimmed, legacyKeycodes, 0);
}

} // namespace keyglass
