// Programming and verifying a 64 KiB image over the simulated board.
// Paced at 57600 bit/s: measured times against the time the line itself needs for the same
// bytes (every byte echoed), target at least 0.85 of line speed for both.
// Unpaced: received bytes per second through the link against a direct poll/read loop on a
// pseudo-terminal in the same run.
// Usage: flashbench [--unpaced-only] [--bytes N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "benchsupport.h"
#include "hex/hexfile.h"
#include "job/bootchain.h"
#include "job/jobsink.h"
#include "link/targetlink.h"
#include "sim/boardsim.h"
#include "sim/targetfiles.h"
#include "support/tempdir.h"

namespace
{
constexpr int kBaudRate = 57600;
int g_nImageSize = 0x10000;   // --bytes N for a quicker look
constexpr int kMaxBlock = 254;
constexpr int kFastestRate = 4000000;

// An image file of 64 KiB from address 0, with extended linear address records.
std::string WriteImage(const CTempDir& dir)
{
    const std::string strPath = dir.Path("image.hex");
    FILE* pFile = std::fopen(strPath.c_str(), "w");
    for (int nAddress = 0; nAddress < g_nImageSize; nAddress += 16) {
        unsigned nSum = 16 + (nAddress >> 8 & 0xFF) + (nAddress & 0xFF);
        std::fprintf(pFile, ":10%04X00", nAddress & 0xFFFF);
        for (int i = 0; i < 16; ++i) {
            const unsigned by = (nAddress + i) * 13 >> 3 & 0xFF;
            nSum += by;
            std::fprintf(pFile, "%02X", by);
        }
        std::fprintf(pFile, "%02X\n", (0x100 - (nSum & 0xFF)) & 0xFF);
    }
    std::fprintf(pFile, ":00000001FF\n");
    std::fclose(pFile);
    return strPath;
}

struct CLineFigures
{
    long nProgramByteTimes;   // byte times on the line for 'F' 'X', the blocks and 'B'
    long nVerifyByteTimes;    // byte times for 'F', the 'V' exchanges and 'B'
    long nProgramReads;       // bytes the PC receives while programming
    long nVerifyReads;
};

// What a contiguous image of n bytes costs on the line; every byte sent comes back as an echo.
CLineFigures LineFigures(int nBytes)
{
    const long nBlocks = (nBytes + kMaxBlock - 1) / kMaxBlock;
    const long nPairs = (nBytes + 1) / 2;
    CLineFigures figures;
    figures.nProgramReads = 2 + nBlocks * 5 + nBytes + nBlocks + 1;
    figures.nProgramByteTimes = 2 * (2 + nBlocks * 5 + nBytes + 1) + nBlocks;
    figures.nVerifyReads = 1 + nPairs * (4 + 2) + 1;
    figures.nVerifyByteTimes = 2 * (1 + nPairs * 4 + 1) + nPairs * 2;
    return figures;
}

struct CRun
{
    double dProgram = -1;
    double dVerify = -1;
};

CRun FlashOnce(const CTempDir& dir, int nBaudRate, const std::string& strImage)
{
    CRun run;
    CBoardSim board;
    board.SetBaudRate(nBaudRate);
    board.SetEraseTimes(10, 10);
    if (board.Start() != 0)
        return run;
    CTargetLink link;
    CHexFile image(strImage.c_str());
    if (image.Verify() != 0 || image.Load() != 0)
        return run;
    // Unpaced, the port runs at its fastest so that only the exchanges themselves are timed.
    const int nPortRate = nBaudRate != 0 ? nBaudRate : kFastestRate;
    CBootSettings settings;
    settings.strPort = board.GetDevicePath();
    settings.nBaudRate = nPortRate;
    settings.strLoaderDir = dir.Path();
    settings.strFlasherFile = "mainamd.h86";
    CLineSink sink;
    if (RunBootChain(link, settings, sink) != 0 || link.SelectEraseGroup() != 0 || link.EraseChip() != 0) {
        std::printf("boot failed: %s\n", link.GetErrorText().c_str());
        link.Close();
        return run;
    }
    if (nBaudRate != 0)
        std::printf("pty delay towards the board, not charged to the PC: %.1f us\n",
                    board.GetInboundLatencyNs() / 1000.0);
    auto tpStart = std::chrono::steady_clock::now();
    if (link.SelectFlashGroup() == 0 && link.ProgramImage(nullptr, &image) == 0)
        run.dProgram = SecondsSince(tpStart);
    tpStart = std::chrono::steady_clock::now();
    if (run.dProgram > 0 && link.SelectFlashGroup() == 0 && link.VerifyImage(nullptr, &image) == 0)
        run.dVerify = SecondsSince(tpStart);
    if (run.dVerify < 0)
        std::printf("flash failed: %s\n", link.GetErrorText().c_str());
    link.Close();
    return run;
}
}   // namespace

int main(int argc, char** argv)
{
    bool bPaced = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unpaced-only") == 0)
            bPaced = false;
        else if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc)
            g_nImageSize = std::max(2, std::min(0x10000, std::atoi(argv[++i])) & ~15);
    }
    CTempDir dir("kelvora-bench");
    if (CTargetFiles::WriteStandardSet(dir.Path()) != 0)
        return 1;
    const std::string strImage = WriteImage(dir);
    const CLineFigures line = LineFigures(g_nImageSize);
    const double dByteTime = 10.0 / kBaudRate;

    if (bPaced) {
        const CRun run = FlashOnce(dir, kBaudRate, strImage);
        if (run.dVerify < 0)
            return 1;
        const double dLineProgram = line.nProgramByteTimes * dByteTime;
        const double dLineVerify = line.nVerifyByteTimes * dByteTime;
        std::printf("%d bytes at %d bit/s over the simulated board\n", g_nImageSize, kBaudRate);
        std::printf("program: %.2f s, line alone %.2f s: ratio %.3f (target >= 0.85)\n", run.dProgram,
                    dLineProgram, dLineProgram / run.dProgram);
        std::printf("verify:  %.2f s, line alone %.2f s: ratio %.3f (target >= 0.85)\n", run.dVerify,
                    dLineVerify, dLineVerify / run.dVerify);
    }

    const CRun fast = FlashOnce(dir, 0, strImage);
    if (fast.dVerify < 0)
        return 1;
    const int nDirect = 20000;
    const double dDirect = DirectEchoSeconds(nDirect);
    const double dDirectRate = nDirect / dDirect;
    const double dProgramRate = line.nProgramReads / fast.dProgram;
    const double dVerifyRate = line.nVerifyReads / fast.dVerify;
    std::printf("unpaced: program %.2f s (%.0f exchanges/s), verify %.2f s (%.0f exchanges/s)\n",
                fast.dProgram, dProgramRate, fast.dVerify, dVerifyRate);
    std::printf("direct poll/read loop on a pty: %.0f exchanges/s; link/direct cost ratio: program %.2f, "
                "verify %.2f\n",
                dDirectRate, dDirectRate / dProgramRate, dDirectRate / dVerifyRate);
    return 0;
}
