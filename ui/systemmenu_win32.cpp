#include "ui/systemmenu.h"

#include <QWidget>

#include <windows.h>

namespace
{
// The low four bits of a system command are the system's own.
constexpr WPARAM kSysCommandMask = 0xFFF0;
}   // namespace

bool AppendSystemMenuItem(QWidget* pWindow, int nCommand, const QString& strText)
{
    HMENU hMenu = GetSystemMenu(reinterpret_cast<HWND>(pWindow->winId()), FALSE);
    if (hMenu == nullptr)
        return false;
    AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    return AppendMenuW(hMenu, MF_STRING, static_cast<UINT_PTR>(nCommand),
                       reinterpret_cast<LPCWSTR>(strText.utf16())) != 0;
}

bool IsSystemMenuCommand(const QByteArray& eventType, void* pMessage, int nCommand)
{
    if (eventType != "windows_generic_MSG")
        return false;
    const MSG* pMsg = static_cast<const MSG*>(pMessage);
    return pMsg->message == WM_SYSCOMMAND &&
           (pMsg->wParam & kSysCommandMask) == static_cast<WPARAM>(nCommand);
}
