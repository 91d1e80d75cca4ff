#include "tests/ui/uitestsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QSettings>

#include "ui/boardworker.h"
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "serial/simportregistry.h"
#include "sim/targetfiles.h"

namespace
{
void Check(bool bOk, const std::string& strWhat)
{
    if (!bOk)
        throw std::runtime_error("CUiBoard: cannot " + strWhat);
}
}   // namespace

CUiBoard::CUiBoard() : m_dir("kelvora-ui"), m_runtime("kelvora-ui-run")
{
    for (const char* pszFlasher : {"main.h86", "mainnex.h86", "mainamd.h86"})
        Check(WriteTargetFiles(m_dir, kFlasherSize, kSectorCount, InfoText(pszFlasher), pszFlasher),
              std::string("write the loader files and ") + pszFlasher);
    Check(CTargetFiles::WriteSampleImage(m_dir.Path("sample.hex")) == 0, "write sample.hex");

    m_bHadRuntimeDir = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    m_oldRuntimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(m_runtime.Path()));
    m_strOldDir = QDir::currentPath();
    Check(QDir::setCurrent(QString::fromStdString(m_dir.Path())), "enter " + m_dir.Path());

    Check(m_board.Start() == 0, "start the simulated board");
    // Registered as kelvora-boardsim does it, in a private folder.
    const std::string strPorts = CSimPortRegistry::GetDefaultDirectory();
    Check(strPorts.rfind(m_runtime.Path(), 0) == 0, "steer discovery into " + m_runtime.Path());
    Check(m_registration.Register(kPortName, m_board.GetDevicePath()), "register the board");
}

CUiBoard::~CUiBoard()
{
    m_registration.Unregister();
    m_board.Stop();
    QDir::setCurrent(m_strOldDir);
    if (m_bHadRuntimeDir)
        qputenv("XDG_RUNTIME_DIR", m_oldRuntimeDir);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

std::string CUiBoard::InfoText(const std::string& strFlasherFile)
{
    return "Test flasher " + strFlasherFile;
}

std::unique_ptr<CKelvoraDlg> OpenMainWindow(CRecordingBoxes& boxes, FnEnumeratePorts fnEnumerate,
                                            bool bKeepChoices)
{
    if (!bKeepChoices)
        QSettings().clear();
    auto pDlg = std::make_unique<CKelvoraDlg>(&boxes, std::move(fnEnumerate));
    pDlg->show();
    return pDlg;
}

void KeepSettingsIn(const QString& strDir)
{
    QCoreApplication::setOrganizationName(QStringLiteral("kelvora-test"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, strDir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, strDir);
}

bool SelectPort(CKelvoraDlg& dlg, const std::string& strName)
{
    QComboBox* pPortList = Control<QComboBox>(&dlg, IDC_PORT);
    const int nIndex = pPortList->findText(QString::fromStdString(strName), Qt::MatchExactly);
    if (nIndex < 0)
        return false;
    pPortList->setCurrentIndex(nIndex);
    return true;
}

void MissingControl(const QWidget* pDialog, int nId, const char* pszType)
{
    qFatal("No %s with control ID %d in %s \"%s\"", pszType, nId, pDialog->metaObject()->className(),
           qPrintable(pDialog->windowTitle()));
}

void Click(QAbstractButton* pButton)
{
    QTest::mouseClick(pButton, Qt::LeftButton);
}

void WhenModalOpens(std::function<void(QWidget* pDialog)> fnAct)
{
    // A dialog's first board operation may run before it shows, in an event loop of its own.
    QTimer::singleShot(0, [fnAct = std::move(fnAct)]() mutable {
        if (QApplication::activeModalWidget() == nullptr && CBoardWorker::IsAnyRunning())
            return WhenModalOpens(std::move(fnAct));
        fnAct(QApplication::activeModalWidget());
    });
}

std::vector<std::string> LogLines(const CKelvoraDlg& dlg)
{
    std::vector<std::string> lines;
    size_t nAt = 0;
    for (size_t nEnd; (nEnd = dlg.m_strLog.find("\r\n", nAt)) != std::string::npos; nAt = nEnd + 2)
        lines.push_back(dlg.m_strLog.substr(nAt, nEnd - nAt));
    return lines;
}
