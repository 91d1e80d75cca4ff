// X11 and Wayland windows have no system menu of the application's own: nothing to add.
#include "ui/systemmenu.h"

bool AppendSystemMenuItem(QWidget*, int, const QString&)
{
    return false;
}

bool IsSystemMenuCommand(const QByteArray&, void*, int)
{
    return false;
}
