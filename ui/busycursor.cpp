#include "ui/busycursor.h"

#include <QCursor>
#include <QGuiApplication>

CBusyCursor::CBusyCursor()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CBusyCursor::~CBusyCursor()
{
    QGuiApplication::restoreOverrideCursor();
}
