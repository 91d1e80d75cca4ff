// kelvora-screenshots: pictures of the real windows, driven against a simulated board on the
// offscreen platform. One function per shot; each writes DIR/<name>.png.
// Usage: kelvora-screenshots DIR [NAME...]   (no names: every shot)
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QPushButton>

#include <cstdio>
#include <exception>

#include "tests/ui/uitestsupport.h"

namespace
{
// The main window after a successful connect.
bool ShotMainWindowConnected(const QString& strPath)
{
    CUiBoard board;
    CRecordingBoxes boxes;
    std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
    if (!SelectPort(*pDlg, CUiBoard::kPortName))
        return false;
    Click(pDlg->m_pConnectButton);
    if (!pDlg->m_pDisconnectButton->isEnabled())
        return false;
    return pDlg->grab().save(strPath, "PNG");
}

const struct
{
    const char* pszName;
    bool (*pfnShot)(const QString& strPath);
} kShots[] = {
    {"main-window", ShotMainWindowConnected},
};
}   // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: kelvora-screenshots DIR [NAME...]\n");
        return 2;
    }
    const QDir dir(QDir(arguments[1]).absolutePath());   // the shots change the working directory
    const QStringList names = arguments.mid(2);
    int nFailed = 0;
    for (const auto& shot : kShots) {
        if (!names.isEmpty() && !names.contains(QLatin1String(shot.pszName)))
            continue;
        const QString strPath = dir.filePath(QLatin1String(shot.pszName) + QStringLiteral(".png"));
        bool bOk = false;
        try {
            bOk = shot.pfnShot(strPath);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kelvora-screenshots: %s\n", e.what());
        }
        std::printf("%s %s\n", bOk ? "wrote" : "FAILED", qPrintable(strPath));
        nFailed += bOk ? 0 : 1;
    }
    return nFailed == 0 ? 0 : 1;
}
