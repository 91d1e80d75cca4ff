// Templates of the main window (102) and the About box (100).
#include "res/resource.h"
#include "res/templates.h"

namespace
{
constexpr int IDC_STATIC = -1;
const char kDialogFont[] = "MS Sans Serif";
}   // namespace

const CDialogTemplate& KelvoraDialogTemplate()
{
    using K = EControlKind;
    static const CDialogTemplate tmpl{
        IDD_KELVORA_DIALOG,
        "Kelvora",
        320,
        271,
        kDialogFont,
        8,
        true,
        {
            {IDC_EXIT, K::PushButton, "&Exit", 255, 150, 60, 15, kStyleNone},
            {IDC_STATIC, K::GroupBox, "Settings", 5, 0, 310, 40, kStyleNone},
            {IDC_PORT, K::ComboList, nullptr, 15, 20, 60, 70, kStyleSort | kStyleVScroll},
            {IDC_SPEED, K::ComboList, nullptr, 85, 20, 60, 75, kStyleNone},
            {IDC_STATIC, K::Label, "Port", 15, 10, 60, 10, kStyleNone},
            {IDC_STATIC, K::Label, "Speed", 85, 10, 60, 10, kStyleNone},
            {IDC_LOGVIEW, K::MultiLineEdit, nullptr, 10, 180, 300, 80, kStyleReadOnly | kStyleVScroll},
            {IDC_CONNECT, K::PushButton, "&Connect", 15, 100, 60, 15, kStyleNone},
            {IDC_DISCONNECT, K::PushButton, "&Disconnect", 80, 100, 60, 15, kStyleDisabled},
            {IDC_BOARD, K::ComboList, nullptr, 155, 20, 80, 75, kStyleNone},
            {IDC_STATIC, K::Label, "Board", 155, 10, 60, 10, kStyleNone},
            {IDC_FLASHCHIP, K::ComboList, nullptr, 245, 20, 60, 75, kStyleNone},
            {IDC_STATIC, K::Label, "Flash Chip", 245, 10, 60, 10, kStyleNone},
            {IDC_ABOUT, K::PushButton, "&?", 300, 130, 15, 15, kStyleNone},
            {IDC_STATIC, K::GroupBox, "Hexfile", 5, 45, 310, 40, kStyleNone},
            {IDC_FILENAME, K::Edit, nullptr, 15, 65, 165, 15, kStyleDisabled | kStyleBorder | kStyleHScroll},
            {IDC_BROWSE, K::PushButton, nullptr, 185, 65, 15, 15, kStyleNone, IDI_FOLDER},
            {IDC_STATIC, K::Label, "Filename", 15, 55, 60, 10, kStyleNone},
            {IDC_RELOAD, K::PushButton, "Reload", 205, 65, 50, 15, kStyleDisabled},
            {IDC_PROPERTIES, K::PushButton, "Properties", 260, 65, 45, 15, kStyleDisabled},
            {IDC_STATIC, K::GroupBox, "Connection", 5, 90, 310, 30, kStyleNone},
            {IDC_PROGRESS_LOAD, K::ProgressBar, nullptr, 150, 100, 160, 6, kStyleBorder},
            {IDC_PROGRESS_TEST, K::ProgressBar, nullptr, 150, 109, 160, 6, kStyleBorder},
            {IDC_STATIC, K::GroupBox, "Flash", 5, 125, 215, 40, kStyleNone},
            {IDC_INFO, K::PushButton, "&Info", 15, 140, 60, 15, kStyleDisabled},
            {IDC_FLASH, K::PushButton, "&Flash it", 145, 140, 60, 15, kStyleDisabled},
            {IDC_DELETE_SECTORS, K::PushButton, "&Delete Sectors", 80, 140, 60, 15, kStyleDisabled},
            {IDC_STATIC, K::GroupBox, "Logview", 5, 170, 310, 95, kStyleNone},
        },
    };
    return tmpl;
}

const CDialogTemplate& AboutDialogTemplate()
{
    using K = EControlKind;
    static const CDialogTemplate tmpl{
        IDD_ABOUTBOX,
        "Info \xC3\xBC"
        "ber kelvora",
        277,
        167,
        kDialogFont,
        8,
        true,
        {
            {IDC_STATIC, K::Icon, nullptr, 10, 10, 20, 20, kStyleNone, IDR_MAINFRAME},
            {IDC_STATIC, K::Label, "Kelvora version " KELVORA_VERSION_TEXT, 45, 10, 205, 10, kStyleNone},
            {IDC_STATIC, K::Label, "C167 flash programmer over RS-232", 5, 150, 119, 8, kStyleNone},
            {IDOK, K::DefPushButton, "OK", 220, 145, 50, 14, kStyleNone},
        },
    };
    return tmpl;
}
