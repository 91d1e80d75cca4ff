// main of every window test program: runs its one test class (KELVORA_UI_TEST), on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "tests/ui/uitestsupport.h"

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QTemporaryDir settingsDir;
    KeepSettingsIn(settingsDir.path());
    const std::unique_ptr<QObject> pTest(MakeUiTest());
    return QTest::qExec(pTest.get(), argc, argv);
}
