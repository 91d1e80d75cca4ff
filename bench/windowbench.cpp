// The window with the fast transfer on, against kelvora-cli's way through the same session: 4 KiB
// programmed and verified through a simulated USB adapter with a 16 ms latency timer, the line
// paced at 57600 bit/s. Figures are the line's limit over the measured time (sending ahead, the
// busier direction bounds it), medians of three rounds. Targets: the window's flash and verify
// within 30 s, and within 10 % of the command line's figures.
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen build/release/bench/windowbench
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "hex/hexfile.h"
#include "job/boardsession.h"
#include "job/jobsink.h"
#include "res/resource.h"
#include "sim/boardsim.h"
#include "sim/targetfiles.h"
#include "support/boardfiles.h"
#include "support/tempdir.h"
#include "ui/dialogbuilder.h"
#include "ui/flashitdlg.h"
#include "ui/kelvoradlg.h"
#include "ui/messagebox.h"

namespace
{
constexpr int kBaudRate = 57600;
constexpr int kLatencyMs = 16;
constexpr int kImageBytes = 4096;
constexpr int kRounds = 3;
constexpr int kBlock = 254;
constexpr double kByteTime = 10.0 / kBaudRate;

// Sending ahead, the busier direction of the line bounds a step: the line's limit in seconds.
double ProgramLimit()
{
    const int nBlocks = (kImageBytes + kBlock - 1) / kBlock;
    return (2 + nBlocks * 5 + kImageBytes + 1 + nBlocks) * kByteTime;   // echoes and a checksum per block
}
double VerifyLimit()
{
    return (1 + kImageBytes / 2 * 6 + 1) * kByteTime;   // echoes and two answers per pair
}

double Median(std::vector<double> vecValues)
{
    std::sort(vecValues.begin(), vecValues.end());
    return vecValues[vecValues.size() / 2];
}

// Boxes answered at once: the image to open, OK to everything else.
class CBenchBoxes : public CMessageBoxes
{
public:
    void ShowMessage(QWidget*, const std::string& strText, const std::string&, EBoxIcon) override
    {
        m_strLast = strText;
    }
    bool ChooseOpenFile(QWidget*, const CFileDialogSpec&, std::string* pstrPath) override
    {
        *pstrPath = m_strImage;
        return true;
    }
    bool AskYesNo(QWidget*, const std::string&, const std::string&) override { return false; }
    bool ChooseFolder(QWidget*, const std::string&, const std::string&, std::string*) override
    {
        return false;
    }

    std::string m_strImage;
    std::string m_strLast;
};

CBoardSim* StartBoard(CBoardSim& board)
{
    board.SetBaudRate(kBaudRate);
    board.SetAdapterLatency(kLatencyMs);
    board.SetEraseTimes(10, 10);
    board.SetWireLogEnabled(false);
    return board.Start() == 0 ? &board : nullptr;
}

// Runs fnAct on the Flash it dialog once it is open.
void WhenFlashItOpens(const std::function<void(CFlashItDlg*)>& fnAct)
{
    QTimer::singleShot(0, [fnAct] {
        auto* pDlg = dynamic_cast<CFlashItDlg*>(QApplication::activeModalWidget());
        if (pDlg == nullptr)
            return WhenFlashItOpens(fnAct);
        fnAct(pDlg);
    });
}

// The window: fast transfer on, image chosen, connected; each round flashes and verifies it.
int WindowRounds(const CTempDir& dir, const std::string& strImage, std::vector<double>& vecProgram,
                 std::vector<double>& vecVerify, std::vector<double>& vecTotal)
{
    CBoardSim board;
    if (StartBoard(board) == nullptr)
        return -1;
    CBenchBoxes boxes;
    boxes.m_strImage = strImage;
    CKelvoraDlg dlg(&boxes, [&board](std::vector<SerialPortInfo>& ports) {
        SerialPortInfo port;
        port.m_strFriendlyName = "sim";
        port.m_strDevicePath = board.GetDevicePath();
        ports.push_back(port);
    });
    dlg.show();
    for (QAction* pAction : dlg.findChildren<QAction*>())
        if (pAction->text() == QLatin1String("Fast transfer (send ahead of echoes)") && !pAction->isChecked())
            pAction->trigger();
    FindControl<QPushButton>(&dlg, IDC_BROWSE)->click();
    FindControl<QPushButton>(&dlg, IDC_CONNECT)->click();
    if (!FindControl<QPushButton>(&dlg, IDC_DISCONNECT)->isEnabled()) {
        std::printf("window: cannot connect\n%s", dlg.m_strLog.c_str());
        return -1;
    }
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        std::chrono::steady_clock::time_point tpStart, tpProgrammed;
        WhenFlashItOpens([&](CFlashItDlg* pFlash) {
            FindControl<QCheckBox>(pFlash, IDC_VERIFY)->setChecked(true);
            QObject::connect(FindControl<QProgressBar>(pFlash, IDC_PROGRESS_FLASH),
                             &QProgressBar::valueChanged, [&](int nValue) {
                                 if (nValue == 100)
                                     tpProgrammed = std::chrono::steady_clock::now();
                             });
            tpStart = std::chrono::steady_clock::now();
            FindControl<QPushButton>(pFlash, IDC_FLASHIT)->click();
        });
        FindControl<QPushButton>(&dlg, IDC_FLASH)->click();
        const auto tpEnd = std::chrono::steady_clock::now();
        if (boxes.m_strLast != "Hexfile flashed and verified successfully") {
            std::printf("window: %s\n%s", boxes.m_strLast.c_str(), dlg.m_strLog.c_str());
            return -1;
        }
        const double dProgram = std::chrono::duration<double>(tpProgrammed - tpStart).count();
        const double dVerify = std::chrono::duration<double>(tpEnd - tpProgrammed).count();
        vecProgram.push_back(ProgramLimit() / dProgram);
        vecVerify.push_back(VerifyLimit() / dVerify);
        vecTotal.push_back(dProgram + dVerify);
    }
    std::printf("window's log after the connection test: %s\n",
                dlg.m_strLog.substr(dlg.m_strLog.find("Connection tested")).substr(0, 120).c_str());
    (void)dir;
    return 0;
}

// What kelvora-cli --pipeline does on its board: the same session, connected and used the same way.
int CliRounds(const CTempDir& dir, const CHexFile& image, std::vector<double>& vecProgram,
              std::vector<double>& vecVerify)
{
    CBoardSim board;
    if (StartBoard(board) == nullptr)
        return -1;
    CLineSink sink;
    CBoardSession session(sink);
    CBootSettings settings;
    settings.strPort = board.GetDevicePath();
    settings.nBaudRate = kBaudRate;
    settings.strLoaderDir = dir.Path();
    settings.nPipelineDepth = kDefaultPipelineDepth;
    settings.bDepthFromLine = true;
    if (session.Connect(settings) != ESessionOutcome::Done) {
        std::printf("kelvora-cli's way: cannot connect: %s\n", session.GetErrorText().c_str());
        return -1;
    }
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        const auto tpStart = std::chrono::steady_clock::now();
        if (session.Program(image) != ESessionOutcome::Done)
            return -1;
        const double dProgram = SecondsSince(tpStart);
        const auto tpVerify = std::chrono::steady_clock::now();
        if (session.Verify(image) != ESessionOutcome::Done)
            return -1;
        vecProgram.push_back(ProgramLimit() / dProgram);
        vecVerify.push_back(VerifyLimit() / SecondsSince(tpVerify));
    }
    return 0;
}
}   // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CTempDir dir("kelvora-windowbench");
    // The window's settings in a folder of the bench's own, the loader files in its working folder.
    QCoreApplication::setOrganizationName(QStringLiteral("kelvora-bench"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir.Path()));
    if (CTargetFiles::WriteStandardSet(dir.Path()) != 0)
        return 1;
    QDir::setCurrent(QString::fromStdString(dir.Path()));
    const std::string strImage = dir.Path("image.hex");
    WriteHexFile(strImage, {{0, Pattern(kImageBytes, 3)}});
    CHexFile image(strImage.c_str());
    if (image.Verify() != 0 || image.Load() != 0)
        return 1;

    std::vector<double> vecWindowProgram, vecWindowVerify, vecWindowTotal, vecCliProgram, vecCliVerify;
    if (WindowRounds(dir, strImage, vecWindowProgram, vecWindowVerify, vecWindowTotal) != 0 ||
        CliRounds(dir, image, vecCliProgram, vecCliVerify) != 0)
        return 1;
    const double dWindowProgram = Median(vecWindowProgram);
    const double dWindowVerify = Median(vecWindowVerify);
    const double dCliProgram = Median(vecCliProgram);
    const double dCliVerify = Median(vecCliVerify);
    const double dTotal = Median(vecWindowTotal);
    std::printf("%d bytes, %d bit/s, ratio = the line's limit / measured, median of %d rounds\n", kImageBytes,
                kBaudRate, kRounds);
    std::printf("kelvora-cli, adapter %d ms, pipelined: program %.2f, verify %.2f\n", kLatencyMs, dCliProgram,
                dCliVerify);
    std::printf("window, adapter %d ms, pipelined: program %.2f, verify %.2f\n", kLatencyMs, dWindowProgram,
                dWindowVerify);
    const bool bClose = dWindowProgram >= 0.9 * dCliProgram && dWindowVerify >= 0.9 * dCliVerify;
    std::printf("window: flash and verify %.1f s (target at most 30 s) %s; within 10 %% of kelvora-cli %s\n",
                dTotal, dTotal <= 30 ? "ok" : "MISSED", bClose ? "ok" : "MISSED");
    return 0;
}
