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

namespace
{
// QtTest options followed by a value.
bool TakesValue(const QByteArray& option)
{
    static const char* const kOptions[] = {"-o",          "-maxwarnings", "-eventdelay", "-keydelay",
                                           "-mousedelay", "-maxduration", "-platform"};
    for (const char* psz : kOptions)
        if (option == psz)
            return true;
    return false;
}

// The arguments for one test class: function names it does not have are left out. Empty when
// functions were named and this class has none of them.
QStringList ArgumentsFor(const QObject& test, const QStringList& arguments)
{
    QStringList own{arguments.front()};
    bool bNamed = false;
    bool bFound = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& strArg = arguments[i];
        if (strArg.startsWith(QLatin1Char('-'))) {
            own << strArg;
            if (TakesValue(strArg.toUtf8()) && i + 1 < arguments.size())
                own << arguments[++i];
            continue;
        }
        bNamed = true;
        const QByteArray name = strArg.section(QLatin1Char(':'), 0, 0).toUtf8() + "()";
        if (test.metaObject()->indexOfMethod(name.constData()) >= 0) {
            own << strArg;
            bFound = true;
        }
    }
    return bNamed && !bFound ? QStringList() : own;
}
}   // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    int nFailed = 0;
    for (FnMakeTest pfnMake : Registry()) {
        std::unique_ptr<QObject> pTest(pfnMake());
        const QStringList own = ArgumentsFor(*pTest, arguments);
        if (!own.isEmpty())
            nFailed += QTest::qExec(pTest.get(), own);
    }
    return nFailed == 0 ? 0 : 1;
}
