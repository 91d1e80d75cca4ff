// A dialog template as data: title, size and font, and the controls in template (tab) order,
// every position in dialog units. Plain data, so the templates need no widget toolkit; the
// window's CDialogBuilder turns one into widgets.
#pragma once

#include <vector>

enum class EControlKind
{
    PushButton,      // push button
    DefPushButton,   // push button, the dialog's default button
    CheckBox,        // check box that toggles itself
    GroupBox,        // a frame with a caption
    Label,           // left-aligned text
    Icon,            // an icon
    Edit,            // text field, single line
    MultiLineEdit,   // text field, several lines
    ComboList,       // drop-down list without editing
    ListBox,         // list of lines
    ProgressBar,     // progress bar, range 0 to 100
};

// Style flags of a control (bit set).
enum EControlStyle : unsigned
{
    kStyleNone = 0,
    kStyleDisabled = 1u << 0,      // created disabled
    kStyleReadOnly = 1u << 1,      // text controls: no editing
    kStyleBorder = 1u << 2,        // a frame around the control
    kStyleVScroll = 1u << 3,       // vertical scroll bar
    kStyleHScroll = 1u << 4,       // scrolls horizontally (single-line edit)
    kStyleSort = 1u << 5,          // lists: entries sorted alphabetically, case-blind
    kStyleMultiSelect = 1u << 6,   // list box: each click toggles one line
    kStyleTabStops = 1u << 7,      // list box: expands tabs
    kStyleSmooth = 1u << 8,        // progress bar: smooth
    kStyleNoTabStop = 1u << 9,     // not reached with the Tab key
};

struct CControlTemplate
{
    int nId;   // control ID, set as the widget's object name; -1 for static controls
    EControlKind eKind;
    const char* pszCaption;   // caption, or null
    int x, y, cx, cy;         // dialog units
    unsigned nStyle;          // EControlStyle bits
    int nIconId = 0;          // resource ID of an icon shown on or as the control; 0 for none
};

struct CDialogTemplate
{
    int nId;
    const char* pszTitle;
    int cx, cy;                               // dialog units
    const char* pszFontName;                  // "MS Sans Serif"
    int nFontPointSize;                       // 8
    bool bSystemMenu;                         // caption with system menu and modal frame
    std::vector<CControlTemplate> controls;   // template order = tab order
};
