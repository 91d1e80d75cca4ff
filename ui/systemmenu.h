// The window's system menu, where the platform has one (Windows); elsewhere these do nothing.
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Appends a separator and an item with this command to the window's system menu.
// false where there is no system menu.
bool AppendSystemMenuItem(QWidget* pWindow, int nCommand, const QString& strText);

// Whether a native event is the choice of this system menu command.
bool IsSystemMenuCommand(const QByteArray& eventType, void* pMessage, int nCommand);
