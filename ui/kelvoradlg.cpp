#include "ui/kelvoradlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdlib>
#include <exception>
#include <iterator>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/boardfacts.h"
#include "job/boardrecord.h"
#include "job/boardsession.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "job/recordfile.h"
#include "job/sha256.h"
#include "res/resource.h"
#include "res/strings.h"
#include "res/templates.h"
#include "ui/aboutdlg.h"
#include "ui/boardaccess.h"
#include "ui/boardworker.h"
#include "ui/busycursor.h"
#include "ui/dialogbuilder.h"
#include "ui/droplist.h"
#include "ui/imagefiles.h"
#include "ui/loaderfolder.h"
#include "ui/qtmessageboxes.h"
#include "ui/systemmenu.h"
#include "ui/windowchoices.h"
#include "ui/windowsink.h"

namespace
{
constexpr double kLogFontPoints = 8.5;

template <class T>
T* Bind(CKelvoraDlg* pDialog, int nId)
{
    T* pControl = FindControl<T>(pDialog, nId);
    Q_ASSERT(pControl != nullptr);
    return pControl;
}

QString ToQt(const std::string& str)
{
    return QString::fromStdString(str);
}

constexpr const char* kFastTransferText = "Fast transfer (send ahead of echoes)";
}   // namespace

// A handler that opens a box or a dialog: the window's events go on meanwhile, so the close box
// can be pressed; the window ends only after the handler, never under it.
class CHandlerScope
{
public:
    explicit CHandlerScope(CKelvoraDlg* pDlg) : m_pDlg(pDlg) { ++m_pDlg->m_nHandlersRunning; }
    ~CHandlerScope()
    {
        if (--m_pDlg->m_nHandlersRunning == 0 && m_pDlg->m_bCloseWhenIdle) {
            m_pDlg->m_bCloseWhenIdle = false;
            QTimer::singleShot(0, m_pDlg, &CKelvoraDlg::close);
        }
    }
    CHandlerScope(const CHandlerScope&) = delete;
    CHandlerScope& operator=(const CHandlerScope&) = delete;

private:
    CKelvoraDlg* m_pDlg;
};

CKelvoraDlg::CKelvoraDlg(CMessageBoxes* pBoxes, FnEnumeratePorts fnEnumerate, QWidget* pParent)
    : QDialog(pParent), m_hIcon(ResourceIcon(IDR_MAINFRAME)), m_pBoxes(pBoxes),
      m_pWorker(std::make_unique<CBoardWorker>()), m_pSink(std::make_unique<CWindowSink>(*m_pWorker)),
      m_fnEnumerate(std::move(fnEnumerate))
{
    if (m_pBoxes == nullptr) {
        m_pOwnBoxes = std::make_unique<CQtMessageBoxes>();
        m_pBoxes = m_pOwnBoxes.get();
    }
    if (!m_fnEnumerate)
        m_fnEnumerate = [](std::vector<SerialPortInfo>& ports) { EnumerateSerialPorts(ports); };

    CDialogBuilder::Build(KelvoraDialogTemplate(), this);
    m_pFlashChipList = Bind<QComboBox>(this, IDC_FLASHCHIP);
    m_pDeleteSectorsButton = Bind<QPushButton>(this, IDC_DELETE_SECTORS);
    m_pFlashButton = Bind<QPushButton>(this, IDC_FLASH);
    m_pInfoButton = Bind<QPushButton>(this, IDC_INFO);
    m_pTestProgress = Bind<QProgressBar>(this, IDC_PROGRESS_TEST);
    m_pLoadProgress = Bind<QProgressBar>(this, IDC_PROGRESS_LOAD);
    m_pDisconnectButton = Bind<QPushButton>(this, IDC_DISCONNECT);
    m_pConnectButton = Bind<QPushButton>(this, IDC_CONNECT);
    m_pBoardList = Bind<QComboBox>(this, IDC_BOARD);
    m_pSpeedList = Bind<QComboBox>(this, IDC_SPEED);
    m_pReloadButton = Bind<QPushButton>(this, IDC_RELOAD);
    m_pPropertiesButton = Bind<QPushButton>(this, IDC_PROPERTIES);
    m_pFileNameEdit = Bind<QLineEdit>(this, IDC_FILENAME);
    m_pBrowseButton = Bind<QPushButton>(this, IDC_BROWSE);
    m_pLogView = Bind<QPlainTextEdit>(this, IDC_LOGVIEW);
    m_pPortList = Bind<CDropList>(this, IDC_PORT);
    // Adapters come and go: the list shows the ports present when it opens.
    m_pPortList->m_fnBeforeOpen = [this] {
        EnumeratePorts();
        FillPortList();
    };
    setAcceptDrops(true);

    // The fast transfer is no control of the window: it sits in the Connection group's context menu.
    m_pFastTransferAction = new QAction(QString::fromLatin1(kFastTransferText), this);
    m_pFastTransferAction->setCheckable(true);
    connect(m_pFastTransferAction, &QAction::toggled, this, [this] { SaveChoices(); });
    for (QGroupBox* pGroup : findChildren<QGroupBox*>()) {
        if (pGroup->title() != QLatin1String("Connection"))
            continue;
        pGroup->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(pGroup, &QWidget::customContextMenuRequested, this, [this, pGroup](const QPoint& point) {
            QMenu menu(this);
            menu.addAction(m_pFastTransferAction);
            menu.exec(pGroup->mapToGlobal(point));
        });
    }

    const struct
    {
        int nId;
        void (CKelvoraDlg::*pfnHandler)();
    } kButtons[] = {
        {IDC_EXIT, &CKelvoraDlg::OnExit},
        {IDC_ABOUT, &CKelvoraDlg::OnAbout},
        {IDC_CONNECT, &CKelvoraDlg::OnConnect},
        {IDC_DISCONNECT, &CKelvoraDlg::OnDisconnect},
        {IDC_INFO, &CKelvoraDlg::OnInfo},
        {IDC_BROWSE, &CKelvoraDlg::OnBrowse},
        {IDC_RELOAD, &CKelvoraDlg::OnReload},
        {IDC_PROPERTIES, &CKelvoraDlg::OnProperties},
        {IDC_DELETE_SECTORS, &CKelvoraDlg::OnDeleteSectors},
        {IDC_FLASH, &CKelvoraDlg::OnFlash},
    };
    // The bound Port text follows the operator's choice at once.
    connect(m_pPortList, &QComboBox::currentTextChanged, this,
            [this](const QString& strText) { m_strPort = strText.toStdString(); });
    for (const auto& button : kButtons)
        connect(Bind<QPushButton>(this, button.nId), &QPushButton::clicked, this, button.pfnHandler);
}

CKelvoraDlg::~CKelvoraDlg()
{
    Cleanup();
}

void CKelvoraDlg::showEvent(QShowEvent* pEvent)
{
    if (!m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CKelvoraDlg::closeEvent(QCloseEvent* pEvent)
{
    if (StopBeforeClosing()) {
        pEvent->ignore();
        return;
    }
    if (m_nHandlersRunning > 0) {
        m_bCloseWhenIdle = true;
        pEvent->ignore();
        return;
    }
    QDialog::closeEvent(pEvent);
}

bool CKelvoraDlg::nativeEvent(const QByteArray& eventType, void* pMessage, qintptr* pResult)
{
    if (IsSystemMenuCommand(eventType, pMessage, IDM_ABOUTBOX)) {
        OnAbout();
        *pResult = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, pMessage, pResult);
}

void CKelvoraDlg::dragEnterEvent(QDragEnterEvent* pEvent)
{
    if (m_nHandlersRunning == 0 && !DroppedImagePath(*pEvent->mimeData()).empty())
        pEvent->acceptProposedAction();
}

void CKelvoraDlg::dropEvent(QDropEvent* pEvent)
{
    const std::string strPath = DroppedImagePath(*pEvent->mimeData());
    if (m_nHandlersRunning > 0 || strPath.empty())
        return;
    pEvent->acceptProposedAction();
    OpenHexFile(strPath);
}

bool CKelvoraDlg::OnInitDialog()
{
    const QString strAboutItem = QString::fromUtf8(ResourceString(IDS_ABOUTBOX));
    if (!strAboutItem.isEmpty())
        AppendSystemMenuItem(this, IDM_ABOUTBOX, strAboutItem);
    setWindowIcon(m_hIcon);

    m_strBslFile = kBslFile;
    m_strFirstLoaderFile = kFirstLoaderFile;
    m_strSecondLoaderFile = kFlashChips[0].pszFlasherFile;
    m_strWorkDir = QDir::currentPath().toStdString();

    Log(kTextStarted);
    Log(FormatOsVersionLine());
    Log("Buildung available options");
    Log("Enumerating available serial ports");
    EnumeratePorts();
    Log("Enumeration complete");

    FillOptionLists();
    const CWindowChoices choices = ReadWindowChoices();
    RestoreChoices(choices);
    m_strChosenLoaderDir = choices.strLoaderDir;
    m_strRecordFile = choices.strRecordFile;
    {
        const QSignalBlocker blocker(m_pFastTransferAction);
        m_pFastTransferAction->setChecked(choices.bFastTransfer);
    }
    m_strLoaderDir = ChooseStartLoaderDir(MakeBootSettings(), m_strWorkDir, m_strChosenLoaderDir);
    Log(LoaderFolderLine(m_strLoaderDir));
    SetLogFont();
    UpdateData(true);
    if (!m_strStartImage.empty())
        OpenHexFile(m_strStartImage);
    else if (!choices.strImage.empty() && QFileInfo::exists(ToQt(choices.strImage)))
        OpenHexFile(choices.strImage);
    return true;
}

void CKelvoraDlg::EnumeratePorts()
{
    m_ports.clear();
    // Discovery throws its message; the ports it found before the failure stay usable.
    try {
        m_fnEnumerate(m_ports);
    } catch (const std::string& strError) {
        Log(strError);
    } catch (const std::exception& e) {
        Log(e.what());
    }
}

void CKelvoraDlg::RestoreChoices(const CWindowChoices& choices)
{
    const std::pair<QComboBox*, const std::string*> kLists[] = {{m_pPortList, &choices.strPort},
                                                                {m_pSpeedList, &choices.strSpeed},
                                                                {m_pBoardList, &choices.strBoard},
                                                                {m_pFlashChipList, &choices.strFlashChip}};
    for (const auto& list : kLists) {
        const int nIndex =
            list.first->findText(ToQt(*list.second), Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (nIndex >= 0)
            list.first->setCurrentIndex(nIndex);
    }
    if (!choices.geometry.isEmpty())
        restoreGeometry(choices.geometry);
}

void CKelvoraDlg::SaveChoices()
{
    if (!m_bInitialized)
        return;
    CWindowChoices choices;
    choices.strPort = m_pPortList->currentText().toStdString();
    choices.strSpeed = m_pSpeedList->currentText().toStdString();
    choices.strBoard = m_pBoardList->currentText().toStdString();
    choices.strFlashChip = m_pFlashChipList->currentText().toStdString();
    choices.strImage = m_pFileNameEdit->text().toStdString();
    choices.strLoaderDir = m_strChosenLoaderDir;
    choices.strRecordFile = m_strRecordFile;
    choices.bFastTransfer = IsFastTransfer();
    choices.geometry = saveGeometry();
    WriteWindowChoices(choices);
}

void CKelvoraDlg::FillOptionLists()
{
    for (int nSpeed : kSpeeds)
        m_pSpeedList->addItem(QString::number(nSpeed));
    m_pSpeedList->setCurrentIndex(kDefaultSpeedIndex);

    FillPortList();

    for (const char* pszBoard : kBoardNames)
        m_pBoardList->addItem(QString::fromLatin1(pszBoard));
    m_pBoardList->setCurrentIndex(0);
    for (const CFlashChip& chip : kFlashChips)
        m_pFlashChipList->addItem(QString::fromLatin1(chip.pszName));
    m_pFlashChipList->setCurrentIndex(0);
}

void CKelvoraDlg::FillPortList()
{
    const QString strKept = m_pPortList->currentText();
    {
        const QSignalBlocker blocker(m_pPortList);
        m_pPortList->clear();
        for (const std::string& strName : SortPortNames(MakePortNames(m_ports))) {
            m_pPortList->addItem(ToQt(strName));
            m_pPortList->setItemData(m_pPortList->count() - 1, ToQt(FindPortPath(m_ports, strName)),
                                     Qt::ToolTipRole);
        }
        const int nKept = m_pPortList->findText(strKept, Qt::MatchExactly | Qt::MatchCaseSensitive);
        m_pPortList->setCurrentIndex(nKept >= 0 ? nKept : m_pPortList->count() > 0 ? 0 : -1);
    }
    m_strPort = m_pPortList->currentText().toStdString();
}

void CKelvoraDlg::SetLogFont()
{
    m_pLogFont = std::make_unique<QFont>(QStringLiteral("Courier New"));
    m_pLogFont->setStyleHint(QFont::TypeWriter);
    m_pLogFont->setPointSizeF(kLogFontPoints);
    // Where neither Courier New nor a stand-in for it is installed, the system's fixed font.
    if (!QFontInfo(*m_pLogFont).fixedPitch()) {
        *m_pLogFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        m_pLogFont->setPointSizeF(kLogFontPoints);
    }
    m_pLogView->setFont(*m_pLogFont);
}

void CKelvoraDlg::UpdateData(bool bSaveAndValidate)
{
    if (bSaveAndValidate) {
        m_strFileName = m_pFileNameEdit->text().toStdString();
        m_strPort = m_pPortList->currentText().toStdString();
        return;
    }
    m_pFileNameEdit->setText(ToQt(m_strFileName));
    int nIndex = m_pPortList->findText(ToQt(m_strPort), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (nIndex < 0)
        nIndex = m_pPortList->findText(ToQt(m_strPort), Qt::MatchStartsWith);
    if (nIndex >= 0)
        m_pPortList->setCurrentIndex(nIndex);
}

void CKelvoraDlg::Log(const std::string& strLine)
{
    m_strLog += strLine + "\r\n";
    // One block more; the text before it stays as it is.
    m_pLogView->appendPlainText(ToQt(strLine));
    QScrollBar* pScroll = m_pLogView->verticalScrollBar();
    pScroll->setValue(pScroll->maximum());
    UpdateData(true);
}

std::string CKelvoraDlg::GetSelectedPortPath()
{
    UpdateData(false);
    return FindPortPath(m_ports, m_strPort);
}

void CKelvoraDlg::Cleanup()
{
    m_pLogFont.reset();
    m_pHexFile.reset();
    m_pSession.reset();   // closes the link
}

void CKelvoraDlg::accept()
{
    OnOK();
}

void CKelvoraDlg::reject()
{
    OnCancel();
}

void CKelvoraDlg::OnOK()
{
    if (StopBeforeClosing())
        return;
    SaveChoices();
    Cleanup();
    UpdateData(true);
    QDialog::accept();
}

void CKelvoraDlg::OnCancel()
{
    if (StopBeforeClosing())
        return;
    SaveChoices();
    Cleanup();
    QDialog::reject();
}

void CKelvoraDlg::OnExit()
{
    OnOK();
}

void CKelvoraDlg::OnAbout()
{
    CAboutDlg dlg(this);
    dlg.exec();
}

void CKelvoraDlg::SetConnectedState(bool bConnected)
{
    m_pConnectButton->setEnabled(!bConnected);
    m_pDisconnectButton->setEnabled(bConnected);
    m_pDeleteSectorsButton->setEnabled(bConnected);
    m_pFlashButton->setEnabled(bConnected);
    m_pInfoButton->setEnabled(bConnected);
}

CBootSettings CKelvoraDlg::MakeBootSettings()
{
    // A chip outside the table keeps the flasher program chosen before.
    const int nChip = m_pFlashChipList->currentIndex();
    if (nChip >= 0 && nChip < static_cast<int>(std::size(kFlashChips)))
        m_strSecondLoaderFile = kFlashChips[nChip].pszFlasherFile;
    CBootSettings settings;
    settings.nBaudRate = std::atoi(m_pSpeedList->currentText().toLatin1().constData());
    settings.strLoaderDir = m_strLoaderDir;
    settings.strBslFile = m_strBslFile;
    settings.strFirstLoaderFile = m_strFirstLoaderFile;
    settings.strFlasherFile = m_strSecondLoaderFile;
    settings.strBoardName = m_pBoardList->currentText().toStdString();
    settings.strPort = GetSelectedPortPath();
    if (m_pHexFile)
        settings.job = CJobSize{m_pHexFile->m_nByteCount, m_pHexFile->m_nByteCount};
    if (IsFastTransfer()) {
        // As kelvora-cli --pipeline: deepened after the connection test to cover the line.
        settings.nPipelineDepth = kDefaultPipelineDepth;
        settings.bDepthFromLine = true;
    }
    return settings;
}

bool CKelvoraDlg::FindLoaderFiles(CBootSettings& settings)
{
    for (std::string strMissing; !(strMissing = FindMissingLoaderFile(settings)).empty();) {
        const std::string strText = MissingLoaderText(strMissing, settings.strLoaderDir);
        Log(strText);
        std::string strDir;
        if (!m_pBoxes->AskYesNo(this, strText + "\n" + kChooseLoaderFolderQuestion, kLoaderFilesTitle) ||
            !m_pBoxes->ChooseFolder(this, kLoaderFilesTitle, settings.strLoaderDir, &strDir))
            return false;
        settings.strLoaderDir = m_strLoaderDir = m_strChosenLoaderDir = strDir;
        Log(LoaderFolderLine(strDir));
        SaveChoices();
    }
    return true;
}

void CKelvoraDlg::OnConnect()
{
    CHandlerScope handler(this);
    CBootSettings settings = MakeBootSettings();
    if (!FindLoaderFiles(settings))
        return;
    CBusyCursor busy;
    m_pLoadProgress->setValue(0);
    m_pTestProgress->setValue(0);
    m_pBoxes->ShowMessage(this, kTextResetBoard, "RESET", EBoxIcon::Information);

    m_pSession.reset();
    // The Delete sectors dialog tries every chosen sector, also after one failed.
    CSessionOptions options;
    options.bEraseOnAfterFailure = true;
    m_pSession = std::make_unique<CBoardSession>(*m_pSink, options);
    m_pSink->SetBar(EJobBar::Load, m_pLoadProgress);
    m_pSink->SetBar(EJobBar::Test, m_pTestProgress);
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    RunOnBoard([&] { eOutcome = m_pSession->Connect(settings); });
    if (eOutcome == ESessionOutcome::Stopped) {
        Log("Interrupted: " + m_pSession->GetStopText());
        Log(kTextSerialPortClosed);
        return;
    }
    if (eOutcome != ESessionOutcome::Done) {
        m_pBoxes->ShowMessage(this, kTextCannotConnect, "Error", EBoxIcon::Warning);
        return;
    }
    SetConnectedState(true);
}

void CKelvoraDlg::OnDisconnect()
{
    m_pSession.reset();   // closes the link
    Log(kTextConnectionClosed);
    Log(kTextSerialPortClosed);
    SetConnectedState(false);
    m_pLoadProgress->setValue(0);
    m_pTestProgress->setValue(0);
}

void CKelvoraDlg::ReportLostConnection()
{
    m_pBoxes->ShowMessage(this, kTextLostConnection, "Error", EBoxIcon::Warning);
    OnDisconnect();
}

void CKelvoraDlg::ReportStopped()
{
    Log("Interrupted: " + m_pSession->GetStopText());
    OnDisconnect();
}

void CKelvoraDlg::OnInfo()
{
    if (!m_pSession)
        return;
    CHandlerScope handler(this);
    std::string strText;
    ESessionOutcome eOutcome = ESessionOutcome::LinkLost;
    RunOnBoard([&] { eOutcome = m_pSession->ReadInfo(&strText); });
    if (eOutcome == ESessionOutcome::Stopped)
        return ReportStopped();
    if (eOutcome == ESessionOutcome::LinkLost)
        return ReportLostConnection();
    // A failed text request shows an empty box; the connection stays.
    m_pBoxes->ShowMessage(this, strText, "Info", EBoxIcon::Information);
}

void CKelvoraDlg::RunOnBoard(const std::function<void()>& fnWork)
{
    // Every operation starts with the window's own reports; a dialog then says where its go.
    m_pSink->SetLog([this](const std::string& strLine) { Log(strLine); });
    m_pSink->SetAfterStep([this] { UpdateData(true); });
    m_pSink->SetErrorsToLog(true);
    m_pSink->SetStepFailureBoxes(nullptr, nullptr);
    m_pSink->SetShowMeasured(IsFastTransfer());
    m_pSink->ClearErrors();
    m_pWorker->Run(this, FindControl<QPushButton>(this, IDC_EXIT), fnWork);
}

bool CKelvoraDlg::IsFastTransfer() const
{
    return m_pFastTransferAction->isChecked();
}

bool CKelvoraDlg::StopBeforeClosing()
{
    if (!m_pWorker->IsRunning())
        return false;
    if (AskToStopRun(*m_pWorker, *m_pBoxes, this))
        m_bCloseWhenIdle = true;
    return true;
}

CBoardAccess CKelvoraDlg::GetBoardAccess()
{
    CBoardAccess board;
    board.pSession = m_pSession.get();
    board.pWorker = m_pWorker.get();
    board.pSink = m_pSink.get();
    board.fnRecord = [this](const CBoardResult& result) { RecordOperation(result); };
    return board;
}

void CKelvoraDlg::RecordOperation(CBoardResult result)
{
    if (m_strRecordFile.empty())
        return;
    result.strVersion = KELVORA_VERSION_TEXT;
    if (!result.strImage.empty())
        CSha256::HashFile(result.strImage, result.strImageSha256, result.nImageSize);
    result.strPort = m_pPortList->currentText().toStdString();
    CRecordFile file;
    std::string strError;
    if (file.Open(m_strRecordFile, strError) != 0 || file.Append(FormatRecord(result), strError) != 0)
        Log("Record not written: " + strError);
}
