// Boot time over the simulated board paced at 57600 bit/s, against the time the line itself
// needs for the same bytes (every byte ten bit times; the echo test's bytes go one after the
// other, each waiting for its echo). Target: at least 0.85 of line speed.
#include <cstdio>

#include "benchsupport.h"
#include "hex/hexfile.h"
#include "job/boardfacts.h"
#include "job/boardsession.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
#include "sim/boardsim.h"
#include "sim/targetfiles.h"
#include "support/tempdir.h"

namespace
{
constexpr int kBaudRate = 57600;
constexpr int kRuns = 3;

int ByteCount(const std::string& strPath)
{
    CHexFile file(strPath.c_str());
    return file.Verify() == 0 ? file.m_nByteCount : -1;
}
}   // namespace

int main()
{
    CTempDir dir("kelvora-bench");
    if (CTargetFiles::WriteStandardSet(dir.Path()) != 0)
        return 1;
    const int nFirst = ByteCount(dir.Path(kFirstLoaderFile));
    const int nSecond = ByteCount(dir.Path(kFlashChips[0].pszFlasherFile));   // the boot chain's default

    // 0x00 and its answer; the loaders streamed; the flasher's ID; 255 echoed test bytes.
    const long nLineBytes = 2 + 32 + nFirst + 2 + nSecond + 1 + 2 * 255;
    const double dLineSeconds = nLineBytes * 10.0 / kBaudRate;

    CBoardSim board;
    board.SetBaudRate(kBaudRate);
    if (board.Start() != 0)
        return 1;
    std::printf("boot over the simulated board at %d bit/s: first stage loader %d bytes, flasher %d bytes\n",
                kBaudRate, nFirst, nSecond);
    std::printf("line alone: %ld bytes, %.3f s\n", nLineBytes, dLineSeconds);
    std::printf("pty delay towards the board, not charged to the PC: %.1f us\n",
                board.GetInboundLatencyNs() / 1000.0);

    double dBest = 1e9;
    for (int nRun = 0; nRun < kRuns; ++nRun) {
        CLineSink sink;
        CBoardSession link(sink);
        CBootSettings settings;
        settings.strPort = board.GetDevicePath();
        settings.nBaudRate = kBaudRate;
        settings.strLoaderDir = dir.Path();
        // Opening the port and reading the loader files count too: the operator waits for them.
        const auto tpStart = std::chrono::steady_clock::now();
        const bool bOk = link.Connect(settings) == ESessionOutcome::Done;
        const double dSeconds = SecondsSince(tpStart);
        if (!bOk) {
            std::printf("boot failed: %s\n", link.GetErrorText().c_str());
            return 1;
        }
        const int nResets = board.GetResetCount();
        link.Close();
        board.WaitForResetCount(nResets + 1, 5000);
        std::printf("run %d: %.3f s, %.3f of line speed\n", nRun + 1, dSeconds, dLineSeconds / dSeconds);
        dBest = std::min(dBest, dSeconds);
    }
    std::printf("boot: best %.3f s against %.3f s on the line: ratio %.3f (target >= 0.85)\n", dBest,
                dLineSeconds, dLineSeconds / dBest);
    return 0;
}
