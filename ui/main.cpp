// kelvora: the window that flashes a C167 board over RS-232.
// Usage: kelvora [IMAGE]   (IMAGE: an Intel hex file, chosen at start as through the folder button)
#include "ui/kelvoraapp.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace
{
// Answers --help and --version, which need no display, before the window's application exists.
void AnswerHelpAndVersion(int& argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION_TEXT));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The window that flashes program images into a C167 board (Phytec KC167CR) over RS-232:\n"
        "choose the port, speed, board and flash chip, connect and reset the board when asked, then\n"
        "erase sectors or the chip, program an Intel hex image and verify it. It looks for prel1.hex,\n"
        "prel2.hex and the flasher program in the folder it was started in, else in the loader folder\n"
        "chosen at an earlier Connect. Every step is one line in its log view. kelvora-cli does the\n"
        "same from the command line."));
    parser.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QStringLiteral("Intel hex file to open the window with, chosen for programming."),
        QStringLiteral("[IMAGE]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    // Other options are the window's own and Qt's (-platform, -style ...): left to them.
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")) || parser.isSet(version))
        parser.process(app);   // prints what was asked for and ends the program
}
}   // namespace

int main(int argc, char** argv)
{
    AnswerHelpAndVersion(argc, argv);
    CKelvoraApp app(argc, argv);
    app.InitInstance();
    return 0;
}
