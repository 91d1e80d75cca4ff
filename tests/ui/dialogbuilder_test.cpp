// The dialog layer and the window's plain rules: dialog units to pixels, the Port list's names,
// its order and lookup, the texts of a connection attempt, the progress bar's range.
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "res/resource.h"
#include "res/templates.h"
#include "tests/ui/uitestsupport.h"
#include "ui/barprogress.h"
#include "ui/dialogbuilder.h"
#include "ui/mainwindowtext.h"
#include "ui/portlist.h"

Q_DECLARE_METATYPE(std::string)

namespace
{
SerialPortInfo Port(const std::string& strFriendly, const std::string& strPath = "")
{
    SerialPortInfo info;
    info.m_strFriendlyName = strFriendly;
    info.m_strDevicePath = strPath.empty() ? "/dev/" + strFriendly : strPath;
    return info;
}

QStringList ToQt(const std::vector<std::string>& texts)
{
    QStringList list;
    for (const std::string& str : texts)
        list << QString::fromStdString(str);
    return list;
}
}   // namespace

class DialogLayerTest : public QObject
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

    void CutsPortNames_data()
    {
        QTest::addColumn<QStringList>("friendly");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("ends in (COM1)") << QStringList{"Communications Port (COM1)"} << QStringList{"COM1"};
        QTest::newRow("6 characters kept")
            << QStringList{"COM10A", "ttyS0"} << QStringList{"COM10A", "ttyS0"};
        QTest::newRow("7 without parentheses ends the list")
            << QStringList{"COM1", "COM10AB", "COM3"} << QStringList{"COM1"};
        QTest::newRow("last pair of two") << QStringList{"USB (FTDI) Port (COM7)"} << QStringList{"COM7"};
        QTest::newRow("empty pair ends the list")
            << QStringList{"COM2", "Modem ()", "COM4"} << QStringList{"COM2"};
        QTest::newRow(") before ( ends the list") << QStringList{"Port) x (COM5"} << QStringList{};
        QTest::newRow("one character inside") << QStringList{"Port (7)"} << QStringList{"7"};
        QTest::newRow("simulated board")
            << QStringList{"Simulated KC167 board (kelvora-sim-12)"} << QStringList{"kelvora-sim-12"};
    }
    void CutsPortNames()
    {
        QFETCH(QStringList, friendly);
        QFETCH(QStringList, offered);
        std::vector<SerialPortInfo> ports;
        for (const QString& str : friendly)
            ports.push_back(Port(str.toStdString()));
        const std::vector<std::string> names = MakePortNames(ports);
        QCOMPARE(ToQt(names), offered);
        // The offered names replace the friendly names, so that the lookup finds them.
        for (size_t i = 0; i < names.size(); ++i)
            QCOMPARE(FindPortPath(ports, names[i]), ports[i].m_strDevicePath);
    }

    void SortsAndLooksUpPorts()
    {
        QCOMPARE(ToQt(SortPortNames({"COM2", "com1", "COM10", "ttyS0", "Com1"})),
                 (QStringList{"com1", "Com1", "COM10", "COM2", "ttyS0"}));
        const std::vector<SerialPortInfo> ports{Port("COM1", "/dev/a"), Port("com1", "/dev/b"),
                                                Port("COM1", "/dev/c")};
        QCOMPARE(FindPortPath(ports, "COM1"), std::string("/dev/a"));   // first, case included
        QCOMPARE(FindPortPath(ports, "com1"), std::string("/dev/b"));
        QCOMPARE(FindPortPath(ports, "COM"), std::string());
        QCOMPARE(FindPortPath({}, ""), std::string());
    }

    void FormsConnectionTexts()
    {
        QCOMPARE(FormatCpuIdLine(-59), std::string("CPU returned ID: C5"));   // 0xC5 as a signed char
        QCOMPARE(FormatCpuIdLine(0x0A), std::string("CPU returned ID:  A"));
        QCOMPARE(FormatCpuIdLine(0x1FF), std::string("CPU returned ID: FF"));
        QCOMPARE(FlasherFileForChip(0, "x"), std::string("main.h86"));
        QCOMPARE(FlasherFileForChip(1, "x"), std::string("mainnex.h86"));
        QCOMPARE(FlasherFileForChip(2, "x"), std::string("mainamd.h86"));
        QCOMPARE(FlasherFileForChip(-1, "mainamd.h86"), std::string("mainamd.h86"));
        QCOMPARE(FlasherFileForChip(3, "main.h86"), std::string("main.h86"));
        QCOMPARE(LoaderPath("/work/targets", "prel1.hex"), std::string("/work/targets/prel1.hex"));
        std::string strLog;
        AppendLogLine(strLog, "a");
        AppendLogLine(strLog, "");
        QCOMPARE(strLog, std::string("a\r\n\r\n"));
    }

    void ClampsBarPositions_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("shown");
        QTest::newRow("below") << -5 << 0;
        QTest::newRow("in range") << 37 << 37;
        QTest::newRow("full") << 100 << 100;
        QTest::newRow("above") << 101 << 100;
    }
    void ClampsBarPositions()
    {
        QFETCH(int, reported);
        QFETCH(int, shown);
        QProgressBar bar;
        bar.setRange(0, 100);
        bar.setValue(50);
        int nSteps = 0;
        CBarProgress progress(&bar, [&] { ++nSteps; });
        progress.SetProgress(reported);
        QCOMPARE(bar.value(), shown);
        QCOMPARE(nSteps, 1);
    }
};

KELVORA_UI_TEST(DialogLayerTest);
#include "dialogbuilder_test.moc"
