// kelvora-screenshots: pictures of the real windows, driven against a simulated board on the
// offscreen platform. One function per shot; each writes DIR/<name>.png.
// Usage: kelvora-screenshots DIR [NAME...]   (no names: every shot of the display scale it runs at;
//        QT_SCALE_FACTOR=2 for the shots at scale 2)
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

#include "res/resource.h"
#include "tests/ui/uitestsupport.h"
#include "ui/aboutdlg.h"
#include "ui/dialogbuilder.h"

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
    Click(Control<QPushButton>(pDlg.get(), IDC_CONNECT));
    if (!Control<QPushButton>(pDlg.get(), IDC_DISCONNECT)->isEnabled())
        return false;
    return pDlg->grab().save(strPath, "PNG");
}

// The main window connected with the fast transfer through a 16 ms adapter, an image chosen: the
// line after "Connection tested" says the round trip, the depth and the time for the image.
bool ShotMainWindowFastTransfer(const QString& strPath)
{
    CUiBoard board;
    board.Board().SetBaudRate(57600);
    board.Board().SetAdapterLatency(16);
    CRecordingBoxes boxes;
    std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
    if (!SelectPort(*pDlg, CUiBoard::kPortName))
        return false;
    boxes.m_paths.push_back(board.Dir().Path("sample.hex"));
    Click(FindControl<QPushButton>(pDlg.get(), IDC_BROWSE));
    for (QAction* pAction : pDlg->findChildren<QAction*>())
        if (pAction->text() == QLatin1String("Fast transfer (send ahead of echoes)"))
            pAction->trigger();
    Click(Control<QPushButton>(pDlg.get(), IDC_CONNECT));
    if (!Control<QPushButton>(pDlg.get(), IDC_DISCONNECT)->isEnabled())
        return false;
    return pDlg->grab().save(strPath, "PNG");
}

// The Flash it dialog after programming and verifying sample.hex, while its success box is open.
bool ShotFlashItVerified(const QString& strPath)
{
    CUiBoard board;
    CRecordingBoxes boxes;
    std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
    if (!SelectPort(*pDlg, CUiBoard::kPortName))
        return false;
    // The simulated board is unpaced: a fast port keeps the link's own pacing short.
    Control<QComboBox>(pDlg.get(), IDC_SPEED)->addItem(QStringLiteral("921600"));
    Control<QComboBox>(pDlg.get(), IDC_SPEED)->setCurrentText(QStringLiteral("921600"));
    Click(Control<QPushButton>(pDlg.get(), IDC_CONNECT));
    boxes.m_paths.push_back(board.Dir().Path("sample.hex"));
    Click(FindControl<QPushButton>(pDlg.get(), IDC_BROWSE));
    if (!Control<QPushButton>(pDlg.get(), IDC_DISCONNECT)->isEnabled() ||
        !Control<QPushButton>(pDlg.get(), IDC_PROPERTIES)->isEnabled())
        return false;
    bool bSaved = false;
    boxes.m_fnOnShow = [&](const CShownBox& box) {
        if (box.strTitle == "Info" && QApplication::activeModalWidget() != nullptr)
            bSaved = QApplication::activeModalWidget()->grab().save(strPath, "PNG");
    };
    WhenModalOpens([](QWidget* pFlashIt) {
        if (pFlashIt == nullptr)
            return;
        Click(FindControl<QCheckBox>(pFlashIt, IDC_VERIFY));
        Click(FindControl<QPushButton>(pFlashIt, IDC_FLASHIT));
    });
    Click(Control<QPushButton>(pDlg.get(), IDC_FLASH));
    return bSaved;
}

// Hexinfo for sample.hex.
bool ShotHexInfo(const QString& strPath)
{
    CUiBoard board;
    CRecordingBoxes boxes;
    std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
    boxes.m_paths.push_back(board.Dir().Path("sample.hex"));
    Click(FindControl<QPushButton>(pDlg.get(), IDC_BROWSE));
    bool bSaved = false;
    WhenModalOpens([&](QWidget* pHexInfo) {
        if (pHexInfo == nullptr)
            return;
        bSaved = pHexInfo->grab().save(strPath, "PNG");
        pHexInfo->close();
    });
    Click(Control<QPushButton>(pDlg.get(), IDC_PROPERTIES));
    return bSaved;
}

// The About box.
bool ShotAboutBox(const QString& strPath)
{
    CAboutDlg dlg;
    dlg.show();
    return dlg.grab().save(strPath, "PNG");
}

const struct
{
    const char* pszName;
    bool (*pfnShot)(const QString& strPath);
    int nScale;   // the display scale the shot is taken at
} kShots[] = {
    {"main-window", ShotMainWindowConnected, 1},
    {"fast-transfer", ShotMainWindowFastTransfer, 1},
    {"flash-it", ShotFlashItVerified, 1},
    {"hexinfo", ShotHexInfo, 1},
    {"about-box", ShotAboutBox, 1},
    {"main-window-scale2", ShotMainWindowConnected, 2},
};
}   // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QTemporaryDir settingsDir;
    KeepSettingsIn(settingsDir.path());
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: kelvora-screenshots DIR [NAME...]\n");
        return 2;
    }
    const QDir dir(QDir(arguments[1]).absolutePath());   // the shots change the working directory
    const QStringList names = arguments.mid(2);
    int nFailed = 0;
    const int nScale = qRound(app.devicePixelRatio());
    for (const auto& shot : kShots) {
        if (shot.nScale != nScale || (!names.isEmpty() && !names.contains(QLatin1String(shot.pszName))))
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
