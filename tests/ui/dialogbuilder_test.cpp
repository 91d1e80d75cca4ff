// The dialog layer: dialog units to pixels, the main template built into widgets.
#include <QDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "res/resource.h"
#include "res/templates.h"
#include "tests/ui/uitestsupport.h"
#include "ui/dialogbuilder.h"

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
};

KELVORA_UI_TEST(DialogLayerTest);
#include "dialogbuilder_test.moc"
