// The dialog layer (dialog units to pixels, the main template, tab distances), and the hex file,
// Hexinfo, Delete sectors and Flash it dialogs through the real window, against the simulated
// board and real files: texts, boxes, the bytes on the wire, the board's flash.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <QElapsedTimer>
#include <QTimer>

#include <fstream>
#include <utility>

#include "job/boardresult.h"

#include "hex/hexdumpmodel.h"
#include "hex/hexfile.h"
#include "job/boardfacts.h"
#include "job/boardsession.h"
#include "res/resource.h"
#include "res/templates.h"
#include "sim/targetfiles.h"
#include "tests/ui/uitestsupport.h"
#include "ui/deletesectorsdlg.h"
#include "ui/dialogbuilder.h"
#include "ui/flashitdlg.h"
#include "ui/hexdumpview.h"
#include "ui/hexinfodlg.h"
#include "ui/imagefiles.h"
#include "ui/qtmessageboxes.h"
#include "ui/sectorlines.h"
#include "ui/tabstopdelegate.h"

namespace
{
using CSegments = std::vector<CSegment>;
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

// A window connected to the simulated board, its flash filled with a pattern.
class CConnectedWindow
{
public:
    // bPattern: the flash holds a pattern instead of being erased. bFast: the fast transfer is on.
    explicit CConnectedWindow(int nSectors = 4, bool bPattern = false, bool bFast = false)
    {
        if (nSectors != CUiBoard::kSectorCount)
            QVERIFY(CTargetFiles::WriteFlasher(m_board.Dir().Path("main.h86"), CUiBoard::kFlasherSize,
                                               nSectors, CUiBoard::InfoText("main.h86")) == 0);
        m_board.Board().SetEraseTimes(5, 10);
        m_pDlg = OpenMainWindow(m_boxes);
        QVERIFY(SelectPort(*m_pDlg, CUiBoard::kPortName));
        Control<QComboBox>(m_pDlg.get(), IDC_SPEED)->addItem(kFastSpeed);
        Control<QComboBox>(m_pDlg.get(), IDC_SPEED)->setCurrentText(kFastSpeed);
        if (bFast)
            for (QAction* pAction : m_pDlg->findChildren<QAction*>())
                if (pAction->text() == QLatin1String("Fast transfer (send ahead of echoes)"))
                    pAction->trigger();
        Click(Control<QPushButton>(m_pDlg.get(), IDC_CONNECT));
        QVERIFY2(Connected(), m_pDlg->m_strLog.c_str());
        if (bPattern && nSectors > 0) {
            m_pattern = Bytes(static_cast<size_t>(nSectors) * kSectorSize, 0x21);
            QVERIFY(LoadFlashBytes(m_board.Board(), m_board.Dir(), m_pattern));
        }
        m_boxes.m_shown.clear();
        m_nBootBytes = static_cast<long long>(m_board.ToBoard().size());
        m_board.Board().ClearWireLog();
        m_nLogLines = LogLines(*m_pDlg).size();
    }

    bool Connected() const
    {
        return Control<QPushButton>(m_pDlg.get(), IDC_DISCONNECT)->isEnabled() &&
               m_pDlg->m_pSession != nullptr;
    }
    // Log lines since the connection was made.
    std::vector<std::string> NewLog() const
    {
        const std::vector<std::string> lines = LogLines(*m_pDlg);
        return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(m_nLogLines),
                                        lines.end());
    }

    CUiBoard m_board;
    CRecordingBoxes m_boxes;
    std::unique_ptr<CKelvoraDlg> m_pDlg;
    std::vector<uint8_t> m_pattern;
    size_t m_nLogLines = 0;
    long long m_nBootBytes = 0;   // received by the board since its reset, up to the connection
};

const CShownBox kLost{"Lost connection to target", "Error", EBoxIcon::Warning};

using Boxes = std::vector<CShownBox>;
using Lines = std::vector<std::string>;
using Ints = std::vector<int>;
using Wire = std::vector<uint8_t>;
constexpr uint8_t D = 0x44, C = 0x43;   // the sector and chip erase commands
const std::string kSectorError = "Error deleting sector";

struct CSectorCase
{
    const char* pszName;
    int nSectors;
    Ints clickLines;   // list lines clicked, in order (0 is the header)
    int nButton;       // clicked after them (0 for none), before the dialog is closed
    int nEraseFails;   // the board answers 'E' to erases: 0 never, 1 until the first box, 2 always
    bool bEscape;      // the dialog, when still open after the action, is closed by Escape, not OK
    Ints deleted;      // the sectors the list shows deleted, and the flash shows erased, after it
    Wire wire;         // the bytes sent for the action
    Lines boxes;       // texts of the dialog's boxes ("ERROR", warning)
    bool bLost;        // the window reports a lost connection
};

const CSectorCase kSectorCases[] = {
    {"0 sectors", 0, Ints{}, 0, 0, false, Ints{}, Wire{}, Lines{}, false},
    {"127 sectors", 127, Ints{}, 0, 0, false, Ints{}, Wire{}, Lines{}, false},
    {"a count of -1 ends at once", 255, Ints{}, 0, 0, false, Ints{}, Wire{}, Lines{}, true},
    {"sectors 1 and 3, header and a line clicked twice unselected", 4, Ints{0, 2, 1, 4, 1},
     IDC_DELETE_SELECTED, 0, false, Ints{1, 3}, Wire{D, D, 1, D, D, 3}, Lines{}, false},
    {"a failing sector does not stop the loop", 4, Ints{1, 3}, IDC_DELETE_SELECTED, 1, false, Ints{2},
     Wire{D, D, 0, D, D, 2}, Lines{kSectorError}, true},
    {"every selected sector fails", 4, Ints{1, 3}, IDC_DELETE_SELECTED, 2, false, Ints{},
     Wire{D, D, 0, D, D, 2}, Lines{kSectorError, kSectorError}, true},
    {"erase chip", 4, Ints{}, IDC_ERASE_CHIP, 0, false, Ints{0, 1, 2, 3}, Wire{D, C}, Lines{}, false},
    {"erase chip fails", 4, Ints{}, IDC_ERASE_CHIP, 2, false, Ints{}, Wire{D, C},
     Lines{"Error cannot delete flash chip"}, true},
    {"Escape after erasing keeps the link", 4, Ints{3}, IDC_DELETE_SELECTED, 0, true, Ints{2}, Wire{D, D, 2},
     Lines{}, false},
};

const CShownBox kFlashed{"Hexfile flashed successfully", "Info", EBoxIcon::Information};
const CShownBox kVerified{"Hexfile flashed and verified successfully", "Info", EBoxIcon::Information};

struct CFlashCase
{
    const char* pszName;
    bool bVerify;
    CBoardFaults faults;
    long long nSilentInVerify;   // the board falls silent this many bytes into the read-back; -1 never
    Boxes boxes;                 // the dialog's boxes
    bool bLost;
    bool bFlashEqualsImage;
    int nVerifyBar;
};

const CFlashCase kFlashCases[] = {
    {"without verify", false, CBoardFaults(), -1, Boxes{kFlashed}, false, true, 0},
    {"with verify", true, CBoardFaults(), -1, Boxes{kVerified}, false, true, 100},
    {"flash failure", true, Fault(&CBoardFaults::nWrongChecksumBlock, 1), -1,
     Boxes{{"Flash failed", "ERROR", EBoxIcon::Warning}}, true, false, 0},
    // 0x31 holds 0x44 + 17 * 13 + 0 = 0x21 in the image (Bytes(…, 0x44) from 0x20).
    {"verify failure keeps the link", true, Fault(&CBoardFaults::nFlipReadAddress, 0x31), -1,
     Boxes{
         {"Verify failed\nFirst difference at 0x000031: image 0x21, board 0xDE", "ERROR", EBoxIcon::Warning}},
     false, true, 0},
    {"a broken read-back is a lost link", true, CBoardFaults(), 6,
     Boxes{{"Verify failed", "ERROR", EBoxIcon::Warning}}, true, true, 0},
};

struct CHexStep
{
    enum EKind
    {
        Browse,
        Drop,   // dropped on the window
        Cancel,
        Reload,
        Rewrite,   // the file on disk gets other contents
    } eKind;
    const char* pszFile = nullptr;       // in the test folder
    const char* pszContents = nullptr;   // Rewrite
};
using Steps = std::vector<CHexStep>;

// Hex file texts, and the Hexinfo lines of the valid ones.
const char* const kEofOnly = ":00000001FF\r\n";
const char* const kLowerCase = ":0100000041be\r\n:00000001FF\r\n";
const char* const kFourBytes = ":0400100001020304E2\r\n:00000001FF\r\n";   // 16..19
const char* const kOtherBytes = ":02002000AABB79\r\n:00000001FF\r\n";      // 32..33
const QStringList kFourBytesDump{"Address \t\t: Data", "0x000010 \t: 0x01", "0x000011 \t: 0x02",
                                 "0x000012 \t: 0x03", "0x000013 \t: 0x04"};
const QStringList kOtherBytesDump{"Address \t\t: Data", "0x000020 \t: 0xAA", "0x000021 \t: 0xBB"};

struct CHexCase
{
    const char* pszName;
    Steps steps;
    Boxes boxes;     // "%s" stands for the full path of the last file named
    Lines logTail;   // the last lines of the log, "%s" as above
    bool bProperties, bReload;
    std::string strField;   // file shown in the Filename field ("" for none)
    QStringList dump;       // what Properties shows; empty when no image is held
};

using S = CHexStep;
const std::string kLoaded = "%s successfully loaded";
const std::string kNotLoaded = "%s cannot be loaded into memory";
const CShownBox kNotValid{"bad.hex is not a valid intel hex file", "Error", EBoxIcon::None};

// A valid file alone is the first step of the cancelled and the reload rows, an invalid one
// that of the row after a valid one.
const CHexCase kHexCases[] = {
    {"valid but empty", Steps{{S::Browse, "empty.hex"}}, Boxes{},
     Lines{"Loading hexfile...please wait", kNotLoaded}, false, false, "empty.hex", QStringList()},
    {"empty after valid keeps Reload", Steps{{S::Browse, "good.hex"}, {S::Browse, "empty.hex"}}, Boxes{},
     Lines{"Loading hexfile...please wait", kNotLoaded}, false, true, "empty.hex", QStringList()},
    {"not valid after valid", Steps{{S::Browse, "good.hex"}, {S::Browse, "bad.hex"}}, Boxes{kNotValid},
     Lines{"Verifying hexfile...please wait", kNotValid.strText}, false, false, "good.hex", QStringList()},
    {"valid, then cancelled", Steps{{S::Browse, "good.hex"}, {S::Cancel}}, Boxes{},
     Lines{"Loading hexfile...please wait", kLoaded}, true, true, "good.hex", kFourBytesDump},
    {"reload of a file gone bad",
     Steps{{S::Browse, "good.hex"}, {S::Rewrite, "good.hex", kLowerCase}, {S::Reload}},
     Boxes{{"%s is not a valid intel hex file", "Error", EBoxIcon::None}},
     Lines{"Verifying hexfile...please wait", "%s is not a valid intel hex file"}, false, false, "good.hex",
     QStringList()},
    {"dropped", Steps{{S::Drop, "good.hex"}}, Boxes{}, Lines{"Loading hexfile...please wait", kLoaded}, true,
     true, "good.hex", kFourBytesDump},
    {"dropped, not valid after valid", Steps{{S::Drop, "good.hex"}, {S::Drop, "bad.hex"}}, Boxes{kNotValid},
     Lines{"Verifying hexfile...please wait", kNotValid.strText}, false, false, "good.hex", QStringList()},
    {"reload of a rebuilt file",
     Steps{{S::Browse, "good.hex"}, {S::Rewrite, "good.hex", kOtherBytes}, {S::Reload}}, Boxes{},
     Lines{"Loading hexfile...please wait", kLoaded}, true, true, "good.hex", kOtherBytesDump},
};
}   // namespace

Q_DECLARE_METATYPE(CSegments)

class DialogsTest : public QObject
{
    Q_OBJECT

private slots:
    // Base units 6 x 13: x and width * 6 / 4, y and height * 13 / 8, rounded to the nearest pixel.
    void MapsDialogUnits_data()
    {
        QTest::addColumn<QRect>("units");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("Exit button") << QRect(255, 150, 60, 15) << QRect(383, 244, 90, 24);
        QTest::newRow("upper bar") << QRect(150, 100, 160, 6) << QRect(225, 163, 240, 10);
        QTest::newRow("rounds half up") << QRect(1, 1, 3, 5) << QRect(2, 2, 5, 8);
        QTest::newRow("main window") << QRect(0, 0, 320, 271) << QRect(0, 0, 480, 440);
    }
    void MapsDialogUnits()
    {
        QFETCH(QRect, units);
        QFETCH(QRect, pixels);
        QCOMPARE(CDialogBuilder::MapDialogRect(units, {6, 13}), pixels);
    }

    // Built with the dialog font's own base units: size, a control's place, names, states, title.
    void BuildsTheMainTemplate()
    {
        QDialog dlg;
        CDialogBuilder::Build(KelvoraDialogTemplate(), &dlg);
        const CDialogBaseUnits units = CDialogBuilder::MeasureBaseUnits(dlg.font());
        QVERIFY(units.nCharWidth > 0 && units.nCharHeight > 0);
        QCOMPARE(dlg.size(), CDialogBuilder::MapDialogRect(QRect(0, 0, 320, 271), units).size());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Kelvora"));
        auto* pExit = FindControl<QPushButton>(&dlg, IDC_EXIT);
        QVERIFY(pExit != nullptr);
        QCOMPARE(pExit->text(), QStringLiteral("&Exit"));
        QCOMPARE(pExit->geometry(), CDialogBuilder::MapDialogRect(QRect(255, 150, 60, 15), units));
        QVERIFY(!FindControl<QPushButton>(&dlg, IDC_DISCONNECT)->isEnabled());
        QCOMPARE(FindControl<QProgressBar>(&dlg, IDC_PROGRESS_LOAD)->maximum(), 100);
        QVERIFY(FindControl<QPushButton>(&dlg, IDC_PORT) == nullptr);   // a list, not a button
        QVERIFY(!FindControl<QPushButton>(&dlg, IDC_BROWSE)->icon().isNull());
    }

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
        WriteHexFile(dir.Path("image.hex"), segments);
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

    // OK is the default button; a click on it and Return close the dialog.
    void HexInfoClosesWithOk_data()
    {
        QTest::addColumn<bool>("byReturn");
        QTest::newRow("OK clicked") << false;
        QTest::newRow("Return in the dump") << true;
    }
    void HexInfoClosesWithOk()
    {
        QFETCH(bool, byReturn);
        CTempDir dir("kelvora-hexinfo");
        WriteText(dir.Path("image.hex"), kFourBytes);
        CHexFile image(dir.Path("image.hex").c_str());
        QVERIFY(image.Verify() == 0 && image.Load() == 0);
        CHexInfoDlg dlg(nullptr, &image);
        dlg.show();
        QPushButton* pOk = Control<QPushButton>(&dlg, IDOK);
        QVERIFY(pOk->isDefault());
        if (byReturn) {
            dlg.DumpView()->setFocus();
            QTest::keyClick(dlg.DumpView(), Qt::Key_Return);
        } else {
            Click(pOk);
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    // Only one local .hex or .h86 file is taken from a drop.
    void TakesOnlyImagesFromADrop_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("taken");
        const QUrl hex = QUrl::fromLocalFile(QStringLiteral("/tmp/a.hex"));
        QTest::newRow(".hex") << QList<QUrl>{hex} << QStringLiteral("/tmp/a.hex");
        QTest::newRow(".H86") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/b.H86"))}
                              << QStringLiteral("/tmp/b.H86");
        QTest::newRow("a text file") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a.txt"))}
                                     << QString();
        QTest::newRow("two images") << QList<QUrl>{hex, hex} << QString();
        QTest::newRow("not a local file")
            << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.hex"))} << QString();
    }
    void TakesOnlyImagesFromADrop()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, taken);
        QMimeData mime;
        mime.setUrls(urls);
        QCOMPARE(DroppedImagePath(mime), taken.toStdString());
    }

    // Qt's own file dialog shows the hex filter as one, and a size just under 1024 KiB whole also
    // in a large font.
    void FileDialogShowsWholeSizes()
    {
        CTempDir dir("kelvora-filedialog");
        WriteText(dir.Path("big.hex"), std::string(1048000, ':'));
        struct CLargeFont
        {
            const QFont oldFont = QApplication::font();
            CLargeFont() { QApplication::setFont(QFont(oldFont.family(), 16)); }
            ~CLargeFont() { QApplication::setFont(oldFont); }
        } largeFont;
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(QString::fromStdString(dir.Path()));
        dialog.setViewMode(QFileDialog::Detail);
        PrepareFileDialog(dialog, HexFileDialogSpec());
        dialog.show();
        QCOMPARE(dialog.nameFilters().front(), QStringLiteral("Intel Hex File (*.hex *.h86)"));
        auto* pDetails = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        auto* pModel = dialog.findChild<QFileSystemModel*>();
        QModelIndex size;
        QTRY_VERIFY((size = pModel->index(QString::fromStdString(dir.Path("big.hex")), 1)).isValid() &&
                    pDetails->visualRect(size).isValid());
        const QString strSize = size.data().toString();
        const int nMargins =
            2 * (pDetails->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, pDetails) + 1);
        QTRY_COMPARE_GE(pDetails->header()->sectionSize(1),
                        pDetails->fontMetrics().horizontalAdvance(strSize) + nMargins);
    }

    void HexFileSelection_data() { AddRows(kHexCases); }
    void HexFileSelection()
    {
        QFETCH(int, row);
        const CHexCase& c = kHexCases[row];
        CTempDir dir("kelvora-hexsel");
        WriteText(dir.Path("good.hex"), kFourBytes);
        WriteText(dir.Path("bad.hex"), kLowerCase);
        WriteText(dir.Path("empty.hex"), kEofOnly);
        CRecordingBoxes boxes;
        std::unique_ptr<CKelvoraDlg> pDlg = OpenMainWindow(boxes);
        std::string strLast;
        for (const CHexStep& step : c.steps) {
            if (step.pszFile != nullptr)
                strLast = dir.Path(step.pszFile);
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
            case CHexStep::Drop: {
                QMimeData mime;
                mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(strLast))});
                QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(pDlg.get(), &enter);
                QVERIFY(enter.isAccepted());
                QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(pDlg.get(), &drop);
                break;
            }
            case CHexStep::Rewrite:
                WriteText(strLast, step.pszContents);
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
        QCOMPARE(pDlg->m_pHexFile != nullptr, !c.dump.isEmpty());
        const std::string strField = c.strField.empty() ? std::string() : dir.Path(c.strField);
        QCOMPARE(Control<QLineEdit>(pDlg.get(), IDC_FILENAME)->text().toStdString(), strField);
        QCOMPARE(pDlg->m_strFileName, strField);

        for (const CFileDialogSpec& fileDialog : boxes.m_fileDialogs) {
            QCOMPARE(fileDialog.strFilters, std::string("Intel Hex File (*.hex *.h86);;All Files (*.*) (*)"));
            QCOMPARE(fileDialog.strDefaultSuffix, std::string("hex"));
            QCOMPARE(fileDialog.strInitialName, std::string("*.hex; *.h86"));
            QVERIFY(fileDialog.bMustExist);
        }
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
            QCOMPARE(lines, c.dump);
        }
    }

    void DeleteSectors_data() { AddRows(kSectorCases); }
    void DeleteSectors()
    {
        QFETCH(int, row);
        const CSectorCase& c = kSectorCases[row];
        CConnectedWindow window(c.nSectors, true);
        window.m_board.Board().SetFaults(Fault(&CBoardFaults::bEraseStatusE, c.nEraseFails > 0));
        if (c.nEraseFails == 1)
            window.m_boxes.m_fnOnShow = [&window](const CShownBox&) { window.m_board.Board().SetFaults({}); };

        QStringList linesBefore, linesAfter;
        std::vector<uint8_t> wire;
        int nTabPixels = 0, nListWidth = 0;
        QFont listFont;
        WhenModalOpens([&](QWidget* pModal) {
            auto* pSectors = dynamic_cast<CDeleteSectorsDlg*>(pModal);
            if (pSectors == nullptr)
                return;
            QListWidget* pList = FindControl<QListWidget>(pSectors, IDC_SECTOR_LIST);
            linesBefore = ListLines(pList);
            nTabPixels = pSectors->TabStops()->TabDistance();
            nListWidth = pList->viewport()->width();
            listFont = pList->font();
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
            if (c.nButton != 0)
                Click(Control<QPushButton>(pSectors, c.nButton));
            wire = window.m_board.ToBoard();
            linesAfter = ListLines(pList);
            if (pSectors->isVisible()) {
                if (c.bEscape)
                    QTest::keyClick(pSectors, Qt::Key_Escape);
                else
                    Click(FindControl<QPushButton>(pSectors, IDOK));
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
            QVERIFY(linesBefore.isEmpty());   // never opened
            return;
        }
        QCOMPARE(linesBefore, SectorLines(c.nSectors, {}));
        QCOMPARE(linesAfter, SectorLines(c.nSectors, c.deleted));
        QCOMPARE(wire, c.wire);
        // The others still hold the pattern.
        QCOMPARE(ErasedSectors(window.m_board.Board().GetFlash(), window.m_pattern), c.deleted);
        // The columns line up and stay in sight: the first holds the widest sector name, the
        // second the widest range, and the status ends inside the list.
        const QFontMetrics metrics(listFont);
        QCOMPARE_GT(nTabPixels, metrics.horizontalAdvance("Sector #126"));
        QCOMPARE_GT(nTabPixels, metrics.horizontalAdvance("0x3F0000 - 0x3F7FFF"));
        QCOMPARE_LT(2 * nTabPixels + metrics.horizontalAdvance("deleted"), nListWidth);
    }

    void FlashIt_data() { AddRows(kFlashCases); }
    void FlashIt()
    {
        QFETCH(int, row);
        const CFlashCase& c = kFlashCases[row];
        CConnectedWindow window;
        CTempDir dir("kelvora-flashit");
        // First item at 32, last at 4095; two runs, so two blocks of 254 and more.
        const CSegments segments{{0x20, Bytes(300, 0x44)}, {0xF00, Bytes(256, 0x99)}};
        WriteHexFile(dir.Path("image.hex"), segments);
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
        QCOMPARE(window.m_boxes.m_shown,
                 (Boxes{{CUiBoard::InfoText("main.h86"), "Info", EBoxIcon::Information}}));
    }

    void FlashItWithoutImageOrClosedByEscape()
    {
        CConnectedWindow window;
        Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
        QCOMPARE(window.m_boxes.m_shown,
                 (Boxes{{"Please select a valid hex file", "Error", EBoxIcon::Warning}}));
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

    // The operator's whole job: connect, erase the chip, flash and verify 64 KiB, in lock-step and
    // with the fast transfer. Both send the same bytes; the fast one logs one line more, after
    // "Connection tested". The window's events go on all along, and each operation is recorded.
    void WholeJob()
    {
        CTempDir dir("kelvora-whole");
        const std::vector<uint8_t> image = Bytes(0x10000, 0x5A);
        WriteHexFile(dir.Path("image.hex"), {{0, image}});
        std::vector<uint8_t> wire[2];
        std::vector<std::string> log[2];
        for (bool bFast : {false, true}) {
            CConnectedWindow window(CUiBoard::kSectorCount, false, bFast);
            // From the attempt on: the lines before it name each board's own folder.
            const std::vector<std::string> lines = LogLines(*window.m_pDlg);
            log[bFast].assign(std::find(lines.begin(), lines.end(), "Trying to connect"), lines.end());
            window.m_pDlg->m_strRecordFile = dir.Path(bFast ? "fast.jsonl" : "lockstep.jsonl");
            WhenModalOpens([](QWidget* pModal) {
                Click(FindControl<QPushButton>(pModal, IDC_ERASE_CHIP));
                Click(FindControl<QPushButton>(pModal, IDOK));
            });
            Click(Control<QPushButton>(window.m_pDlg.get(), IDC_DELETE_SECTORS));

            window.m_boxes.m_paths.push_back(dir.Path("image.hex"));
            Click(FindControl<QPushButton>(window.m_pDlg.get(), IDC_BROWSE));
            window.m_boxes.m_shown.clear();
            QElapsedTimer sinceTurn;
            qint64 nLongestMs = 0;
            QTimer turns;
            connect(&turns, &QTimer::timeout,
                    [&] { nLongestMs = std::max(nLongestMs, sinceTurn.restart()); });
            WhenModalOpens([&](QWidget* pModal) {
                Click(FindControl<QCheckBox>(pModal, IDC_VERIFY));
                sinceTurn.start();
                turns.start(10);
                Click(FindControl<QPushButton>(pModal, IDC_FLASHIT));
                turns.stop();
            });
            Click(Control<QPushButton>(window.m_pDlg.get(), IDC_FLASH));
            QCOMPARE(window.m_boxes.m_shown, Boxes{kVerified});
            QVERIFY2(nLongestMs < 100, std::to_string(nLongestMs).c_str());
            QVERIFY(std::equal(image.begin(), image.end(), window.m_board.Board().GetFlash().begin()));
            wire[bFast] = window.m_board.ToBoard();

            std::ifstream records(dir.Path(bFast ? "fast.jsonl" : "lockstep.jsonl"));
            std::string strErase, strFlash, strMore;
            std::getline(records, strErase);
            std::getline(records, strFlash);
            QVERIFY(!std::getline(records, strMore));
            QVERIFY2(strErase.find("\"operation\":\"erase\"") != std::string::npos &&
                         strErase.find(
                             "\"sectors_erased\":[0,1,2,3,4,5,6,7],\"verified\":false,\"result\":\"ok\"") !=
                             std::string::npos,
                     strErase.c_str());
            QVERIFY2(strFlash.find("\"operation\":\"flash\"") != std::string::npos &&
                         strFlash.find("\"image\":" + JsonString(dir.Path("image.hex"))) !=
                             std::string::npos &&
                         strFlash.find("\"verified\":true,\"result\":\"ok\",\"error\":\"\"") !=
                             std::string::npos &&
                         strFlash.find("\"bytes\":65536") != std::string::npos,
                     strFlash.c_str());
        }
        QVERIFY(wire[0] == wire[1]);
        QCOMPARE(log[1].size(), log[0].size() + 1);
        const auto itTested = std::find(log[1].begin(), log[1].end(), "Connection tested");
        QVERIFY(itTested != log[1].end() && itTested + 1 != log[1].end());
        const std::string strAdded = itTested[1];
        // No image was chosen at the connection: no time for it.
        QVERIFY2(strAdded.rfind("Line round trip ", 0) == 0 &&
                     strAdded.find(" bytes sent ahead") != std::string::npos,
                 strAdded.c_str());
        log[1].erase(itTested + 1);
        QCOMPARE(log[1], log[0]);
    }
};

KELVORA_UI_TEST(DialogsTest);

#include "dialogs_test.moc"
