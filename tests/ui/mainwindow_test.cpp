// The main window driven as the operator drives it, against a simulated board on a pty.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <cstdio>
#include <filesystem>

#include "job/boardsession.h"
#include "job/osversion.h"
#include "res/resource.h"
#include "support/connectlog.h"
#include "tests/ui/uitestsupport.h"
#include "ui/dialogbuilder.h"
#include "ui/imagefiles.h"

namespace QTest
{
// Readable lines in failure messages.
template <>
inline char* toString(const std::vector<std::string>& lines)
{
    QByteArray text = "{";
    for (const std::string& str : lines)
        text += "\"" + QByteArray::fromStdString(str) + "\" ";
    return qstrdup(text + "}");
}
}   // namespace QTest

namespace
{
using Lines = std::vector<std::string>;

// The log of a whole connection attempt after "Trying to connect", when every step passes.
const Lines& kConnectLines = ConnectedLogLines();

const CShownBox kResetBox{"please reset the board", "RESET", EBoxIcon::Information};
const CShownBox kCannotConnectBox{"Cannot connect to target", "Error", EBoxIcon::Warning};
const CShownBox kLostBox{"Lost connection to target", "Error", EBoxIcon::Warning};

// The log lines after the last "Trying to connect".
Lines AttemptLines(const CKelvoraDlg& dlg)
{
    const Lines lines = LogLines(dlg);
    for (size_t i = lines.size(); i-- > 0;)
        if (lines[i] == "Trying to connect")
            return Lines(lines.begin() + static_cast<long>(i) + 1, lines.end());
    return {};
}

Lines Tail(const CKelvoraDlg& dlg, size_t nCount)
{
    const Lines lines = LogLines(dlg);
    return Lines(lines.end() - static_cast<long>(std::min(nCount, lines.size())), lines.end());
}

// Enabled states of Connect, Disconnect, Info, Delete Sectors, Flash it.
QString ButtonStates(CKelvoraDlg& dlg)
{
    QString str;
    for (int nId : {IDC_CONNECT, IDC_DISCONNECT, IDC_INFO, IDC_DELETE_SECTORS, IDC_FLASH})
        str += Control<QPushButton>(&dlg, nId)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return str;
}
const QString kNotConnected = QStringLiteral("10000");
const QString kConnected = QStringLiteral("01111");

// One failing connection attempt: the fault, the settings, and what the window shows.
struct CFailCase
{
    const char* pszName;
    CBoardFaults faults;
    bool bNoPorts;           // discovery finds nothing
    size_t nStepLines;       // lines of kConnectLines before the failure
    const char* pszError;    // the link's text
    const char* pszClosed;   // the closing line
    int nUpperBar;
    int nLowerBar;
};

// A board that does not answer the reset is left to the boot chain's own tests: the window
// handles every failing step alike, and these rows cover its texts and bar positions.
const CFailCase kFailCases[] = {
    {"Init, no port", CBoardFaults(), true, 0, "Error, cannot open serial port", "Serial Port closed", 0, 0},
    {"TestConnection", Fault(&CBoardFaults::nWrongTestEchoAt, 100), false, 10,
     "Error duvuvever sent wrong ID", "Serial port closed", 100, 39},
};
// Connect when the chip's flasher program is not in the loader folder. %w stands for the working
// folder, %e for one without loader files, %l for one with all of them.
struct CLoaderCase
{
    const char* pszName;
    std::vector<bool> answers;   // to the questions, in turn
    Lines folders;               // chosen in the folder dialogs, in turn; "" cancels
    Lines asked;                 // the questions' first lines
    Lines log;                   // the lines Connect logged before "Trying to connect"
    bool bConnects;
};
const std::string kMissing = "Loader file mainamd.h86 not found in ";
const CLoaderCase kLoaderCases[] = {
    {"declined", {false}, {}, {kMissing + "%w"}, {kMissing + "%w"}, false},
    {"folder dialog cancelled", {true}, {""}, {kMissing + "%w"}, {kMissing + "%w"}, false},
    {"a folder without it, then the one with it",
     {true, true},
     {"%e", "%l"},
     {kMissing + "%w", "Loader file prel1.hex not found in %e"},
     {kMissing + "%w", "Loader files from %e", "Loader file prel1.hex not found in %e",
      "Loader files from %l"},
     true},
};

// Discovery that finds what the test puts in, as adapters are plugged in and out.
FnEnumeratePorts PresentPorts(const std::shared_ptr<std::vector<SerialPortInfo>>& pPresent)
{
    return [pPresent](std::vector<SerialPortInfo>& ports) { ports = *pPresent; };
}
}   // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CUiBoard> m_pBoard;
    CRecordingBoxes m_boxes;
    std::unique_ptr<CKelvoraDlg> m_pDlg;

    void Open(FnEnumeratePorts fnEnumerate = {})
    {
        m_pDlg = OpenMainWindow(m_boxes, std::move(fnEnumerate));
        QVERIFY(SelectPort(*m_pDlg, CUiBoard::kPortName));
    }
    // The window's controls by control ID.
    QPushButton* Button(int nId) { return Control<QPushButton>(m_pDlg.get(), nId); }
    QComboBox* List(int nId) { return Control<QComboBox>(m_pDlg.get(), nId); }
    QProgressBar* Bar(int nId) { return Control<QProgressBar>(m_pDlg.get(), nId); }
    QPlainTextEdit* LogView() { return Control<QPlainTextEdit>(m_pDlg.get(), IDC_LOGVIEW); }
    void Connect()
    {
        Click(Button(IDC_CONNECT));
        QCOMPARE(ButtonStates(*m_pDlg), kConnected);
        m_boxes.m_shown.clear();
    }
    // Bytes the board has received since it was started.
    long long Received() const { return static_cast<long long>(m_pBoard->ToBoard().size()); }

private slots:
    void init()
    {
        m_pBoard = std::make_unique<CUiBoard>();
        m_boxes = CRecordingBoxes();
    }
    void cleanup()
    {
        m_pDlg.reset();
        m_pBoard.reset();
    }

    void StartsUp()
    {
        Open();
        const Lines expected{"Kelvora started",
                             "OS Version: " + GetOsVersionText(),
                             "Buildung available options",
                             "Enumerating available serial ports",
                             "Enumeration complete",
                             "Loader files from " + m_pBoard->Dir().Path()};
        QCOMPARE(LogLines(*m_pDlg), expected);
        QCOMPARE(LogView()->toPlainText(), QString::fromStdString(m_pDlg->m_strLog)
                                               .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                               .chopped(1));
        QCOMPARE(m_pDlg->m_strWorkDir, m_pBoard->Dir().Path());
        QCOMPARE(m_pDlg->m_strSecondLoaderFile, std::string("main.h86"));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QVERIFY(!Button(IDC_RELOAD)->isEnabled() && !Button(IDC_PROPERTIES)->isEnabled());
        QVERIFY(!Control<QLineEdit>(m_pDlg.get(), IDC_FILENAME)->isEnabled() &&
                m_pDlg->m_strFileName.empty());
        QVERIFY(LogView()->isReadOnly());
        QVERIFY(QFontInfo(LogView()->font()).fixedPitch());
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value(), 0);
        QCOMPARE(Bar(IDC_PROGRESS_TEST)->value(), 0);
        QVERIFY(m_pDlg->m_pSession == nullptr);
        QVERIFY(m_boxes.m_shown.empty());
    }

    void FillsOptionLists_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("Speed") << int(IDC_SPEED)
                               << QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600"} << 6;
        QTest::newRow("Board") << int(IDC_BOARD) << QStringList{"Phytec KC167CR"} << 0;
        QTest::newRow("Flash Chip") << int(IDC_FLASHCHIP) << QStringList{"AUTO", "NexFlash", "AMD"} << 0;
    }
    void FillsOptionLists()
    {
        QFETCH(int, list);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        m_pDlg = OpenMainWindow(m_boxes);
        QStringList shown;
        for (int i = 0; i < List(list)->count(); ++i)
            shown << List(list)->itemText(i);
        QCOMPARE(shown, entries);
        QCOMPARE(List(list)->currentIndex(), selected);
    }

    // The list offers the port names sorted, the first chosen; the lookup goes through the
    // selection, also after the operator changed it.
    void LooksUpTheChosenPort()
    {
        m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>& ports) {
            ports.push_back({"/dev/ttyUSB0", "ttyUSB0", "FT232R USB UART (ttyUSB0)", true, ""});
            ports.push_back({"/dev/ttyS1", "ttyS1", "ttyS1", false, ""});
        });
        QCOMPARE(List(IDC_PORT)->count(), 2);
        QCOMPARE(m_pDlg->m_strPort, std::string("ttyS1"));
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyS1"));
        List(IDC_PORT)->setCurrentIndex(1);
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyUSB0"));
    }

    // The next window starts with the last one's port, speed, flash chip, image (when it is still
    // there, loaded as through the folder button) and place.
    void RemembersTheChoices_data()
    {
        QTest::addColumn<bool>("imageGone");
        QTest::newRow("image there") << false;
        QTest::newRow("image gone") << true;
    }
    void RemembersTheChoices()
    {
        QFETCH(bool, imageGone);
        auto pPresent = std::make_shared<std::vector<SerialPortInfo>>(
            std::vector<SerialPortInfo>{{"/dev/ttyUSB0", "ttyUSB0", "USB Serial (ttyUSB0)", true, ""},
                                        {"/dev/ttyS1", "ttyS1", "ttyS1", false, ""}});
        const std::string strImage = m_pBoard->Dir().Path("sample.hex");
        m_pDlg = OpenMainWindow(m_boxes, PresentPorts(pPresent));
        List(IDC_PORT)->setCurrentText(QStringLiteral("ttyUSB0"));
        List(IDC_SPEED)->setCurrentText(QStringLiteral("9600"));
        List(IDC_FLASHCHIP)->setCurrentText(QStringLiteral("NexFlash"));
        m_boxes.m_paths.push_back(strImage);
        Click(Button(IDC_BROWSE));
        m_pDlg->move(37, 41);
        Click(Button(IDC_EXIT));
        if (imageGone)
            QCOMPARE(std::remove(strImage.c_str()), 0);

        m_pDlg = OpenMainWindow(m_boxes, PresentPorts(pPresent), true);
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyUSB0"));
        QCOMPARE(List(IDC_SPEED)->currentText(), QStringLiteral("9600"));
        QCOMPARE(List(IDC_FLASHCHIP)->currentText(), QStringLiteral("NexFlash"));
        QCOMPARE(m_pDlg->pos(), QPoint(37, 41));
        QCOMPARE(m_pDlg->m_pHexFile != nullptr, !imageGone);
        QCOMPARE(m_pDlg->m_strFileName, imageGone ? std::string() : strImage);
        if (!imageGone)
            QCOMPARE(Tail(*m_pDlg, 1), Lines{strImage + " successfully loaded"});
        QVERIFY(m_boxes.m_shown.empty());
    }

    // `kelvora IMAGE`: the image, named relative to the working folder, is loaded at start.
    void OpensTheImageNamedAtStart()
    {
        CKelvoraDlg dlg(&m_boxes);
        dlg.m_strStartImage = StartImagePath({QStringLiteral("kelvora"), QStringLiteral("sample.hex")});
        dlg.show();
        QVERIFY(dlg.m_pHexFile != nullptr);
        QCOMPARE(dlg.m_strFileName, m_pBoard->Dir().Path("sample.hex"));
        QCOMPARE(Control<QPushButton>(&dlg, IDC_PROPERTIES)->isEnabled(), true);
        QCOMPARE(StartImagePath({QStringLiteral("kelvora")}), std::string());
    }

    // Opening the Port list shows the ports present then, each with its device as tool tip, the
    // open list as wide as the longest name; the selection stays while its port does.
    void RenewsThePortListWhenOpened()
    {
        auto pPresent = std::make_shared<std::vector<SerialPortInfo>>(
            std::vector<SerialPortInfo>{{"/dev/ttyUSB0", "ttyUSB0", "USB Serial (ttyUSB0)", true, ""},
                                        {"/dev/ttyS1", "ttyS1", "ttyS1", false, ""}});
        m_pDlg = OpenMainWindow(m_boxes, PresentPorts(pPresent));
        QComboBox* pList = List(IDC_PORT);
        pList->setCurrentIndex(1);
        const std::string strLong = "FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        const std::string strLongPath = "/dev/serial/by-id/usb-" + strLong;
        pPresent->push_back({strLongPath, "ttyUSB1", "FT232R USB UART (" + strLong + ")", true, ""});
        // Windows' style opens the list as wide as the closed box; Fusion widens it by itself.
        struct CWindowsStyle
        {
            const QString strOld = QApplication::style()->name();
            CWindowsStyle() { QApplication::setStyle(QStringLiteral("Windows")); }
            ~CWindowsStyle() { QApplication::setStyle(strOld); }
        } windowsStyle;
        pList->showPopup();
        QCOMPARE(pList->count(), 3);
        QCOMPARE(pList->itemText(0).toStdString(), strLong);
        QCOMPARE(pList->itemData(0, Qt::ToolTipRole).toString().toStdString(), strLongPath);
        QCOMPARE_GE(pList->view()->viewport()->width(),
                    pList->view()->fontMetrics().horizontalAdvance(QString::fromStdString(strLong)));
        pList->hidePopup();
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyUSB0"));

        pPresent->erase(pPresent->begin());   // ttyUSB0 unplugged
        pList->showPopup();
        pList->hidePopup();
        QCOMPARE(pList->count(), 2);
        QCOMPARE(m_pDlg->GetSelectedPortPath(), strLongPath);
    }

    // Discovery that throws: one line with its text, the ports found before it stay.
    void GoesOnAfterADiscoveryFailure()
    {
        m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>& ports) {
            ports.push_back({"/dev/ttyS0", "ttyS0", "ttyS0", false, ""});
            throw std::string("Could not read from /sys/class/tty. (err=2)");
        });
        QCOMPARE(Tail(*m_pDlg, 4),
                 (Lines{"Enumerating available serial ports", "Could not read from /sys/class/tty. (err=2)",
                        "Enumeration complete", "Loader files from " + m_pBoard->Dir().Path()}));
        QCOMPARE(List(IDC_PORT)->currentText(), QStringLiteral("ttyS0"));
    }

    void KeepsTheWholeLogInView()
    {
        Open();
        // Each line is added at the end; nothing before it is rewritten.
        QTextDocument* pDocument = LogView()->document();
        int nFirstChange = pDocument->characterCount();
        const int nStartLength = nFirstChange;
        connect(pDocument, &QTextDocument::contentsChange, this,
                [&](int nPosition, int, int) { nFirstChange = std::min(nFirstChange, nPosition); });
        for (int i = 0; i < 600; ++i)
            m_pDlg->Log("line " + std::to_string(i));
        QCOMPARE(nFirstChange, nStartLength - 1);
        const Lines lines = LogLines(*m_pDlg);
        QCOMPARE(lines.size(), size_t(606));
        QCOMPARE(lines.front(), std::string("Kelvora started"));
        QCOMPARE(lines.back(), std::string("line 599"));
        QCOMPARE(LogView()->blockCount(), 606);
        QScrollBar* pScroll = LogView()->verticalScrollBar();
        QVERIFY(pScroll->maximum() > 0);
        QCOMPARE(pScroll->value(), pScroll->maximum());
    }

    // Without the flasher program in the loader folder Connect names the file and the folder and
    // offers to choose another; the chosen one is used, and remembered for the next start.
    void FindsTheLoaderFiles_data() { AddRows(kLoaderCases); }
    void FindsTheLoaderFiles()
    {
        QFETCH(int, row);
        const CLoaderCase& c = kLoaderCases[row];
        const CTempDir empty("kelvora-empty");
        const CTempDir loaders("kelvora-loaders");
        for (const char* pszFile : {"prel1.hex", "prel2.hex", "main.h86", "mainamd.h86"})
            std::filesystem::copy_file(m_pBoard->Dir().Path(pszFile), loaders.Path(pszFile));
        QCOMPARE(std::remove(m_pBoard->Dir().Path("mainamd.h86").c_str()), 0);
        auto expand = [&](std::string str) {
            const size_t nAt = str.find('%');
            if (nAt == std::string::npos)
                return str;
            const char cWhich = str[nAt + 1];
            return str.replace(nAt, 2,
                               cWhich == 'w'   ? m_pBoard->Dir().Path()
                               : cWhich == 'e' ? empty.Path()
                                               : loaders.Path());
        };
        Open();
        List(IDC_FLASHCHIP)->setCurrentText(QStringLiteral("AMD"));
        m_boxes.m_answers.assign(c.answers.begin(), c.answers.end());
        for (const std::string& strFolder : c.folders)
            m_boxes.m_folders.push_back(expand(strFolder));
        std::vector<CShownBox> expected;
        for (const std::string& strLine : c.asked)
            expected.push_back({expand(strLine) + "\nChoose the folder of the loader files?", "Loader files",
                                EBoxIcon::Question});
        if (c.bConnects)
            expected.push_back(kResetBox);
        Lines expectedLog;
        for (const std::string& strLine : c.log)
            expectedLog.push_back(expand(strLine));
        const size_t nLogLines = LogLines(*m_pDlg).size();

        Click(Button(IDC_CONNECT));
        QCOMPARE(m_boxes.m_shown, expected);
        QCOMPARE(ButtonStates(*m_pDlg), c.bConnects ? kConnected : kNotConnected);
        const Lines log = LogLines(*m_pDlg);
        QCOMPARE(Lines(log.begin() + static_cast<long>(nLogLines),
                       log.begin() + static_cast<long>(nLogLines + expectedLog.size())),
                 expectedLog);
        if (!c.bConnects) {
            QCOMPARE(log.size(), nLogLines + expectedLog.size());
            QVERIFY(m_pBoard->ToBoard().empty());
            return;
        }
        Click(Button(IDC_EXIT));
        m_pDlg = OpenMainWindow(m_boxes, {}, true);
        QCOMPARE(Tail(*m_pDlg, 1), Lines{"Loader files from " + loaders.Path()});
    }

    void Connects()
    {
        Open();
        Click(Button(IDC_CONNECT));
        QCOMPARE(AttemptLines(*m_pDlg), kConnectLines);
        QCOMPARE(m_boxes.m_shown, std::vector<CShownBox>{kResetBox});
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value(), 100);
        QCOMPARE(Bar(IDC_PROGRESS_TEST)->value(), 100);
        QCOMPARE(ButtonStates(*m_pDlg), kConnected);
        QVERIFY(m_pDlg->m_pSession != nullptr && m_pDlg->m_pSession->IsConnected());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(m_pBoard->Board().GetStage(), EBoardStage::Flasher);
    }

    void FailsToConnect_data() { AddRows(kFailCases); }
    void FailsToConnect()
    {
        QFETCH(int, row);
        const CFailCase& c = kFailCases[row];
        m_pBoard->Board().SetFaults(c.faults);
        if (c.bNoPorts)
            m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>&) {});
        else
            Open();
        Click(Button(IDC_CONNECT));
        Lines expected(kConnectLines.begin(), kConnectLines.begin() + static_cast<long>(c.nStepLines));
        expected.push_back(c.pszError);
        expected.push_back(c.pszClosed);
        QCOMPARE(AttemptLines(*m_pDlg), expected);
        QCOMPARE(m_boxes.m_shown, (std::vector<CShownBox>{kResetBox, kCannotConnectBox}));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value(), c.nUpperBar);
        QCOMPARE(Bar(IDC_PROGRESS_TEST)->value(), c.nLowerBar);
        // The attempt's link stays, closed.
        QVERIFY(m_pDlg->m_pSession != nullptr && !m_pDlg->m_pSession->IsConnected());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        if (c.bNoPorts)
            QVERIFY(m_pBoard->ToBoard().empty());
    }

    // The next attempt asks for the reset again with both bars back at 0, on a fresh link.
    void ConnectsAfterAFailedAttempt()
    {
        CBoardFaults faults;
        faults.nWrongTestEchoAt = 100;
        m_pBoard->Board().SetFaults(faults);
        Open();
        Click(Button(IDC_CONNECT));
        m_pBoard->Board().SetFaults(CBoardFaults());
        int nBarsAtReset = -1;
        m_boxes.m_fnOnShow = [&](const CShownBox& box) {
            if (box == kResetBox)
                nBarsAtReset = Bar(IDC_PROGRESS_LOAD)->value() + Bar(IDC_PROGRESS_TEST)->value();
        };
        m_boxes.m_shown.clear();
        Click(Button(IDC_CONNECT));
        QCOMPARE(nBarsAtReset, 0);
        QCOMPARE(m_boxes.m_shown, std::vector<CShownBox>{kResetBox});
        QCOMPARE(AttemptLines(*m_pDlg), kConnectLines);
        QCOMPARE(ButtonStates(*m_pDlg), kConnected);
    }

    // The Flash Chip list chooses the flasher program, and the choice holds until changed.
    void ChoosesTheFlasherByChip()
    {
        Open();
        for (int nChip : {2, 0}) {
            List(IDC_FLASHCHIP)->setCurrentIndex(nChip);
            Connect();
            const std::string strFile = nChip == 2 ? "mainamd.h86" : "main.h86";
            QCOMPARE(m_pDlg->m_strSecondLoaderFile, strFile);
            Click(Button(IDC_INFO));
            const std::vector<CShownBox> info{{CUiBoard::InfoText(strFile), "Info", EBoxIcon::Information}};
            QCOMPARE(m_boxes.m_shown, info);
            Click(Button(IDC_DISCONNECT));
        }
    }

    // The board falls silent during Info: after the selector's echo, an empty box and the link
    // stays; before it, the link is lost, and dropped only after the operator confirmed.
    void InfoWhenTheBoardFallsSilent_data()
    {
        QTest::addColumn<int>("echoed");   // bytes of the Info request the board still serves
        QTest::newRow("text request unanswered") << 1;
        QTest::newRow("selector unanswered") << 0;
    }
    void InfoWhenTheBoardFallsSilent()
    {
        QFETCH(int, echoed);
        const bool bLost = echoed == 0;
        Open();
        Connect();
        m_pBoard->Board().SetFaults(Fault(&CBoardFaults::nSilentAfterRx, Received() + echoed));
        Lines expected = LogLines(*m_pDlg);
        bool bOpenAtBox = false;
        m_boxes.m_fnOnShow = [&](const CShownBox&) { bOpenAtBox = m_pDlg->m_pSession != nullptr; };
        Click(Button(IDC_INFO));
        QVERIFY(bOpenAtBox);
        QCOMPARE(m_boxes.m_shown,
                 (std::vector<CShownBox>{bLost ? kLostBox : CShownBox{"", "Info", EBoxIcon::Information}}));
        if (bLost)
            expected.insert(expected.end(), {"Connection closed", "Serial port closed"});
        QCOMPARE(LogLines(*m_pDlg), expected);
        QCOMPARE(ButtonStates(*m_pDlg), bLost ? kNotConnected : kConnected);
        QCOMPARE(m_pDlg->m_pSession == nullptr, bLost);
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value() + Bar(IDC_PROGRESS_TEST)->value(), bLost ? 0 : 200);
    }

    // Disconnect, Exit and Escape close the port without a word to the board, and without a question.
    void LetsGoOfTheBoard_data()
    {
        QTest::addColumn<int>("button");   // clicked; 0 presses Escape
        QTest::addColumn<int>("result");   // the window's result; -1: it stays open
        QTest::newRow("Disconnect") << int(IDC_DISCONNECT) << -1;
        QTest::newRow("Exit") << int(IDC_EXIT) << int(QDialog::Accepted);
        QTest::newRow("Escape") << 0 << int(QDialog::Rejected);
    }
    void LetsGoOfTheBoard()
    {
        QFETCH(int, button);
        QFETCH(int, result);
        Open();
        Connect();
        const long long nSent = Received();
        const int nResets = m_pBoard->Board().GetResetCount();
        if (button != 0)
            Click(Button(button));
        else
            QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
        QVERIFY(m_pDlg->m_pSession == nullptr);
        QVERIFY(m_pBoard->Board().WaitForResetCount(nResets + 1, 5000));
        QCOMPARE(Received(), nSent);
        QVERIFY(m_boxes.m_shown.empty());
        QCOMPARE(m_pDlg->isVisible(), result < 0);
        if (result >= 0) {
            QCOMPARE(m_pDlg->result(), result);
            QVERIFY(m_pDlg->m_pLogFont == nullptr);
            return;
        }
        QCOMPARE(Tail(*m_pDlg, 2), (Lines{"Connection closed", "Serial port closed"}));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value() + Bar(IDC_PROGRESS_TEST)->value(), 0);
    }

    // "&Exit" is the first tab stop: Enter right after start ends the window.
    void EndsOnEnterAfterStart()
    {
        Open();
        QApplication::setActiveWindow(m_pDlg.get());
        QVERIFY(QTest::qWaitForWindowActive(m_pDlg.get()));
        QCOMPARE(QApplication::focusWidget(), FindControl<QWidget>(m_pDlg.get(), IDC_EXIT));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(m_pDlg->result(), int(QDialog::Accepted));
        QVERIFY(!m_pDlg->isVisible());
    }

    // "&?" opens the About box: name and version, what the program does, and OK.
    void ShowsTheAboutBox()
    {
        Open();
        QString strTitle;
        QStringList texts;
        WhenModalOpens([&](QWidget* pBox) {
            QVERIFY(pBox != nullptr);
            strTitle = pBox->windowTitle();
            for (const QLabel* pLabel : pBox->findChildren<QLabel*>())
                texts << pLabel->text();
            Click(FindControl<QPushButton>(pBox, IDOK));
        });
        Click(Button(IDC_ABOUT));
        QCOMPARE(strTitle, QString::fromUtf8("Info \xC3\xBC"
                                             "ber kelvora"));
        QVERIFY(texts.contains(QStringLiteral("Kelvora version " KELVORA_VERSION_TEXT)));
        QVERIFY(m_pDlg->isVisible());
    }

    // Exit, the close box or Escape during a run ask whether to stop it. No: the run goes on and the
    // window stays. Yes: the run ends after the exchange under way, nothing is taken as connected,
    // and the window closes once it is over, never under it.
    void AsksBeforeStoppingARun_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("stop");
        QTest::newRow("close box, no") << 0 << false;
        QTest::newRow("Exit, yes") << 1 << true;
        QTest::newRow("Escape, yes") << 2 << true;
    }
    void AsksBeforeStoppingARun()
    {
        QFETCH(int, how);
        QFETCH(bool, stop);
        m_pBoard->Board().SetBaudRate(57600);   // the flasher program and the test take half a second
        Open();
        m_boxes.m_answers.push_back(stop);
        connect(LogView(), &QPlainTextEdit::blockCountChanged, this, [&] {
            if (LogView()->document()->lastBlock().text() != QLatin1String("Sending second stage BSL"))
                return;
            if (how == 0)
                m_pDlg->close();
            else if (how == 1)
                Click(Button(IDC_EXIT));
            else
                QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
            // Held while the run goes on: Connect, enabled through an attempt, is not pressed again.
            Click(Button(IDC_CONNECT));
        });
        Click(Button(IDC_CONNECT));
        const CShownBox kAsked{"Stop the run? It ends after the exchange with the board under way, and the "
                               "board is disconnected.",
                               "Stop", EBoxIcon::Question};
        QCOMPARE(m_boxes.m_shown, (std::vector<CShownBox>{kResetBox, kAsked}));
        if (!stop) {
            QCOMPARE(AttemptLines(*m_pDlg), kConnectLines);
            QCOMPARE(ButtonStates(*m_pDlg), kConnected);
            QVERIFY(m_pDlg->isVisible());
            return;
        }
        const Lines tail = Tail(*m_pDlg, 2);
        QVERIFY2(tail[0].rfind("Interrupted: stopped while ", 0) == 0, tail[0].c_str());
        QCOMPARE(tail[1], std::string("Serial port closed"));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QTRY_VERIFY(!m_pDlg->isVisible());
        QVERIFY(m_pDlg->m_pSession == nullptr);
    }
};

KELVORA_UI_TEST(MainWindowTest);
#include "mainwindow_test.moc"
