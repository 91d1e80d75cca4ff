// The main window driven as the operator drives it, against a simulated board on a pty.
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
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "job/osversion.h"
#include "link/targetlink.h"
#include "res/resource.h"
#include "support/connectlog.h"
#include "tests/ui/uitestsupport.h"
#include "ui/dialogbuilder.h"

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
    std::function<void(CBoardFaults&)> fnFault;
    int nChipIndex;          // Flash Chip list
    const char* pszRemove;   // a target file taken away first, or null
    bool bNoPorts;           // discovery finds nothing
    size_t nStepLines;       // lines of kConnectLines before the failure
    const char* pszError;    // the link's text
    const char* pszClosed;   // the closing line
    int nUpperBar;
    int nLowerBar;
    const char* pszPullCableAt = nullptr;   // the board goes away when this line is logged,
    int nPullCableAtBar = -1;               // or when the upper bar reaches this position
};

const CFailCase kFailCases[] = {
    {"Init, no port", {}, 0, nullptr, true, 0, "Error, cannot open serial port", "Serial Port closed", 0, 0},
    {"Init, no mainnex.h86",
     {},
     1,
     "mainnex.h86",
     false,
     0,
     "Error reading second stage loader",
     "Serial Port closed",
     0,
     0},
    {"Connect", [](CBoardFaults& f) { f.bNoAnswerToZero = true; }, 0, nullptr, false, 1,
     "Error setting up communcation with C167", "Serial Port closed", 0, 0},
    {"SendBsl",
     {},
     0,
     nullptr,
     false,
     4,
     "Error sending bsl to c167",
     "Serial Port closed",
     0,
     0,
     "Sending bootstraploader"},
    {"SendFirstLoader",
     {},
     0,
     nullptr,
     false,
     6,
     "Error sending first loader code",
     "Serial port closed",
     20,
     0,
     "Sending second stage BSL"},
    {"SendSecondLoader",
     {},
     0,
     nullptr,
     false,
     8,
     "Error sending second loader code",
     "Serial port closed",
     60,
     0,
     nullptr,
     60},
    {"TestConnection", [](CBoardFaults& f) { f.nWrongTestEchoAt = 100; }, 0, nullptr, false, 10,
     "Error duvuvever sent wrong ID", "Serial port closed", 100, 39},
};
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
        const Lines expected{"Kelvora started", "OS Version: " + GetOsVersionText(),
                             "Buildung available options", "Enumerating available serial ports",
                             "Enumeration complete"};
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
        QVERIFY(m_pDlg->m_pLink == nullptr);
        QVERIFY(m_boxes.m_shown.empty());
    }

    void FillsOptionLists_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("Speed") << "Speed"
                               << QStringList{"1200", "2400", "4800", "9600", "19200", "38400", "57600"} << 6;
        QTest::newRow("Board") << "Board" << QStringList{"Phytec KC167CR"} << 0;
        QTest::newRow("Flash Chip") << "Flash Chip" << QStringList{"AUTO", "NexFlash", "AMD"} << 0;
        QTest::newRow("Port, discovery order COM2 COM1 COM10")
            << "Port" << QStringList{"COM1", "COM10", "COM2"} << 0;
    }
    void FillsOptionLists()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>& ports) {
            for (const char* psz : {"COM2", "COM1", "COM10"})
                ports.push_back({std::string("/dev/x") + psz, psz, psz, false, ""});
        });
        const int nListId = list == "Speed"   ? IDC_SPEED
                            : list == "Board" ? IDC_BOARD
                            : list == "Port"  ? IDC_PORT
                                              : IDC_FLASHCHIP;
        QComboBox* pList = List(nListId);
        QStringList shown;
        for (int i = 0; i < pList->count(); ++i)
            shown << pList->itemText(i);
        QCOMPARE(shown, entries);
        QCOMPARE(pList->currentIndex(), selected);
    }

    // The lookup goes through the selection, also after the operator changed it.
    void LooksUpTheChosenPort()
    {
        m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>& ports) {
            ports.push_back({"/dev/ttyUSB0", "ttyUSB0", "FT232R USB UART (ttyUSB0)", true, ""});
            ports.push_back({"/dev/ttyS1", "ttyS1", "ttyS1", false, ""});
            ports.push_back({"/dev/ttyS2", "ttyS2", "Some long name", false, ""});   // ends the list
            ports.push_back({"/dev/ttyS3", "ttyS3", "ttyS3", false, ""});
        });
        QCOMPARE(List(IDC_PORT)->count(), 2);
        QCOMPARE(m_pDlg->m_strPort, std::string("ttyS1"));
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyS1"));
        List(IDC_PORT)->setCurrentIndex(1);
        QCOMPARE(m_pDlg->GetSelectedPortPath(), std::string("/dev/ttyUSB0"));
    }

    // Discovery that throws: one line with its text, the ports found before it stay.
    void GoesOnAfterADiscoveryFailure()
    {
        m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>& ports) {
            ports.push_back({"/dev/ttyS0", "ttyS0", "ttyS0", false, ""});
            throw std::string("Could not read from /sys/class/tty. (err=2)");
        });
        QCOMPARE(Tail(*m_pDlg, 3),
                 (Lines{"Enumerating available serial ports", "Could not read from /sys/class/tty. (err=2)",
                        "Enumeration complete"}));
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
        QCOMPARE(lines.size(), size_t(605));
        QCOMPARE(lines.front(), std::string("Kelvora started"));
        QCOMPARE(lines.back(), std::string("line 599"));
        QCOMPARE(LogView()->blockCount(), 605);
        QScrollBar* pScroll = LogView()->verticalScrollBar();
        QVERIFY(pScroll->maximum() > 0);
        QCOMPARE(pScroll->value(), pScroll->maximum());
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
        QVERIFY(m_pDlg->m_pLink != nullptr && m_pDlg->m_pLink->m_bConnected);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(m_pBoard->Board().GetStage(), EBoardStage::Flasher);
    }

    void FailsToConnect_data()
    {
        QTest::addColumn<int>("row");
        for (size_t i = 0; i < std::size(kFailCases); ++i)
            QTest::newRow(kFailCases[i].pszName) << static_cast<int>(i);
    }
    void FailsToConnect()
    {
        QFETCH(int, row);
        const CFailCase& c = kFailCases[row];
        CBoardFaults faults;
        if (c.fnFault)
            c.fnFault(faults);
        m_pBoard->Board().SetFaults(faults);
        if (c.pszRemove)
            QCOMPARE(std::remove(m_pBoard->Dir().Path(c.pszRemove).c_str()), 0);
        if (c.bNoPorts)
            m_pDlg = OpenMainWindow(m_boxes, [](std::vector<SerialPortInfo>&) {});
        else
            Open();
        List(IDC_FLASHCHIP)->setCurrentIndex(c.nChipIndex);
        if (c.pszPullCableAt)
            connect(LogView(), &QPlainTextEdit::blockCountChanged, this, [&] {
                if (LogView()->document()->lastBlock().text() == QLatin1String(c.pszPullCableAt))
                    m_pBoard->Board().Stop();
            });
        if (c.nPullCableAtBar >= 0)
            connect(Bar(IDC_PROGRESS_LOAD), &QProgressBar::valueChanged, this, [&](int nValue) {
                if (nValue == c.nPullCableAtBar)
                    m_pBoard->Board().Stop();
            });

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
        QVERIFY(m_pDlg->m_pLink != nullptr && m_pDlg->m_pLink->m_pPort == nullptr);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        if (c.pszRemove || c.bNoPorts)
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

    void ShowsAnEmptyInfoWhenTheTextFails()
    {
        Open();
        Connect();
        CBoardFaults faults;
        faults.nSilentAfterRx = Received() + 1;   // the info selector is echoed, the text request not
        m_pBoard->Board().SetFaults(faults);
        const size_t nLines = LogLines(*m_pDlg).size();
        Click(Button(IDC_INFO));
        QCOMPARE(m_boxes.m_shown, (std::vector<CShownBox>{{"", "Info", EBoxIcon::Information}}));
        QCOMPARE(LogLines(*m_pDlg).size(), nLines);
        QCOMPARE(ButtonStates(*m_pDlg), kConnected);
        QVERIFY(m_pDlg->m_pLink != nullptr);
    }

    void ReportsALostConnection()
    {
        Open();
        Connect();
        CBoardFaults faults;
        faults.nSilentAfterRx = Received();   // the info selector goes unanswered
        m_pBoard->Board().SetFaults(faults);
        bool bOpenAtBox = false;
        m_boxes.m_fnOnShow = [&](const CShownBox&) { bOpenAtBox = m_pDlg->m_pLink != nullptr; };
        Click(Button(IDC_INFO));
        QVERIFY(bOpenAtBox);   // disconnected after the operator confirmed
        QCOMPARE(m_boxes.m_shown, std::vector<CShownBox>{kLostBox});
        QCOMPARE(Tail(*m_pDlg, 3), (Lines{"Connection tested", "Connection closed", "Serial port closed"}));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QVERIFY(m_pDlg->m_pLink == nullptr);
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value() + Bar(IDC_PROGRESS_TEST)->value(), 0);
    }

    void Disconnects()
    {
        Open();
        Connect();
        const long long nSent = Received();
        const int nResets = m_pBoard->Board().GetResetCount();
        Click(Button(IDC_DISCONNECT));
        QCOMPARE(Tail(*m_pDlg, 2), (Lines{"Connection closed", "Serial port closed"}));
        QCOMPARE(ButtonStates(*m_pDlg), kNotConnected);
        QVERIFY(m_pDlg->m_pLink == nullptr);
        QCOMPARE(Bar(IDC_PROGRESS_LOAD)->value() + Bar(IDC_PROGRESS_TEST)->value(), 0);
        QVERIFY(m_pBoard->Board().WaitForResetCount(nResets + 1, 5000));
        QCOMPARE(Received(), nSent);
        QVERIFY(m_boxes.m_shown.empty());
    }

    // Exit while connected closes the port without a word to the board, and without a question.
    void ExitsWhileConnected()
    {
        Open();
        Connect();
        const long long nSent = Received();
        const int nResets = m_pBoard->Board().GetResetCount();
        Click(Button(IDC_EXIT));
        QCOMPARE(m_pDlg->result(), int(QDialog::Accepted));
        QVERIFY(!m_pDlg->isVisible());
        QVERIFY(m_pDlg->m_pLink == nullptr && m_pDlg->m_pLogFont == nullptr);
        QVERIFY(m_pBoard->Board().WaitForResetCount(nResets + 1, 5000));
        QCOMPARE(Received(), nSent);
        QVERIFY(m_boxes.m_shown.empty());
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

    // The close box pressed while a connect runs ends the window after the connect, not under it.
    void ClosesOnlyAfterTheConnectEnds()
    {
        Open();
        connect(LogView(), &QPlainTextEdit::blockCountChanged, this, [&] {
            if (LogView()->document()->lastBlock().text() == QLatin1String("Sending flasher program"))
                m_pDlg->close();
        });
        Click(Button(IDC_CONNECT));
        QCOMPARE(AttemptLines(*m_pDlg), kConnectLines);
        QVERIFY(m_pDlg->isVisible());
        QTRY_VERIFY(!m_pDlg->isVisible());
        QCOMPARE(m_pDlg->result(), int(QDialog::Rejected));
        QVERIFY(m_pDlg->m_pLink == nullptr);
    }

    void EndsOnEscape()
    {
        Open();
        Connect();
        QTest::keyClick(m_pDlg.get(), Qt::Key_Escape);
        QCOMPARE(m_pDlg->result(), int(QDialog::Rejected));
        QVERIFY(m_pDlg->m_pLink == nullptr);
    }
};

KELVORA_UI_TEST(MainWindowTest);
#include "mainwindow_test.moc"
