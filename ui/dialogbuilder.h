// Turns a dialog template into widgets: the dialog's title, font and size, and one child per
// control, placed in pixels from dialog units with the dialog font's own base units.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

#include "res/dialogtemplate.h"

class QDialog;
class QFont;

// The base units of a dialog font: average character width and character height in pixels.
struct CDialogBaseUnits
{
    int nCharWidth;
    int nCharHeight;
};

class CDialogBuilder
{
public:
    // Average width of "A".."Z" "a".."z" (rounded) and the font's height.
    static CDialogBaseUnits MeasureBaseUnits(const QFont& font);
    // x and width times the average character width / 4, y and height times the height / 8,
    // each rounded to the nearest pixel.
    static QRect MapDialogRect(const QRect& rectUnits, const CDialogBaseUnits& units);
    // The dialog's font: the template's family and size, a sans-serif stand-in where it is missing.
    static QFont DialogFont(const CDialogTemplate& tmpl);

    // Builds the template into pDialog: title, font, fixed client size, controls in tab order.
    static void Build(const CDialogTemplate& tmpl, QDialog* pDialog);
};

// The object name of a control: its ID in decimal ("1006").
QString ControlName(int nId);

// The control with this ID inside pDialog, or null (also when it is of another type).
template <class T>
T* FindControl(QWidget* pDialog, int nId)
{
    return pDialog->findChild<T*>(ControlName(nId));
}

// The icon of a resource ID (128, 134), from the program's resources.
class QIcon;
QIcon ResourceIcon(int nIconId);
