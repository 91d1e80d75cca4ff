// Programming and verifying over the simulated board at 57600 bit/s, through USB serial adapters
// of 0 (none), 1 and 16 ms latency, lock-step and pipelined as `--pipeline` runs it (16 bytes
// ahead, more where the connection test's round trip needs it): six cases, on one board booted
// through each adapter. Each case times 'F' 'X' blocks 'B' (program) and 'F' read-backs 'B' (verify) and sets
// them against the line's limit, from the bytes the board's wire log saw each way in that step:
// - lock-step limit: (bytes to the board + bytes from it) byte times; every byte waits for its
//   echo, so the line carries one byte at a time, never both directions at once;
// - pipelined limit: the busier direction's bytes back to back, max(to, from) byte times; the
//   line is full duplex and nothing need wait for an echo.
// One byte time is 10 bits at 57600 bit/s, with no latency: the best any transfer of those bytes
// could do on that line. Ratio = limit / measured, per round; a case is the median of its rounds
// (at least three), printed with their spread (lowest - highest). Slow cases run a short image of
// whole blocks and scale the times to 64 KiB by the limits' ratio (said in their line).
// Targets: pipelined at 16 ms program >= 0.6 and verify >= 0.9; pipelined at 1 ms both >= 0.9;
// lock-step at 0 ms is shown with its spread and what bounds it, not held to a number.
// Unpaced: received bytes per second through the link against a direct poll/read loop on a
// pseudo-terminal in the same run.
// Usage: flashbench [--unpaced-only] [--bytes N] [--quick]
//   --bytes N caps every image at N bytes (the unpaced one is N, else 64 KiB alone, 16 KiB after
//   the paced cases); --quick: small images, one round (a check that it runs, no figures).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
constexpr int kFullImage = 0x10000;
constexpr int kMaxBlock = 254;
constexpr int kFastestRate = 4000000;
constexpr int kPipelineDepth = 16;   // --pipeline without N, before the connection test
constexpr int kPipelined = -1;       // a case's depth: what the boot chose for its line
constexpr double kByteTime = 10.0 / kBaudRate;
constexpr double kBoardByteTime = 20e-6;   // the simulated flasher program's time per byte, its default

// An image file of nBytes from address 0; the last record may be short.
std::string WriteImage(const CTempDir& dir, int nBytes)
{
    const std::string strPath = dir.Path("image" + std::to_string(nBytes) + ".hex");
    FILE* pFile = std::fopen(strPath.c_str(), "w");
    for (int nAddress = 0; nAddress < nBytes; nAddress += 16) {
        const int nLength = std::min(16, nBytes - nAddress);
        unsigned nSum = nLength + (nAddress >> 8 & 0xFF) + (nAddress & 0xFF);
        std::fprintf(pFile, ":%02X%04X00", nLength, nAddress & 0xFFFF);
        for (int i = 0; i < nLength; ++i) {
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

// Bytes on the line in one step, each way.
struct CTraffic
{
    long nToBoard = 0;
    long nFromBoard = 0;

    double LimitSeconds(bool bPipelined) const
    {
        return (bPipelined ? std::max(nToBoard, nFromBoard) : nToBoard + nFromBoard) * kByteTime;
    }
};

// What a contiguous image of n bytes exchanges; every byte sent comes back as an echo. Only used
// to scale a short image's times to 64 KiB and to check the wire log's counts.
void ExpectedTraffic(int nBytes, CTraffic& program, CTraffic& verify)
{
    const long nBlocks = (nBytes + kMaxBlock - 1) / kMaxBlock;
    const long nPairs = (nBytes + 1) / 2;
    program.nToBoard = 2 + nBlocks * 5 + nBytes + 1;   // 'F' 'X', headers, data, 'B'
    program.nFromBoard = program.nToBoard + nBlocks;   // echoes and a checksum per block
    verify.nToBoard = 1 + nPairs * 4 + 1;              // 'F', 'V' and an address per pair, 'B'
    verify.nFromBoard = 1 + nPairs * 6 + 1;            // echoes and two answers per pair
}

CTraffic CountTraffic(const CBoardSim& board)
{
    CTraffic traffic;
    for (const CWireByte& wire : board.GetWireLog())
        ++(wire.bToBoard ? traffic.nToBoard : traffic.nFromBoard);
    return traffic;
}

// The median of values, and their spread.
struct CFigure
{
    std::vector<double> vecValues;

    double Median() const
    {
        std::vector<double> vecSorted(vecValues);
        std::sort(vecSorted.begin(), vecSorted.end());
        return vecSorted[vecSorted.size() / 2];
    }
    double Lowest() const { return *std::min_element(vecValues.begin(), vecValues.end()); }
    double Highest() const { return *std::max_element(vecValues.begin(), vecValues.end()); }
    // "0.71 (0.69 - 0.72)"
    std::string Text() const
    {
        char sz[64];
        std::snprintf(sz, sizeof sz, "%.2f (%.2f - %.2f)", Median(), Lowest(), Highest());
        return sz;
    }
};

struct CCase
{
    int nLatencyMs;
    int nDepth;   // 0 lock-step, kPipelined
    int nBytes;   // image size; below 64 KiB the times are scaled
    int nRounds;
};

struct CCaseResult
{
    CFigure program;   // ratios of the rounds
    CFigure verify;
    double dProgram = -1;   // seconds of the median round, as measured
    double dVerify = -1;
    int nDepth = 0;   // bytes ahead of their echoes
};

// What a case is held to: the ratio each median must reach; 0 none.
struct CTarget
{
    double dProgram;
    double dVerify;
};

CTarget GetTarget(const CCase& c)
{
    if (c.nDepth != 0 && c.nLatencyMs == 16)
        return {0.6, 0.9};
    if (c.nDepth != 0 && c.nLatencyMs == 1)
        return {0.9, 0.9};
    return {0, 0};
}

// The boot chain on the board with the AMD flasher program, pipelined to nDepth and deeper where
// its line needs; says why when it fails. 0 / -1.
int BootBoard(CBoardSession& session, const CBoardSim& board, const CTempDir& dir, int nRate, int nDepth = 0)
{
    CBootSettings settings;
    settings.nPipelineDepth = nDepth;
    settings.bDepthFromLine = true;
    settings.strPort = board.GetDevicePath();
    settings.nBaudRate = nRate;
    settings.strLoaderDir = dir.Path();
    settings.strFlasherFile = FindFlashChip("AMD")->pszFlasherFile;
    if (session.Connect(settings) == ESessionOutcome::Done)
        return 0;
    std::printf("boot failed: %s\n", session.GetErrorText().c_str());
    return -1;
}

// The image programmed on the booted board, timed. 0 / -1 (said).
int ProgramTimed(CBoardSession& session, const CHexFile& image, double& dSeconds)
{
    const auto tpStart = std::chrono::steady_clock::now();
    if (session.Program(image) != ESessionOutcome::Done) {
        std::printf("program failed: %s\n", session.GetErrorText().c_str());
        return -1;
    }
    dSeconds = SecondsSince(tpStart);
    return 0;
}

// The image read back and compared on the booted board, timed. 0 / -1 (said).
int VerifyTimed(CBoardSession& session, const CHexFile& image, double& dSeconds)
{
    const auto tpStart = std::chrono::steady_clock::now();
    if (session.Verify(image) != ESessionOutcome::Done) {
        std::printf("verify failed: %s\n", session.GetErrorText().c_str());
        return -1;
    }
    dSeconds = SecondsSince(tpStart);
    return 0;
}

int EraseChip(CBoardSession& session)
{
    if (session.EraseChip() == ESessionOutcome::Done)
        return 0;
    std::printf("erase failed: %s\n", session.GetErrorText().c_str());
    return -1;
}

class CBench
{
public:
    explicit CBench(const CTempDir& dir) : m_dir(dir) {}

    // Booted through the adapter, pipelined as --pipeline does it: the depth its line needs.
    int Boot(int nLatencyMs)
    {
        m_board.SetBaudRate(kBaudRate);
        m_board.SetEraseTimes(10, 10);
        m_board.SetAdapterLatency(nLatencyMs);
        if (m_board.Start() != 0)
            return -1;
        if (BootBoard(m_session, m_board, m_dir, kBaudRate, kPipelineDepth) != 0)
            return -1;
        m_nLineDepth = m_session.GetPipelineDepth();
        std::printf("adapter %d ms: round trip %.2f ms per byte, pipelined %d bytes ahead; pty delay towards "
                    "the board, not charged to the PC: %.1f us\n",
                    nLatencyMs, m_session.GetRoundTripMs(), m_nLineDepth,
                    m_board.GetInboundLatencyNs() / 1000.0);
        return 0;
    }

    double GetRoundTripMs() const { return m_session.GetRoundTripMs(); }

    int Run(const CCase& c, CCaseResult& result)
    {
        CHexFile image(WriteImage(m_dir, c.nBytes).c_str());
        if (image.Verify() != 0 || image.Load() != 0)
            return -1;
        result.nDepth = c.nDepth == kPipelined ? m_nLineDepth : c.nDepth;
        m_session.SetPipelineDepth(result.nDepth);
        const bool bPipelined = result.nDepth > 1;
        const int nOverruns = m_board.GetOverrunCount();
        CTraffic program;
        CTraffic verify;
        for (int nRound = 0; nRound < c.nRounds; ++nRound) {
            double dProgram = 0;
            double dVerify = 0;
            if (EraseChip(m_session) != 0)
                return -1;
            m_board.ClearWireLog();
            if (ProgramTimed(m_session, image, dProgram) != 0)
                return -1;
            program = CountTraffic(m_board);
            m_board.ClearWireLog();
            if (VerifyTimed(m_session, image, dVerify) != 0)
                return -1;
            verify = CountTraffic(m_board);
            result.program.vecValues.push_back(program.LimitSeconds(bPipelined) / dProgram);
            result.verify.vecValues.push_back(verify.LimitSeconds(bPipelined) / dVerify);
        }
        if (m_board.GetOverrunCount() != nOverruns)
            std::printf("  (the board lost %d bytes to overruns)\n", m_board.GetOverrunCount() - nOverruns);
        CTraffic expectedProgram;
        CTraffic expectedVerify;
        ExpectedTraffic(c.nBytes, expectedProgram, expectedVerify);
        if (program.nToBoard != expectedProgram.nToBoard ||
            program.nFromBoard != expectedProgram.nFromBoard || verify.nToBoard != expectedVerify.nToBoard ||
            verify.nFromBoard != expectedVerify.nFromBoard)
            std::printf("  (wire log: program %ld/%ld, verify %ld/%ld bytes to/from the board, not as "
                        "expected)\n",
                        program.nToBoard, program.nFromBoard, verify.nToBoard, verify.nFromBoard);
        // Every round moves the same bytes: the median ratio is the median time's.
        result.dProgram = program.LimitSeconds(bPipelined) / result.program.Median();
        result.dVerify = verify.LimitSeconds(bPipelined) / result.verify.Median();
        return 0;
    }

private:
    const CTempDir& m_dir;
    CBoardSim m_board;
    CLineSink m_sink;
    CBoardSession m_session{m_sink};
    int m_nLineDepth = 0;
};

std::string CaseName(const CCase& c)
{
    std::string strName = "adapter " + std::to_string(c.nLatencyMs) + " ms, ";
    if (c.nDepth == 0)
        return strName + "lock-step";
    return strName + "pipelined";
}

// The case's target, or what it is shown for.
std::string TargetText(const CCase& c)
{
    const CTarget target = GetTarget(c);
    char sz[96];
    if (target.dProgram > 0) {
        std::snprintf(sz, sizeof sz, "target: program >= %.2f, verify >= %.2f", target.dProgram,
                      target.dVerify);
        return sz;
    }
    if (c.nDepth == 0)
        return c.nLatencyMs == 0 ? "no target: bounded by the board, see below" : "no target: the baseline";
    return "target: not slower than lock-step";
}

// "met", "MISSED", or "" for a case without a number to reach.
const char* Verdict(const CCase& c, const CCaseResult& r)
{
    const CTarget target = GetTarget(c);
    if (target.dProgram <= 0)
        return "";
    return r.program.Median() >= target.dProgram && r.verify.Median() >= target.dVerify ? "met" : "MISSED";
}

void PrintCase(const CCase& c, const CCaseResult& r, bool bPipelined)
{
    CTraffic fullProgram;
    CTraffic fullVerify;
    ExpectedTraffic(kFullImage, fullProgram, fullVerify);
    // Scaled through the limit: a short image's ratio stands for the whole one's.
    const double dProgram64 = fullProgram.LimitSeconds(bPipelined) / r.program.Median();
    const double dVerify64 = fullVerify.LimitSeconds(bPipelined) / r.verify.Median();
    std::printf("%s (%s)", CaseName(c).c_str(), TargetText(c).c_str());
    if (bPipelined)
        std::printf(", %d bytes ahead", r.nDepth);
    std::printf("\n");
    if (c.nBytes == kFullImage)
        std::printf("  64 KiB, median of %d: ", c.nRounds);
    else
        std::printf("  %d B, median of %d, scaled to 64 KiB: ", c.nBytes, c.nRounds);
    std::printf("program %.1f s (limit %.1f s), verify %.1f s (limit %.1f s)\n", dProgram64,
                fullProgram.LimitSeconds(bPipelined), dVerify64, fullVerify.LimitSeconds(bPipelined));
    const char* pszVerdict = Verdict(c, r);
    std::printf("  ratio (lowest - highest): program %s, verify %s%s%s\n", r.program.Text().c_str(),
                r.verify.Text().c_str(), *pszVerdict ? ": " : "", pszVerdict);
}

// What bounds the cases beside the line: the board's own time per byte in lock-step, the threads'
// wake-ups (what is left of a lock-step echo at 0 ms: the reader thread's and the simulator's, as
// the caller's own, kept awake in a trial, gave nothing), and the wait for each block's checksum.
void PrintBounds(const CCase& lockStep, const CCaseResult& r, double dBoardByteTime, double dRoundTrip16)
{
    const double dExchange = 2 * kByteTime;   // a byte to the board and its echo
    std::printf("lock-step at 0 ms: program %s, verify %s; the board's %.0f us per byte caps it at %.3f "
                "of the line, and the wake-ups of the simulator and the link on every echo make it swing on "
                "a busy machine: shown, not held to a number; ",
                r.program.Text().c_str(), r.verify.Text().c_str(), dBoardByteTime * 1e6,
                dExchange / (dExchange + dBoardByteTime));
    CTraffic program;
    CTraffic verify;
    ExpectedTraffic(lockStep.nBytes, program, verify);
    const double dSeconds = program.LimitSeconds(false) / r.program.Median();
    const long nEchoes = program.nFromBoard;
    std::printf("the rest, %.1f us per echoed byte, is wake-ups and pty deliveries on both sides (measured "
                "%.1f us, line %.1f us, board %.1f us)\n",
                (dSeconds - program.LimitSeconds(false)) / nEchoes * 1e6 - dBoardByteTime * 1e6,
                dSeconds / nEchoes * 1e6, program.LimitSeconds(false) / nEchoes * 1e6, dBoardByteTime * 1e6);
    // Programming drains the pipe at every block's checksum, whatever the depth.
    const double dBlockLine = (5 + kMaxBlock + 1) * kByteTime;
    std::printf(
        "pipelined programming waits a round trip for each block's checksum: %.1f ms after %.1f ms of "
        "line at 16 ms caps it near %.2f, whatever the depth\n",
        dRoundTrip16 * 1000, dBlockLine * 1000, dBlockLine / (dBlockLine + dRoundTrip16));
}

int UnpacedRun(const CTempDir& dir, int nBytes)
{
    CBoardSim board;
    board.SetEraseTimes(10, 10);
    if (board.Start() != 0)
        return 1;
    CLineSink sink;
    CBoardSession link(sink);
    CHexFile image(WriteImage(dir, nBytes).c_str());
    if (image.Verify() != 0 || image.Load() != 0)
        return 1;
    // The port runs at its fastest so that only the exchanges themselves are timed.
    double dProgram = 0;
    double dVerify = 0;
    if (BootBoard(link, board, dir, kFastestRate) != 0 || EraseChip(link) != 0 ||
        ProgramTimed(link, image, dProgram) != 0 || VerifyTimed(link, image, dVerify) != 0)
        return 1;
    link.Close();

    CTraffic program;
    CTraffic verify;
    ExpectedTraffic(nBytes, program, verify);
    const int nDirect = 20000;
    const double dDirectRate = nDirect / DirectEchoSeconds(nDirect);
    const double dProgramRate = program.nFromBoard / dProgram;
    const double dVerifyRate = verify.nFromBoard / dVerify;
    std::printf("unpaced, %d bytes: program %.2f s (%.0f exchanges/s), verify %.2f s (%.0f exchanges/s)\n",
                nBytes, dProgram, dProgramRate, dVerify, dVerifyRate);
    std::printf("direct poll/read loop on a pty: %.0f exchanges/s; link/direct cost ratio: program %.2f, "
                "verify %.2f\n",
                dDirectRate, dDirectRate / dProgramRate, dDirectRate / dVerifyRate);
    return 0;
}
}   // namespace

int main(int argc, char** argv)
{
    bool bPaced = true;
    bool bQuick = false;
    int nMaxBytes = 0;   // 0: as each case has it
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unpaced-only") == 0)
            bPaced = false;
        else if (std::strcmp(argv[i], "--quick") == 0)
            bQuick = true;
        else if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc)
            nMaxBytes = std::max(2, std::min(kFullImage, std::atoi(argv[++i])) & ~1);
    }
    std::vector<std::string> vecSummary;
    CTempDir dir("kelvora-bench");
    if (CTargetFiles::WriteStandardSet(dir.Path()) != 0)
        return 1;

    if (bPaced) {
        // Sizes are whole blocks, so a short image has the per-block costs of the full one. Sized
        // so that the whole run stays within about two minutes; lock-step at 16 ms, a round trip
        // per byte, gets one block.
        const int nBlock = kMaxBlock;
        std::vector<CCase> vecCases = {{0, 0, 16 * nBlock, 3},
                                       {1, 0, 2 * nBlock, 3},
                                       {16, 0, nBlock, 3},
                                       {0, kPipelined, 16 * nBlock, 3},
                                       {1, kPipelined, 16 * nBlock, 3},
                                       {16, kPipelined, 16 * nBlock, 3}};
        for (CCase& c : vecCases) {
            if (bQuick) {
                c.nBytes = std::min(c.nBytes, c.nLatencyMs == 16 && c.nDepth == 0 ? nBlock : 4 * nBlock);
                c.nRounds = 1;
            }
            if (nMaxBytes > 0)
                c.nBytes = std::min(c.nBytes, nMaxBytes);
        }
        std::printf("%d bit/s over the simulated board; ratio = the line's limit / measured, median of the "
                    "rounds (lowest - highest)\n",
                    kBaudRate);
        std::printf("targets: pipelined at 16 ms program >= 0.60 (each block's checksum waits a round trip: "
                    "near 0.72 at any depth), verify >= 0.90; pipelined at 1 ms both >= 0.90; lock-step at "
                    "0 ms shown with its spread and what bounds it, not held to a number\n");
        // The 0 ms cases hang on the PC's wake-ups: a busy machine shows in them first.
        double dLoad = -1;
        if (FILE* pLoad = std::fopen("/proc/loadavg", "r")) {
            if (std::fscanf(pLoad, "%lf", &dLoad) != 1)
                dLoad = -1;
            std::fclose(pLoad);
        }
        if (dLoad >= 0)
            std::printf("load average over the last minute: %.2f\n", dLoad);
        std::vector<CCaseResult> vecResults(vecCases.size());
        double dRoundTrip16 = 0;
        for (int nLatencyMs : {0, 1, 16}) {
            CBench bench(dir);
            if (bench.Boot(nLatencyMs) != 0)
                return 1;
            dRoundTrip16 = bench.GetRoundTripMs() / 1000;
            for (size_t i = 0; i < vecCases.size(); ++i) {
                if (vecCases[i].nLatencyMs != nLatencyMs)
                    continue;
                std::fflush(stdout);
                if (bench.Run(vecCases[i], vecResults[i]) != 0)
                    return 1;
            }
        }
        for (size_t i = 0; i < vecCases.size(); ++i)
            PrintCase(vecCases[i], vecResults[i], vecResults[i].nDepth > 1);
        // Pipelining must never cost time where there is no latency to hide.
        const double dLockStep = vecResults[0].dProgram + vecResults[0].dVerify;
        const double dPipelined = vecResults[3].dProgram + vecResults[3].dVerify;
        std::printf("at 0 ms, pipelined against lock-step on the same image: %.2f s against %.2f s (%s)\n",
                    dPipelined, dLockStep,
                    vecCases[0].nBytes != vecCases[3].nBytes ? "different images, not compared"
                    : dPipelined <= dLockStep                ? "not slower"
                                                             : "SLOWER");
        PrintBounds(vecCases[0], vecResults[0], kBoardByteTime, dRoundTrip16);
        int nMissed = 0;
        for (size_t i = 0; i < vecCases.size(); ++i) {
            nMissed += std::strcmp(Verdict(vecCases[i], vecResults[i]), "MISSED") == 0 ? 1 : 0;
            char szLine[160];
            std::snprintf(szLine, sizeof szLine, "%s: program %.2f, verify %.2f",
                          CaseName(vecCases[i]).c_str(), vecResults[i].program.Median(),
                          vecResults[i].verify.Median());
            vecSummary.push_back(szLine);
        }
        std::printf("targets: %s\n", nMissed == 0 ? "all met" : "MISSED (see above)");
        std::printf("\n");
    }

    const int nUnpacedBytes = nMaxBytes > 0 ? nMaxBytes
                              : bQuick      ? 4 * kMaxBlock
                              : bPaced      ? 0x4000
                                            : kFullImage;
    if (UnpacedRun(dir, nUnpacedBytes) != 0)
        return 1;
    // Last, one line per case, for scripts.
    if (!vecSummary.empty())
        std::printf("\n");
    for (const std::string& strLine : vecSummary)
        std::printf("%s\n", strLine.c_str());
    return 0;
}
