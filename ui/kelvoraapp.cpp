#include "ui/kelvoraapp.h"

#include "res/resource.h"
#include "ui/dialogbuilder.h"
#include "ui/kelvoradlg.h"

CKelvoraApp::CKelvoraApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("kelvora"));
    setApplicationVersion(QStringLiteral(KELVORA_VERSION_TEXT));
    // Wayland finds the window's icon through the installed desktop entry of this name.
    setDesktopFileName(QStringLiteral("kelvora"));
    setWindowIcon(ResourceIcon(IDR_MAINFRAME));
}

bool CKelvoraApp::InitInstance()
{
    CKelvoraDlg dlg;
    dlg.exec();
    return false;
}
