// main of every window test program: runs each registered test class, on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

#include "tests/ui/uitestsupport.h"

namespace
{
std::vector<FnMakeTest>& Registry()
{
    static std::vector<FnMakeTest> makers;
    return makers;
}
}   // namespace

int RegisterUiTest(FnMakeTest pfnMake)
{
    Registry().push_back(pfnMake);
    return static_cast<int>(Registry().size());
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int nFailed = 0;
    for (FnMakeTest pfnMake : Registry()) {
        std::unique_ptr<QObject> pTest(pfnMake());
        nFailed += QTest::qExec(pTest.get(), argc, argv);
    }
    return nFailed == 0 ? 0 : 1;
}
