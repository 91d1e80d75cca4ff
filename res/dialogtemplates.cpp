// Templates of the Hexinfo, Delete sectors and Flash it dialogs.
#include "res/templates.h"

#include "res/resource.h"

const CDialogTemplate& HexInfoDialogTemplate()
{
    static const CDialogTemplate tmpl{
        IDD_HEXINFO,
        "Hexinfo",
        205,
        183,
        "MS Sans Serif",
        8,
        true,
        {
            {IDOK, EControlKind::DefPushButton, "OK", 150, 140, 50, 14, kStyleNone},
            {IDC_HEXINFO_START, EControlKind::Edit, nullptr, 10, 15, 45, 12, kStyleDisabled | kStyleBorder},
            {IDC_HEXINFO_END, EControlKind::Edit, nullptr, 80, 15, 45, 12, kStyleDisabled | kStyleBorder},
            {-1, EControlKind::Label, "Startaddress", 10, 5, 45, 10, kStyleNone},
            {-1, EControlKind::Label, "Endaddress", 80, 5, 45, 10, kStyleNone},
            {IDC_HEXINFO_COUNT, EControlKind::Edit, nullptr, 150, 15, 45, 12, kStyleDisabled | kStyleBorder},
            {-1, EControlKind::Label, "Bytecount", 150, 5, 45, 10, kStyleNone},
            {-1, EControlKind::Label, "Datadump", 10, 35, 45, 10, kStyleNone},
            {IDC_HEXINFO_DUMP, EControlKind::MultiLineEdit, nullptr, 10, 45, 125, 135,
             kStyleReadOnly | kStyleBorder | kStyleVScroll},
        },
    };
    return tmpl;
}

const CDialogTemplate& DeleteSectorsDialogTemplate()
{
    static const CDialogTemplate tmpl{
        IDD_DELETE_SECTORS,
        "Delete sectors",
        237,
        143,
        "MS Sans Serif",
        8,
        true,
        {
            {-1, EControlKind::Label, "Available sectors", 5, 5, 110, 10, kStyleNone},
            {IDC_SECTOR_LIST, EControlKind::ListBox, nullptr, 5, 15, 225, 105,
             kStyleMultiSelect | kStyleTabStops | kStyleVScroll | kStyleBorder},
            {IDC_DELETE_SELECTED, EControlKind::PushButton, "&Delete selected", 5, 125, 60, 15,
             kStyleDisabled},
            {IDC_ERASE_CHIP, EControlKind::PushButton, "&Erase Chip", 70, 125, 50, 15, kStyleNone},
            {IDOK, EControlKind::DefPushButton, "OK", 180, 125, 50, 14, kStyleNone},
        },
    };
    return tmpl;
}

const CDialogTemplate& FlashItDialogTemplate()
{
    static const CDialogTemplate tmpl{
        IDD_FLASHIT,
        "Flash it",
        157,
        127,
        "MS Sans Serif",
        8,
        true,
        {
            {-1, EControlKind::Label, "Startaddress", 5, 5, 65, 10, kStyleNone},
            {IDC_FLASHIT_START, EControlKind::Edit, nullptr, 5, 15, 65, 12, kStyleDisabled | kStyleBorder},
            {-1, EControlKind::Label, "Endaddress", 85, 5, 65, 10, kStyleNone},
            {IDC_FLASHIT_END, EControlKind::Edit, nullptr, 85, 15, 65, 12, kStyleDisabled | kStyleBorder},
            {IDC_VERIFY, EControlKind::CheckBox, "Verify written data", 5, 35, 75, 10, kStyleNone},
            {-1, EControlKind::Label, "Progress flash", 5, 50, 110, 10, kStyleNone},
            {IDC_PROGRESS_FLASH, EControlKind::ProgressBar, nullptr, 5, 60, 150, 10, kStyleSmooth},
            {-1, EControlKind::Label, "Progress verify", 5, 75, 110, 10, kStyleNone},
            {IDC_PROGRESS_VERIFY, EControlKind::ProgressBar, nullptr, 5, 86, 150, 10,
             kStyleSmooth | kStyleDisabled},
            {IDC_FLASHIT, EControlKind::DefPushButton, "Flash it", 50, 105, 50, 15, kStyleNone},
            {IDOK, EControlKind::PushButton, "&Back", 105, 105, 50, 14, kStyleNone},
        },
    };
    return tmpl;
}
