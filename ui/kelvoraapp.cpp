#include "ui/kelvoraapp.h"

#include "res/resource.h"
#include "ui/dialogbuilder.h"
#include "ui/imagefiles.h"
#include "ui/kelvoradlg.h"

CKelvoraApp::CKelvoraApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The operator's choices are kept under this name (QSettings).
    setOrganizationName(QStringLiteral("Kelvora"));
    setApplicationName(QStringLiteral("kelvora"));
    setApplicationVersion(QStringLiteral(KELVORA_VERSION_TEXT));
    // Wayland finds the window's icon through the installed desktop entry of this name.
    setDesktopFileName(QStringLiteral("kelvora"));
    setWindowIcon(ResourceIcon(IDR_MAINFRAME));
}

bool CKelvoraApp::InitInstance()
{
    CKelvoraDlg dlg;
    dlg.m_strStartImage = StartImagePath(arguments());
    dlg.exec();
    return false;
}
