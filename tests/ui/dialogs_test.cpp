// The hex file, Hexinfo, Delete sectors and Flash it dialogs through the real window, against the
// simulated board and real files: texts, boxes, the bytes on the wire, the board's flash.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <fstream>
#include <functional>
#include <utility>

#include "hex/hexdumpmodel.h"
#include "hex/hexfile.h"
#include "hex/hexwriter.h"
#include "job/boardfacts.h"
#include "link/targetlink.h"
#include "res/resource.h"
#include "sim/targetfiles.h"
#include "tests/ui/uitestsupport.h"
#include "ui/deletesectorsdlg.h"
#include "ui/dialogbuilder.h"
#include "ui/flashitdlg.h"
#include "ui/hexdumpview.h"
#include "ui/hexinfodlg.h"
#include "ui/sectorlines.h"
#include "ui/tabstopdelegate.h"

namespace
{
using CSegments = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;
// Not a speed of the list: the simulated board is unpaced, and a fast port keeps the link's
// own pacing of its writes short.
const QString kFastSpeed = QStringLiteral("921600");

std::vector<uint8_t> Bytes(size_t nCount, uint8_t bySeed)
{
    std::vector<uint8_t> bytes(nCount);
    for (size_t i = 0; i < nCount; ++i)
        bytes[i] = static_cast<uint8_t>(bySeed + i * 13 + (i >> 7));
    return bytes;
}

void WriteHex(const std::string& strPath, const CSegments& segments)
{
    CHexWriter writer(EHexAddressing::Linear);
    for (const auto& segment : segments)
        QVERIFY(writer.AddData(segment.first, segment.second) == 0);
    QVERIFY(writer.WriteFile(strPath) == 0);
}

void WriteText(const std::string& strPath, const std::string& strText)
{
    std::ofstream(strPath, std::ios::binary) << strText;
}

QStringList ListLines(QListWidget* pList)
{
    QStringList lines;
    for (int i = 0; i < pList->count(); ++i)
        lines << pList->item(i)->text();
    return lines;
}

QStringList SectorLines(int nSectors, const std::vector<int>& deleted)
{
    QStringList lines{QString::fromLatin1(kSectorHeader)};
    for (int i = 0; i < nSectors; ++i) {
        const bool bDeleted = std::find(deleted.begin(), deleted.end(), i) != deleted.end();
        lines << QString::fromStdString(FormatSectorLine(i, bDeleted));
    }
    return lines;
}

QStringList DumpLines(const CHexInfoDlg& dlg)
{
    const CHexDumpModel* pModel = dlg.DumpView()->DumpModel();
    QStringList lines;
    for (int i = 0; i < pModel->RowCount(); ++i)
        lines << QString::fromStdString(pModel->Line(i));
    return lines;
}

std::vector<CShownBox> Shown(std::vector<CShownBox> boxes)
{
    return boxes;
}

// A window connected to the simulated board, its flash filled with a pattern.
class CConnectedWindow
{
public:
    // bPattern: the flash holds a pattern instead of being erased.
    explicit CConnectedWindow(int nSectors = 4, bool bPattern = false)
    {
        if (nSectors != CUiBoard::kSectorCount)
            QVERIFY(CTargetFiles::WriteFlasher(m_board.Dir().Path("main.h86"), CUiBoard::kFlasherSize,
                                               nSectors, CUiBoard::InfoText("main.h86")) == 0);
        m_board.Board().SetEraseTimes(5, 10);
        m_pDlg = OpenMainWindow(m_boxes);
        QVERIFY(SelectPort(*m_pDlg, CUiBoard::kPortName));
        Control<QComboBox>(m_pDlg.get(), IDC_SPEED)->addItem(kFastSpeed);
        Control<QComboBox>(m_pDlg.get(), IDC_SPEED)->setCurrentText(kFastSpeed);
        Click(Control<QPushButton>(m_pDlg.get(), IDC_CONNECT));
        QVERIFY2(Connected(), m_pDlg->m_strLog.c_str());
        m_nSectors = nSectors;
        if (bPattern && nSectors > 0) {
            m_pattern = Bytes(static_cast<size_t>(nSectors) * kSectorSize, 0x21);
            WriteText(m_board.Dir().Path("flash.bin"), std::string(m_pattern.begin(), m_pattern.end()));
            QVERIFY(m_board.Board().LoadFlash(m_board.Dir().Path("flash.bin")) == 0);
        }
        m_boxes.m_shown.clear();
        m_nBootBytes = static_cast<long long>(m_board.ToBoard().size());
        m_board.Board().ClearWireLog();
        m_nLogLines = LogLines(*m_pDlg).size();
    }

    bool Connected() const
    {
        return Control<QPushButton>(m_pDlg.get(), IDC_DISCONNECT)->isEnabled() && m_pDlg->m_pLink != nullptr;
    }
    // Log lines since the connection was made.
    std::vector<std::string> NewLog() const
    {
        const std::vector<std::string> lines = LogLines(*m_pDlg);
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(m_nLogLines),
                                        lines.end());
    }
    // The sectors that read erased now, checking that the others still hold the pattern.
    std::vector<int> ErasedSectors()
    {
        const std::vector<uint8_t> flash = m_board.Board().GetFlash();
        std::vector<int> erased;
        for (int i = 0; i < m_nSectors; ++i) {
            const auto itBegin = flash.begin() + static_cast<std::ptrdiff_t>(i) * kSectorSize;
            if (std::all_of(itBegin, itBegin + kSectorSize, [](uint8_t by) { return by == 0xFF; }))
                erased.push_back(i);
            else if (!std::equal(itBegin, itBegin + kSectorSize,
                                 m_pattern.begin() + (itBegin - flash.begin())))
                erased.push_back(-1 - i);   // neither erased nor as it was
        }
        return erased;
    }

    CUiBoard m_board;
    CRecordingBoxes m_boxes;
    std::unique_ptr<CKelvoraDlg> m_pDlg;
    int m_nSectors = 0;
    std::vector<uint8_t> m_pattern;
    size_t m_nLogLines = 0;
    long long m_nBootBytes = 0;   // received by the board since its reset, up to the connection
};

const CShownBox kLost{"Lost connection to target", "Error", EBoxIcon::Warning};

enum class EClose
{
    Ok,
    Escape,
};

struct CSectorCase
{
    int nSectors;
    std::vector<int> clickLines;   // list lines clicked, in order (0 is the header)
    bool bDeleteSelected;
    bool bEraseChip;
    bool bEraseFails;                 // the board answers 'E' to erases
    bool bRecoverAfterBox;            // ... until the first box has been shown
    EClose eClose;                    // when the dialog is still open after the action
    std::vector<int> deletedLines;    // sectors the list shows as deleted after the action
    std::vector<uint8_t> wire;        // the bytes sent for the action
    std::vector<int> erased;          // the sectors the flash shows erased
    std::vector<std::string> boxes;   // texts of the dialog's boxes ("ERROR", warning)
    bool bLost;                       // the window reports a lost connection
};

struct CFlashCase
{
    bool bVerify;
    CBoardFaults faults;
    long long nSilentInVerify;      // the board falls silent this many bytes into the read-back; -1 never
    std::vector<CShownBox> boxes;   // the dialog's boxes
    bool bLost;
    bool bFlashEqualsImage;
    int nVerifyBar;
};

struct CHexStep
{
    enum EKind
    {
        Browse,
        Cancel,
        Reload,
        Rewrite,   // the file on disk gets other contents
    } eKind;
    std::string strFile;       // in the test folder
    std::string strContents;   // Rewrite
};

struct CHexCase
{
    std::vector<CHexStep> steps;
    std::vector<CShownBox> boxes;       // "%s" stands for the full path of the last file named
    std::vector<std::string> logTail;   // the last lines of the log, "%s" as above
    bool bProperties, bReload, bImage;
    std::string strField;   // file shown in the Filename field ("" for none)
};

// Hex file texts.
const std::string kEofOnly = ":00000001FF\r\n";
const std::string kLowerCase = ":0100000041be\r\n:00000001FF\r\n";
const std::string kFourBytes = ":0400100001020304E2\r\n:00000001FF\r\n";   // 16..19
const std::string kOtherBytes = ":02002000AABB79\r\n:00000001FF\r\n";      // 32..33
}   // namespace

Q_DECLARE_METATYPE(CSectorCase)
Q_DECLARE_METATYPE(CFlashCase)
Q_DECLARE_METATYPE(CHexCase)
Q_DECLARE_METATYPE(CSegments)

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    // ((w / 2) * 4) / u, each division truncating; pixels are quarters of the list font's width.
    void TabDistance_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("baseUnit");
        QTest::addColumn<int>("distance");
        QTest::addColumn<int>("charWidth");
        QTest::addColumn<int>("pixels");
        QTest::newRow("337 px, unit 8") << 337 << 8 << 84 << 6 << 126;
        QTest::newRow("odd width truncates") << 341 << 7 << 97 << 7 << 169;
        QTest::newRow("no base unit") << 300 << 0 << 0 << 6 << 0;
    }
    void TabDistance()
    {
        QFETCH(int, width);
        QFETCH(int, baseUnit);
        QFETCH(int, distance);
        QFETCH(int, charWidth);
        QFETCH(int, pixels);
        QCOMPARE(SectorTabDistance(width, baseUnit), distance);
        QCOMPARE(TabDistancePixels(distance, charWidth), pixels);
    }

    void HexInfo_data()
    {
        QTest::addColumn<CSegments>("segments");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("4 bytes at 16")
            << CSegments{{16, {0x01, 0x02, 0x03, 0xAB}}} << QStringList{"0x10", "0x13", "4"}
            << QStringList{"Address \t\t: Data", "0x000010 \t: 0x01", "0x000011 \t: 0x02",
                           "0x000012 \t: 0x03", "0x000013 \t: 0xAB"};
        QTest::newRow("seven and eight digits")
            << CSegments{{0xFF, {0x5A}}, {0x1234567, {0x00}}, {0xFEDCBA98, {0xFF}}}
            << QStringList{"0xff", "0xfedcba98", "3"}
            << QStringList{"Address \t\t: Data", "0x0000FF \t: 0x5A", "0x1234567 \t: 0x00",
                           "0xFEDCBA98 \t: 0xFF"};
    }
    // Fields, every line, and select-all with copy giving the lines joined with CR LF.
    void HexInfo()
    {
        QFETCH(CSegments, segments);
        QFETCH(QStringList, fields);
        QFETCH(QStringList, lines);
        CTempDir dir("kelvora-hexinfo");
        WriteHex(dir.Path("image.hex"), segments);
        CHexFile image(dir.Path("image.hex").c_str());
        QVERIFY(image.Verify() == 0 && image.Load() == 0);

        CHexInfoDlg dlg(nullptr, &image);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Hexinfo"));
        QCOMPARE((QStringList{FindControl<QLineEdit>(&dlg, IDC_HEXINFO_START)->text(),
                              FindControl<QLineEdit>(&dlg, IDC_HEXINFO_END)->text(),
                              FindControl<QLineEdit>(&dlg, IDC_HEXINFO_COUNT)->text()}),
                 fields);
        QCOMPARE(DumpLines(dlg), lines);
        QVERIFY(FindControl<CHexDumpView>(&dlg, IDC_HEXINFO_DUMP) == dlg.DumpView());

        dlg.show();
        dlg.DumpView()->setFocus();
        QTest::keySequence(dlg.DumpView(), QKeySequence::SelectAll);
        QTest::keySequence(dlg.DumpView(), QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), lines.join("\r\n"));
        // Click row 3, Shift-click row 1, Ctrl-click row 2: rows 1 and 3, each line once, in order.
        CHexDumpView* pView = dlg.DumpView();
        auto click = [pView](int nRow, Qt::KeyboardModifiers modifiers) {
            QTest::mouseClick(pView->viewport(), Qt::LeftButton, modifiers,
                              QPoint(10, nRow * pView->RowHeight() + pView->RowHeight() / 2));
        };
        click(3, {});
        click(1, Qt::ShiftModifier);
        click(2, Qt::ControlModifier);
        QTest::keySequence(pView, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), lines[1] + "\r\n" + lines[3]);
        QTest::keyClick(pView, Qt::Key_Down, Qt::ShiftModifier);   // from the anchor, row 2, to 3
        QCOMPARE(pView->Selection(), (std::vector<CRowRange>{{2, 3}}));
    }

    void HexFileSelection_data()
    {
        using S = CHexStep;
        QTest::addColumn<CHexCase>("c");
        const std::string kOk = " successfully loaded";
        const CShownBox kNotValid{"bad.hex is not a valid intel hex file", "Error", EBoxIcon::None};
        QTest::newRow("valid") << CHexCase{{{S::Browse, "good.hex", {}}},
                                           {},
                                           {"Loading hexfile...please wait", "%s" + kOk},
                                           true,
                                           true,
                                           true,
                                           "good.hex"};
        QTest::newRow("not valid") << CHexCase{{{S::Browse, "bad.hex", {}}},
                                               {kNotValid},
                                               {"Verifying hexfile...please wait", kNotValid.strText},
                                               false,
                                               false,
                                               false,
                                               ""};
        QTest::newRow("valid but empty")
            << CHexCase{{{S::Browse, "empty.hex", {}}},
                        {},
                        {"Loading hexfile...please wait", "%s cannot be loaded into memory"},
                        false,
                        false,
                        false,
                        "empty.hex"};
        QTest::newRow("empty after valid keeps Reload")
            << CHexCase{{{S::Browse, "good.hex", {}}, {S::Browse, "empty.hex", {}}},
                        {},
                        {"Loading hexfile...please wait", "%s cannot be loaded into memory"},
                        false,
                        true,
                        false,
                        "empty.hex"};
        QTest::newRow("not valid after valid")
            << CHexCase{{{S::Browse, "good.hex", {}}, {S::Browse, "bad.hex", {}}},
                        {kNotValid},
                        {"Verifying hexfile...please wait", kNotValid.strText},
                        false,
                        false,
                        false,
                        "good.hex"};
        QTest::newRow("cancelled") << CHexCase{{{S::Browse, "good.hex", {}}, {S::Cancel, {}, {}}},
                                               {},
                                               {"%s" + kOk},
                                               true,
                                               true,
                                               true,
                                               "good.hex"};
        QTest::newRow("reload of a file gone bad") << CHexCase{
            {{S::Browse, "good.hex", {}}, {S::Rewrite, "good.hex", kLowerCase}, {S::Reload, "good.hex", {}}},
            {{"%s is not a valid intel hex file", "Error", EBoxIcon::None}},
            {"Verifying hexfile...please wait", "%s is not a valid intel hex file"},
            false,
            false,
            false,
            "good.hex"};
        QTest::newRow("reload of a rebuilt file") << CHexCase{
            {{S::Browse, "good.hex", {}}, {S::Rewrite, "good.hex", kOtherBytes}, {S::Reload, "good.hex", {}}},
            {},
            {"Loading hexfile...please wait", "%s" + kOk},
            true,
            true,
            true,
            "good.hex"};
    }
    void HexFileSelection()
    {
        QFETCH(CHexCase, c);
        CTempDir dir("kelvora-hexsel");
        WriteText(dir.Path("good.hex"), kFourBytes);
        WriteText(dir.Path("bad.hex"), kLowerCase);
        WriteText(dir.Path("empty.hex"), kEofOnly);
        CRecordingBoxes boxes;
        std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
        std::string strLast;
        for (const CHexStep& step : c.steps) {
            if (!step.strFile.empty())
                strLast = dir.Path(step.strFile);
            boxes.m_shown.clear();
            switch (step.eKind) {
            case CHexStep::Browse:
            case CHexStep::Cancel:
                boxes.m_paths.push_back(step.eKind == CHexStep::Browse ? strLast : std::string());
                Click(FindControl<QPushButton>(pDlg.get(), IDC_BROWSE));
                break;
            case CHexStep::Reload:
                Click(Control<QPushButton>(pDlg.get(), IDC_RELOAD));
                break;
            case CHexStep::Rewrite:
                WriteText(strLast, step.strContents);
                break;
            }
        }
        auto expand = [&strLast](std::string str) {
            const size_t nAt = str.find("%s");
            return nAt == std::string::npos ? str : str.replace(nAt, 2, strLast);
        };
        std::vector<CShownBox> expected;
        for (CShownBox box : c.boxes) {
            box.strText = expand(box.strText);
            expected.push_back(box);
        }
        QVERIFY(boxes.m_shown == expected);
        const std::vector<std::string> log = LogLines(*pDlg);
        QVERIFY(log.size() >= c.logTail.size());
        for (size_t i = 0; i < c.logTail.size(); ++i)
            QCOMPARE(log[log.size() - c.logTail.size() + i], expand(c.logTail[i]));
        QCOMPARE(Control<QPushButton>(pDlg.get(), IDC_PROPERTIES)->isEnabled(), c.bProperties);
        QCOMPARE(Control<QPushButton>(pDlg.get(), IDC_RELOAD)->isEnabled(), c.bReload);
        QCOMPARE(pDlg->m_pHexFile != nullptr, c.bImage);
        const std::string strField = c.strField.empty() ? std::string() : dir.Path(c.strField);
        QCOMPARE(Control<QLineEdit>(pDlg.get(), IDC_FILENAME)->text().toStdString(), strField);
        QCOMPARE(pDlg->m_strFileName, strField);

        const CFileDialogSpec& spec = boxes.m_fileDialogs.front();
        QCOMPARE(spec.strFilters,
                 std::string("Intel Hex File (*.hex)(*.h86) (*.hex *.h86);;All Files (*.*) (*)"));
        QCOMPARE(spec.strDefaultSuffix, std::string("hex"));
        QCOMPARE(spec.strInitialName, std::string("*.hex; *.h86"));
        QVERIFY(spec.bMustExist);

        if (pDlg->m_pHexFile) {
            // Properties shows what is on disk now.
            QStringList lines;
            WhenModalOpens([&lines](QWidget* pModal) {
                auto* pInfo = dynamic_cast<CHexInfoDlg*>(pModal);
                if (pInfo != nullptr) {
                    lines = DumpLines(*pInfo);
                    pInfo->accept();
                }
            });
            Click(Control<QPushButton>(pDlg.get(), IDC_PROPERTIES));
            CHexFile image(strLast.c_str());
            QVERIFY(image.Verify() == 0 && image.Load() == 0);
            const HexItem* pLast = image.m_pFirst;
            while (pLast->pNext != nullptr)
                pLast = pLast->pNext;
            QCOMPARE(lines.size(), image.m_nByteCount + 1);
            QCOMPARE(lines.last(), QString::asprintf("0x%06X \t: 0x%02X", pLast->dwAddress, pLast->byValue));
        }
    }

    void DeleteSectors_data()
    {
        QTest::addColumn<CSectorCase>("c");
        constexpr uint8_t D = 0x44, C = 0x43;
        const std::string kSectorError = "Error deleting sector";
        QTest::newRow("4 sectors, OK")
            << CSectorCase{4, {}, false, false, false, false, EClose::Ok, {}, {}, {}, {}, false};
        QTest::newRow("0 sectors") << CSectorCase{0,          {}, false, false, false, false,
                                                  EClose::Ok, {}, {},    {},    {},    false};
        QTest::newRow("127 sectors") << CSectorCase{127,        {}, false, false, false, false,
                                                    EClose::Ok, {}, {},    {},    {},    false};
        QTest::newRow("a count of -1 ends at once")
            << CSectorCase{255, {}, false, false, false, false, EClose::Ok, {}, {}, {}, {}, true};
        QTest::newRow("sectors 1 and 3, header and a line clicked twice unselected")
            << CSectorCase{4,      {0, 2, 1, 4, 1},    true,   false, false, false, EClose::Ok,
                           {1, 3}, {D, D, 1, D, D, 3}, {1, 3}, {},    false};
        QTest::newRow("a failing sector does not stop the loop")
            << CSectorCase{4,   {1, 3},         true, false, true, true, EClose::Ok, {2}, {D, D, 0, D, D, 2},
                           {2}, {kSectorError}, true};
        QTest::newRow("every selected sector fails") << CSectorCase{4,
                                                                    {1, 3},
                                                                    true,
                                                                    false,
                                                                    true,
                                                                    false,
                                                                    EClose::Ok,
                                                                    {},
                                                                    {D, D, 0, D, D, 2},
                                                                    {},
                                                                    {kSectorError, kSectorError},
                                                                    true};
        QTest::newRow("erase chip") << CSectorCase{
            4, {}, false, true, false, false, EClose::Ok, {0, 1, 2, 3}, {D, C}, {0, 1, 2, 3}, {}, false};
        QTest::newRow("erase chip fails") << CSectorCase{
            4,   {}, false, true, true, false, EClose::Ok, {}, {D, C}, {}, {"Error cannot delete flash chip"},
            true};
        QTest::newRow("Escape after erasing keeps the link")
            << CSectorCase{4, {3}, true, false, false, false, EClose::Escape, {2}, {D, D, 2}, {2}, {}, false};
    }
    void DeleteSectors()
    {
        QFETCH(CSectorCase, c);
        CConnectedWindow window(c.nSectors, true);
        CBoardFaults faults;
        faults.bEraseStatusE = c.bEraseFails;
        window.m_board.Board().SetFaults(faults);
        if (c.bRecoverAfterBox)
            window.m_boxes.m_fnOnShow = [&window](const CShownBox&) { window.m_board.Board().SetFaults({}); };

        QStringList linesBefore, linesAfter;
        std::vector<uint8_t> wire;
        bool bOpened = false;
        int nTabPixels = 0;
        bool bColumnsFit = false;
        QString strColumns;
        WhenModalOpens([&](QWidget* pModal) {
            auto* pSectors = dynamic_cast<CDeleteSectorsDlg*>(pModal);
            if (pSectors == nullptr)
                return;
            bOpened = true;
            QListWidget* pList = FindControl<QListWidget>(pSectors, IDC_SECTOR_LIST);
            linesBefore = ListLines(pList);
            nTabPixels = pSectors->TabStops()->TabDistance();
            window.m_board.Board().ClearWireLog();
            for (int nLine : c.clickLines) {
                pList->scrollToItem(pList->item(nLine));
                QTest::mouseClick(pList->viewport(), Qt::LeftButton, {},
                                  pList->visualItemRect(pList->item(nLine)).center());
            }
            QVERIFY(!pList->item(0)->isSelected());
            const bool bSectorClicked =
                std::any_of(c.clickLines.begin(), c.clickLines.end(), [](int n) { return n > 0; });
            QCOMPARE(Control<QPushButton>(pSectors, IDC_DELETE_SELECTED)->isEnabled(), bSectorClicked);
            const QFontMetrics metrics(pList->font());
            bColumnsFit = nTabPixels > metrics.horizontalAdvance("Sector #126") &&
                          nTabPixels > metrics.horizontalAdvance("0x3F0000 - 0x3F7FFF") &&
                          2 * nTabPixels + metrics.horizontalAdvance("deleted") < pList->viewport()->width();
            strColumns = QString::asprintf("tab %d, name %d, range %d, status %d, list %d", nTabPixels,
                                           metrics.horizontalAdvance("Sector #126"),
                                           metrics.horizontalAdvance("0x3F0000 - 0x3F7FFF"),
                                           metrics.horizontalAdvance("deleted"), pList->viewport()->width());
            if (c.bDeleteSelected)
                Click(Control<QPushButton>(pSectors, IDC_DELETE_SELECTED));
            if (c.bEraseChip)
                Click(FindControl<QPushButton>(pSectors, IDC_ERASE_CHIP));
            wire = window.m_board.ToBoard();
            linesAfter = ListLines(pList);
            if (pSectors->isVisible()) {
                if (c.eClose == EClose::Ok)
                    Click(FindControl<QPushButton>(pSectors, IDOK));
                else
                    QTest::keyClick(pSectors, Qt::Key_Escape);
            }
        });
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_DELETE_SECTORS));
        QCoreApplication::processEvents();   // a dialog that never showed leaves its timer
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        std::vector<CShownBox> expected;
        for (const std::string& strText : c.boxes)
            expected.push_back({strText, "ERROR", EBoxIcon::Warning});
        if (c.bLost)
            expected.push_back(kLost);
        QVERIFY(window.m_boxes.m_shown == expected);
        QCOMPARE(window.Connected(), !c.bLost);
        if (c.bLost)   // the link's error text: an 'E' status and a count of -1 leave it empty
            QVERIFY(window.NewLog() ==
                    (std::vector<std::string>{"", "Connection closed", "Serial port closed"}));
        if (c.nSectors == 255) {
            QVERIFY(!bOpened);
            return;
        }
        QVERIFY(bOpened);
        QCOMPARE(linesBefore, SectorLines(c.nSectors, {}));
        if (c.bDeleteSelected || c.bEraseChip) {
            QCOMPARE(linesAfter, SectorLines(c.nSectors, c.deletedLines));
            QCOMPARE(wire, c.wire);
        }
        QCOMPARE(window.ErasedSectors(), c.erased);
        // The columns line up and stay in sight: the first holds the widest sector name, the
        // second the widest range, and the status ends inside the list.
        QVERIFY2(bColumnsFit, strColumns.toLatin1().constData());
    }

    void FlashIt_data()
    {
        QTest::addColumn<CFlashCase>("c");
        const CShownBox kFlashed{"Hexfile flashed successfully", "Info", EBoxIcon::Information};
        const CShownBox kVerified{"Hexfile flashed and verified successfully", "Info", EBoxIcon::Information};
        CBoardFaults checksum;
        checksum.nWrongChecksumBlock = 1;
        CBoardFaults flipped;
        flipped.nFlipReadAddress = 0x31;
        QTest::newRow("without verify") << CFlashCase{false, {}, -1, {kFlashed}, false, true, 0};
        QTest::newRow("with verify") << CFlashCase{true, {}, -1, {kVerified}, false, true, 100};
        QTest::newRow("flash failure")
            << CFlashCase{true, checksum, -1, {{"Flash failed", "ERROR", EBoxIcon::Warning}}, true, false, 0};
        // 0x31 holds 0x44 + 17 * 13 + 0 = 0x21 in the image (Bytes(…, 0x44) from 0x20).
        QTest::newRow("verify failure keeps the link") << CFlashCase{
            true,
            flipped,
            -1,
            {{"Verify failed\nFirst difference at 0x000031: image 0x21, board 0xDE", "ERROR", EBoxIcon::Warning}},
            false,
            true,
            0};
        QTest::newRow("a broken read-back is a lost link")
            << CFlashCase{true, {}, 6, {{"Verify failed", "ERROR", EBoxIcon::Warning}}, true, true, 0};
    }
    void FlashIt()
    {
        QFETCH(CFlashCase, c);
        CConnectedWindow window;
        CTempDir dir("kelvora-flashit");
        // First item at 32, last at 4095; two runs, so two blocks of 254 and more.
        const CSegments segments{{0x20, Bytes(300, 0x44)}, {0xF00, Bytes(256, 0x99)}};
        WriteHex(dir.Path("image.hex"), segments);
        window.m_boxes.m_paths.push_back(dir.Path("image.hex"));
        Click(FindControl<QPushButton>(window.m_pDlg.get(), IDC_BROWSE));
        QVERIFY(window.m_pDlg->m_pHexFile != nullptr);
        CBoardFaults faults = c.faults;
        if (c.nSilentInVerify >= 0) {
            // Bytes to the board: the boot so far, 'F' 'X', 4 blocks of 5 + data, 'B', then 'F'.
            const long long nProgram = 2 + 4 * 5 + 556 + 1 + 1;
            faults.nSilentAfterRx = window.m_nBootBytes + nProgram + c.nSilentInVerify;
        }
        window.m_board.Board().SetFaults(faults);

        QStringList fields;
        int nFlashBar = -1, nVerifyBar = -1;
        bool bVerifyBarEnabled = true;
        WhenModalOpens([&](QWidget* pModal) {
            auto* pFlash = dynamic_cast<CFlashItDlg*>(pModal);
            if (pFlash == nullptr)
                return;
            fields << Control<QLineEdit>(pFlash, IDC_FLASHIT_START)->text()
                   << Control<QLineEdit>(pFlash, IDC_FLASHIT_END)->text();
            if (c.bVerify)
                Click(FindControl<QCheckBox>(pFlash, IDC_VERIFY));
            Click(FindControl<QPushButton>(pFlash, IDC_FLASHIT));
            nFlashBar = Control<QProgressBar>(pFlash, IDC_PROGRESS_FLASH)->value();
            nVerifyBar = Control<QProgressBar>(pFlash, IDC_PROGRESS_VERIFY)->value();
            bVerifyBarEnabled = Control<QProgressBar>(pFlash, IDC_PROGRESS_VERIFY)->isEnabled();
        });
        window.m_boxes.m_shown.clear();
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        QCOMPARE(fields, (QStringList{"0x000020", "0x000FFF"}));
        std::vector<CShownBox> expected = c.boxes;
        if (c.bLost)
            expected.push_back(kLost);
        QVERIFY(window.m_boxes.m_shown == expected);
        QCOMPARE(window.Connected(), !c.bLost);
        QVERIFY(!bVerifyBarEnabled);
        if (!c.bLost)
            QCOMPARE(nFlashBar, 100);
        if (c.nVerifyBar == 100 || !c.bVerify)
            QCOMPARE(nVerifyBar, c.nVerifyBar);
        if (c.bFlashEqualsImage) {
            const std::vector<uint8_t> flash = window.m_board.Board().GetFlash();
            for (const auto& segment : segments)
                QVERIFY(
                    std::equal(segment.second.begin(), segment.second.end(), flash.begin() + segment.first));
        }
        if (c.bLost) {
            const std::vector<std::string> log = window.NewLog();
            const std::string strError =
                c.nSilentInVerify >= 0 ? "Error connection lost" : "Error during flash process";
            QVERIFY(std::find(log.begin(), log.end(), strError) != log.end());
            return;
        }
        // The link is still in step with the flasher program.
        window.m_boxes.m_shown.clear();
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_INFO));
        QVERIFY(window.m_boxes.m_shown ==
                Shown({{CUiBoard::InfoText("main.h86"), "Info", EBoxIcon::Information}}));
    }

    void FlashItWithoutImageOrClosedByEscape()
    {
        CConnectedWindow window;
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
        QVERIFY(window.m_boxes.m_shown ==
                Shown({{"Please select a valid hex file", "Error", EBoxIcon::Warning}}));
        QVERIFY(window.m_board.ToBoard().empty());

        window.m_boxes.m_paths.push_back(window.m_board.Dir().Path("sample.hex"));
        Click(FindControl<QPushButton>(window.m_pDlg.get(), IDC_BROWSE));
        window.m_boxes.m_shown.clear();
        WhenModalOpens([](QWidget* pModal) { QTest::keyClick(pModal, Qt::Key_Escape); });
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
        QVERIFY(window.m_boxes.m_shown.empty());
        QVERIFY(window.Connected());
        QVERIFY(window.m_board.ToBoard().empty());
    }

    // The operator's whole job: connect, erase the chip, flash and verify the sample image.
    void WholeJob()
    {
        CConnectedWindow window(CUiBoard::kSectorCount);
        WhenModalOpens([](QWidget* pModal) {
            Click(FindControl<QPushButton>(pModal, IDC_ERASE_CHIP));
            Click(FindControl<QPushButton>(pModal, IDOK));
        });
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_DELETE_SECTORS));
        QVERIFY(window.m_board.Board().GetFlash() ==
                std::vector<uint8_t>(CUiBoard::kSectorCount * kSectorSize, 0xFF));

        const std::string strSample = KELVORA_SOURCE_DIR "/targets/sample.hex";
        window.m_boxes.m_paths.push_back(strSample);
        Click(FindControl<QPushButton>(window.m_pDlg.get(), IDC_BROWSE));
        WhenModalOpens([](QWidget* pModal) {
            Click(FindControl<QCheckBox>(pModal, IDC_VERIFY));
            Click(FindControl<QPushButton>(pModal, IDC_FLASHIT));
        });
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
        QVERIFY(window.m_boxes.m_shown ==
                Shown({{"Hexfile flashed and verified successfully", "Info", EBoxIcon::Information}}));

        std::vector<uint8_t> expected(CUiBoard::kSectorCount * kSectorSize, 0xFF);
        for (const CTargetFiles::CChunk& chunk : CTargetFiles::BuildSampleImage())
            std::copy(chunk.vecData.begin(), chunk.vecData.end(), expected.begin() + chunk.dwAddress);
        QVERIFY(window.m_board.Board().GetFlash() == expected);
        QVERIFY(window.Connected());
    }
};

KELVORA_UI_TEST(DialogsTest);

#include "dialogs_test.moc"
