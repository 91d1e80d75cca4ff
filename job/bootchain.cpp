#include "job/bootchain.h"

#include <chrono>
#include <fstream>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/boardfacts.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "serial/rs232port.h"

namespace
{
constexpr int kTestBytes = 255;      // the connection test echoes 0x00..0xFE
constexpr int kMarkBslLoaded = 20;   // the loader chain's bar after the bootstrap code
constexpr int kMarkFirstLoaderLoaded =
    50;   // ... after the first stage loader; the flasher program's reports go on from here

// The failing step's closing line: the early steps say "Port", the later ones "port".
constexpr const char* kClosedEarly = "Serial Port closed";

int Fail(CTargetLink& link, CJobSink& sink, const char* pszClosedLine)
{
    link.Close();
    sink.FailLink(link);
    sink.Log(pszClosedLine);
    return -1;
}

// A slow adapter is said once, with what it costs and the remedy; a lowered one in detail.
void ReportLatencyTimer(const CTargetLink& link, const CBootSettings& settings, CJobSink& sink)
{
    const CLatencyTimer& timer = link.m_pPort->GetLatencyTimer();
    const std::string strLowered = FormatLatencyLowered(timer);
    if (!strLowered.empty())
        sink.Detail(strLowered);
    const std::string strAdvice = FormatLatencyAdvice(timer, settings.nJobEchoedBytes);
    if (!strAdvice.empty())
        sink.Log(strAdvice);
}

// A step that reports progress: its bar is set full once the link operation succeeded.
template <class FnOperation>
int RunStep(CJobSink& sink, const CJobStep& step, FnOperation fnOperation)
{
    CJobStepScope scope(sink, step);
    if (fnOperation(scope.Progress()) != 0)
        return -1;
    if (scope.Progress() != nullptr)
        scope.Progress()->SetProgress(100);
    return 0;
}
}   // namespace

std::string FindMissingLoaderFile(const CBootSettings& settings)
{
    for (const std::string* pstrFile :
         {&settings.strBslFile, &settings.strFirstLoaderFile, &settings.strFlasherFile})
        if (!std::ifstream(LoaderPath(settings.strLoaderDir, *pstrFile)).is_open())
            return *pstrFile;
    return std::string();
}

int RunBootChain(CTargetLink& link, const CBootSettings& settings, CJobSink& sink, double* pdRoundTripMs)
{
    sink.Log(kTextTryingToConnect);
    const std::string strBsl = LoaderPath(settings.strLoaderDir, settings.strBslFile);
    const std::string strFirst = LoaderPath(settings.strLoaderDir, settings.strFirstLoaderFile);
    const std::string strSecond = LoaderPath(settings.strLoaderDir, settings.strFlasherFile);
    sink.Detail("Port " + settings.strPort + " at " + std::to_string(settings.nBaudRate) +
                " bit/s, flasher program " + strSecond);
    if (link.Init(settings.strPort.c_str(), settings.nBaudRate, strBsl.c_str(), strFirst.c_str(),
                  strSecond.c_str()) != 0)
        return Fail(link, sink, kClosedEarly);
    link.SetPipelineDepth(settings.nPipelineDepth);
    if (settings.nPipelineDepth > 1)
        sink.Detail("Pipelined: up to " + std::to_string(settings.nPipelineDepth) +
                    " bytes ahead of their echoes");
    sink.CheckPoint();
    sink.Log("Serial port opened");
    ReportLatencyTimer(link, settings, sink);
    const int nCpuId = link.Connect();
    if (nCpuId == -1)
        return Fail(link, sink, kClosedEarly);
    sink.Log("Connected to target " + settings.strBoardName);
    sink.Log(FormatCpuIdLine(nCpuId));
    sink.CheckPoint();

    sink.Log("Sending bootstraploader");
    if (link.SendBsl() != 0)
        return Fail(link, sink, kClosedEarly);
    sink.Log("BSL loaded");
    sink.SetMark(EJobBar::Load, kMarkBslLoaded);

    sink.Log("Sending second stage BSL");
    sink.CheckPoint();
    if (link.SendFirstLoader() != 0)
        return Fail(link, sink, kTextSerialPortClosed);
    sink.Log("Second stage BSL loaded");
    sink.SetMark(EJobBar::Load, kMarkFirstLoaderLoaded);

    sink.Log("Sending flasher program");
    const CJobStep flasher{"Flasher program", "sending the flasher program", EJobBar::Load,
                           link.m_pSecondLoader->m_nByteCount, kMarkFirstLoaderLoaded};
    if (RunStep(sink, flasher,
                [&link](CProgressSink* pProgress) { return link.SendSecondLoader(pProgress); }) != 0)
        return Fail(link, sink, kTextSerialPortClosed);
    sink.Log("Flasher program loaded");
    sink.SetMark(EJobBar::Load, 100);

    sink.Log("Testing connection");
    const CJobStep test{"Connection test", "testing the connection", EJobBar::Test, kTestBytes, 0};
    const auto tpTest = std::chrono::steady_clock::now();
    if (RunStep(sink, test, [&link](CProgressSink* pProgress) { return link.TestConnection(pProgress); }) !=
        0)
        return Fail(link, sink, kTextSerialPortClosed);
    // The flasher program's ID and the echoes, each a round trip.
    const double dRoundTripMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tpTest).count() /
        (kTestBytes + 1);
    sink.Log("Connection tested");
    sink.Detail(FormatRoundTrip(dRoundTripMs, settings.nJobEchoedBytes));
    if (pdRoundTripMs != nullptr)
        *pdRoundTripMs = dRoundTripMs;
    sink.SetMark(EJobBar::Test, 100);
    return 0;
}
