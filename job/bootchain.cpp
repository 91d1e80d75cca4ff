#include "job/bootchain.h"

#include <fstream>

#include "hex/hexfile.h"
#include "job/adapteradvice.h"
#include "job/boardfacts.h"
#include "job/jobsink.h"
#include "job/jobtexts.h"
#include "link/progresssink.h"
#include "link/targetlink.h"

namespace
{
constexpr int kTestBytes = 255;      // the connection test echoes 0x00..0xFE
constexpr int kMarkBslLoaded = 20;   // the loader chain's bar after the bootstrap code
constexpr int kMarkFirstLoaderLoaded =
    50;   // ... after the first stage loader; the flasher program's reports go on from here

// The failing step's closing line: the early steps say "Port", the later ones "port".
constexpr const char* kClosedEarly = "Serial Port closed";

// The link's failure, a loader file named by its role in the chain as the log names the steps.
CLinkFailure DescribeFailure(const CTargetLink& link, const CBootSettings& settings)
{
    CLinkFailure failure{link.GetErrorText(), link.GetFailedOn(), link.GetSystemError(),
                         link.GetSystemErrorText()};
    const std::pair<const std::string*, const char*> kRoles[] = {
        {&settings.strBslFile, "bootstrap loader "},
        {&settings.strFirstLoaderFile, "second stage "},
        {&settings.strFlasherFile, "flasher program "}};
    for (const auto& role : kRoles) {
        const std::string strPath = LoaderPath(settings.strLoaderDir, *role.first);
        if (failure.strFailedOn.compare(0, strPath.size(), strPath) == 0 &&
            (failure.strFailedOn.size() == strPath.size() || failure.strFailedOn[strPath.size()] == ':')) {
            failure.strFailedOn = role.second + failure.strFailedOn;
            break;
        }
    }
    return failure;
}

int Fail(CTargetLink& link, const CBootSettings& settings, CJobSink& sink, const char* pszClosedLine)
{
    link.Close();
    sink.FailLink(DescribeFailure(link, settings));
    sink.Log(pszClosedLine);
    return -1;
}

// A slow adapter is said once, with what it costs and the remedy; a lowered one in detail.
void ReportLatencyTimer(const CTargetLink& link, const CBootSettings& settings, CJobSink& sink)
{
    const CLatencyTimer& timer = link.GetLatencyTimer();
    const std::string strLowered = FormatLatencyLowered(timer);
    if (!strLowered.empty())
        sink.Detail(strLowered);
    const std::string strAdvice = FormatLatencyAdvice(timer, EstimateEchoedBytes(settings.job));
    if (!strAdvice.empty())
        sink.Log(strAdvice);
}

// The chain's first step: the port opened, the loader files checked and loaded.
int InitLink(CTargetLink& link, const CBootSettings& settings)
{
    return link.Init(settings.strPort.c_str(), settings.nBaudRate,
                     LoaderPath(settings.strLoaderDir, settings.strBslFile).c_str(),
                     LoaderPath(settings.strLoaderDir, settings.strFirstLoaderFile).c_str(),
                     LoaderPath(settings.strLoaderDir, settings.strFlasherFile).c_str());
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

int CheckBootInputs(const CBootSettings& settings, CJobSink& sink)
{
    CTargetLink link;
    const int nResult = InitLink(link, settings);
    link.Close();
    if (nResult == 0)
        return 0;
    sink.FailLink(DescribeFailure(link, settings));
    sink.Error(kTextCannotConnect);
    return -1;
}

std::string FindMissingLoaderFile(const CBootSettings& settings)
{
    for (const std::string* pstrFile :
         {&settings.strBslFile, &settings.strFirstLoaderFile, &settings.strFlasherFile})
        if (!std::ifstream(LoaderPath(settings.strLoaderDir, *pstrFile)).is_open())
            return *pstrFile;
    return std::string();
}

int RunBootChain(CTargetLink& link, const CBootSettings& settings, CJobSink& sink)
{
    sink.Log(kTextTryingToConnect);
    sink.Detail("Port " + settings.strPort + " at " + std::to_string(settings.nBaudRate) +
                " bit/s, flasher program " + LoaderPath(settings.strLoaderDir, settings.strFlasherFile));
    if (InitLink(link, settings) != 0)
        return Fail(link, settings, sink, kClosedEarly);
    link.SetPipelineDepth(settings.nPipelineDepth);
    if (settings.nPipelineDepth > 1)
        sink.Detail("Pipelined: up to " + std::to_string(settings.nPipelineDepth) +
                    " bytes ahead of their echoes");
    sink.CheckPoint();
    sink.Log("Serial port opened");
    ReportLatencyTimer(link, settings, sink);
    const int nCpuId = link.Connect();
    if (nCpuId == -1) {
        Fail(link, settings, sink, kClosedEarly);
        sink.Advise("The board did not answer on " + settings.strPort + " at " +
                    std::to_string(settings.nBaudRate) +
                    " bit/s: reset it just before connecting, check its power and the cable, that this is "
                    "its port, and try a lower speed");
        return -1;
    }
    sink.Log("Connected to target " + settings.strBoardName);
    sink.Log(FormatCpuIdLine(nCpuId));
    sink.CheckPoint();

    sink.Log("Sending bootstraploader");
    if (link.SendBsl() != 0)
        return Fail(link, settings, sink, kClosedEarly);
    sink.Log("BSL loaded");
    sink.SetMark(EJobBar::Load, kMarkBslLoaded);

    sink.Log("Sending second stage BSL");
    sink.CheckPoint();
    if (link.SendFirstLoader() != 0)
        return Fail(link, settings, sink, kTextSerialPortClosed);
    sink.Log("Second stage BSL loaded");
    sink.SetMark(EJobBar::Load, kMarkFirstLoaderLoaded);

    sink.Log("Sending flasher program");
    const CJobStep flasher{"Flasher program", "sending the flasher program", EJobBar::Load,
                           link.GetFlasherByteCount(), kMarkFirstLoaderLoaded};
    if (RunStep(sink, flasher,
                [&link](CProgressSink* pProgress) { return link.SendSecondLoader(pProgress); }) != 0)
        return Fail(link, settings, sink, kTextSerialPortClosed);
    sink.Log("Flasher program loaded");
    sink.SetMark(EJobBar::Load, 100);

    sink.Log("Testing connection");
    const CJobStep test{"Connection test", "testing the connection", EJobBar::Test, kTestBytes, 0};
    if (RunStep(sink, test, [&link](CProgressSink* pProgress) { return link.TestConnection(pProgress); }) !=
        0) {
        Fail(link, settings, sink, kTextSerialPortClosed);
        if (settings.nPipelineDepth > 1)
            sink.Advise(
                "The board did not keep up with bytes sent ahead of their echoes: run without --pipeline, "
                "or with a smaller depth");
        return -1;
    }
    const double dRoundTripMs = link.GetRoundTripMs();
    sink.Log("Connection tested");
    const int nDepth = GetDepthForRoundTrip(dRoundTripMs, settings.nBaudRate, settings.nPipelineDepth);
    if (settings.bDepthFromLine && settings.nPipelineDepth > 1 && nDepth > settings.nPipelineDepth) {
        link.SetPipelineDepth(nDepth);
        sink.Detail("Pipelined: up to " + std::to_string(nDepth) +
                    " bytes ahead of their echoes, to cover the line's round trip");
    }
    const int nUsedDepth = link.GetPipelineDepth();
    sink.Measured(
        FormatRoundTrip(dRoundTripMs, nUsedDepth,
                        EstimateJobSeconds(settings.job, dRoundTripMs, nUsedDepth, settings.nBaudRate)));
    sink.SetMark(EJobBar::Test, 100);
    return 0;
}
