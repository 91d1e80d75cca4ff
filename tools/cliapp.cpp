#include "tools/cliapp.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hex/hexfile.h"
#include "job/boardrecord.h"
#include "job/boardresult.h"
#include "job/boardrunner.h"
#include "job/bootchain.h"
#include "job/imagecheck.h"
#include "job/imagewriter.h"
#include "job/jobtexts.h"
#include "job/portchoice.h"
#include "job/recordfile.h"
#include "job/sha256.h"
#include "tools/clihelpers.h"
#include "tools/commandline.h"
#include "tools/console.h"
#include "tools/consolesink.h"
#include "tools/hexinfocommand.h"
#include "tools/interrupt.h"
#include "tools/portwatch.h"
#include "tools/station.h"

namespace
{
std::vector<SerialPortInfo> DiscoverPorts(CConsole& console)
{
    std::vector<SerialPortInfo> vecPorts;
    try {
        EnumerateSerialPorts(vecPorts);
    } catch (const std::string& strError) {
        console.Error("", strError);
    }
    return vecPorts;
}

// A USB adapter's identity after the description; "-" for what a port has not.
int ListPorts(CConsole& console, bool bJson)
{
    const std::vector<SerialPortInfo> vecPorts = DiscoverPorts(console);
    if (!bJson && !vecPorts.empty())
        console.Result("Name\tDevice\tUSB\tDescription\tVID\tPID\tSerial\tDriver\tBy-id");
    for (const SerialPortInfo& info : vecPorts) {
        const std::string strShown = GetPortName(info);
        const std::pair<const char*, const std::string*> identity[] = {{"vid", &info.m_strVendorId},
                                                                       {"pid", &info.m_strProductId},
                                                                       {"serial", &info.m_strSerialNumber},
                                                                       {"driver", &info.m_strDriver},
                                                                       {"by_id", &info.m_strByIdPath}};
        if (bJson) {
            std::string strLine = "{\"name\":" + JsonString(strShown) +
                                  ",\"device\":" + JsonString(info.m_strDevicePath) +
                                  ",\"usb\":" + (info.m_bUsb ? "true" : "false") +
                                  ",\"description\":" + JsonString(info.m_strDescription);
            for (const auto& [pszKey, pstrValue] : identity)
                strLine += ",\"" + std::string(pszKey) + "\":" + JsonString(*pstrValue);
            console.Result(strLine + "}");
        } else {
            std::string strLine = strShown + "\t" + info.m_strDevicePath + "\t" +
                                  (info.m_bUsb ? "yes" : "no") + "\t" + info.m_strDescription;
            for (const auto& field : identity)
                strLine += "\t" + (field.second->empty() ? "-" : *field.second);
            console.Result(strLine);
        }
    }
    if (vecPorts.empty())
        console.Log("", "No serial port found");
    return CCliApp::kExitOk;
}

// The image of flash, verify and erase --image, loaded and checked once before any board is
// touched; null with strError what failed.
std::shared_ptr<CHexFile> CheckImageFile(const CBoardRequest& request, CConsole& console,
                                         std::string& strError)
{
    const std::string& strPath = request.strImagePath;
    auto pImage = std::make_shared<CHexFile>(strPath.c_str());
    CConsoleSink sink(console, "", "");
    if (LoadJobImage(*pImage, strPath, request.bRawImage, request.dwImageStart, sink) != 0) {
        strError = sink.GetErrors();
        return nullptr;
    }
    // The chip's size is known only once connected; what no chip can take is refused now.
    if (CheckImageAgainstLine(*pImage, strError) != 0) {
        strError = strPath + ": " + strError;
        sink.Error(strError);
        return nullptr;
    }
    console.Detail("", strPath + ": " + std::to_string(pImage->m_nByteCount) + " bytes in " +
                           std::to_string(CountRuns(*pImage)) + " runs");
    return pImage;
}

// Each board's record: its JSON object with --json, its line in the --record file. 0, or -1
// when the file refused a line (said on standard error).
// A board's line in the --record file. 0, or -1 when the file refused it (said on standard error).
int RecordBoard(CConsole& console, const CBoardResult& result, CRecordFile& record)
{
    std::string strError;
    if (!record.IsOpen() || record.Append(FormatRecord(result), strError) == 0)
        return 0;
    console.Error("", "kelvora-cli: cannot record " + result.strPort + ": " + strError);
    return -1;
}

// Each board's record: its JSON object with --json, in the order of the ports.
void PrintRecords(CConsole& console, const std::vector<CBoardResult>& vecResults, bool bJson)
{
    for (const CBoardResult& result : vecResults)
        if (bJson)
            console.Result(FormatRecord(result));
}

// Which boards succeeded, when there are several, without --json.
void Report(CConsole& console, const std::vector<CBoardResult>& vecResults, bool bJson)
{
    if (bJson || vecResults.size() < 2)
        return;
    int nOk = 0;
    for (const CBoardResult& result : vecResults)
        nOk += result.bOk ? 1 : 0;
    console.Result("Summary: " + std::to_string(nOk) + " of " + std::to_string(vecResults.size()) +
                   " boards succeeded");
    for (const CBoardResult& result : vecResults) {
        char szSeconds[32];
        std::snprintf(szSeconds, sizeof szSeconds, "%.1f s", result.dSeconds);
        const char* pszResult = result.bOk ? "ok" : result.bInterrupted ? "interrupted" : "failed";
        console.Result("  " + result.strPort + "\t" + pszResult + "\t" + szSeconds +
                       (result.bOk ? std::string() : "\t" + result.strError));
    }
}

// What would fail before the board answers is found before the operator resets it: each port
// opens, the loader files load. 0 / -1.
int CheckBeforeReset(CConsole& console, const CBootSettings& boot, const std::vector<CBoardPort>& vecPorts,
                     std::string& strError)
{
    int nResult = 0;
    for (const CBoardPort& port : vecPorts) {
        CConsoleSink sink(console, vecPorts.size() > 1 ? "[" + port.strName + "] " : "", port.strDevicePath);
        CBootSettings settings = boot;
        settings.strPort = port.strDevicePath;
        if (CheckBootInputs(settings, sink) != 0 && nResult == 0) {
            strError = sink.GetErrors();
            nResult = -1;
        }
    }
    return nResult;
}

// A run that ends before any board is touched still gives every board asked for its record:
// the chosen ports, else the --port arguments, else one board without a port.
void RecordUntouched(CConsole& console, const CCliOptions& options, const CBoardRequest& request,
                     const std::vector<CBoardPort>& vecChosen, const std::string& strError, bool bInterrupted,
                     CRecordFile& record)
{
    std::vector<std::string> vecNames;
    for (const CBoardPort& port : vecChosen)
        vecNames.push_back(port.strName);
    if (vecNames.empty())
        vecNames = options.vecPorts;
    if (vecNames.empty())
        vecNames.push_back("");
    std::vector<CBoardResult> vecResults;
    for (size_t i = 0; i < vecNames.size(); ++i) {
        vecResults.push_back(MakeBoardResult(request, vecNames[i]));
        vecResults.back().strSerial = i < vecChosen.size() ? vecChosen[i].strSerial : "";
        vecResults.back().strError = strError;
        vecResults.back().bInterrupted = bInterrupted;
    }
    for (const CBoardResult& result : vecResults)
        RecordBoard(console, result, record);
    PrintRecords(console, vecResults, options.bJson);
}

// Options refused while they were read: each board asked for still gets its record, as when a run
// fails before any board, wherever the command and --json or --record could be read.
void RecordRefusedOptions(const CCliOptions& options, const std::string& strReason, FILE* pOut, FILE* pErr)
{
    if (!options.Connects() || (!options.bJson && options.strRecord.empty()))
        return;
    CConsole console(pOut, pErr, EVerbosity::Quiet, options.bJson);
    CBoardRequest request = options.GetBoardRequest();
    request.strVersion = CCommandLine::GetVersion();
    CRecordFile record;
    std::string strError;
    if (!options.strRecord.empty() && record.Open(options.strRecord, strError) != 0)
        console.Error("", "kelvora-cli " + std::string(options.GetCommandName()) + ": --record " + strError);
    RecordUntouched(console, options, request, {}, strReason, false, record);
}

FnMakeSink ConsoleSinks(CConsole& console)
{
    return [&console](const CBoardPort& port, bool bSeveral) -> std::unique_ptr<CJobSink> {
        return std::make_unique<CConsoleSink>(console, bSeveral ? "[" + port.strName + "] " : "",
                                              port.strDevicePath);
    };
}

// "please reset the board", then Enter. -1 after Ctrl-C.
int AskForReset(CConsole& console, bool bPrompt)
{
    console.Log("", kTextResetBoard);
    if (!bPrompt)
        return 0;
    console.Error("", "Reset the board, then press Enter (Ctrl-C to stop)");
    return WaitForEnter();
}
}   // namespace

int CCliApp::Run(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    CCliOptions options;
    std::string strText;
    std::string strReason;
    switch (CCommandLine::Parse(argc, argv, options, strText, strReason)) {
    case CCommandLine::kShown:
        std::fputs(strText.c_str(), pOut);
        std::fflush(pOut);
        return kExitOk;
    case CCommandLine::kUsageError:
        std::fprintf(pErr, "%s\n", strText.c_str());
        RecordRefusedOptions(options, strReason, pOut, pErr);
        return kExitUsage;
    case CCommandLine::kRun:
        break;
    }

    CConsole console(pOut, pErr,
                     options.bQuiet     ? EVerbosity::Quiet
                     : options.bVerbose ? EVerbosity::Verbose
                                        : EVerbosity::Normal,
                     options.bJson);
    if (options.eCommand == ECommand::Ports)
        return ListPorts(console, options.bJson);
    if (options.eCommand == ECommand::HexInfo)
        return CHexInfoCommand(console, options.bJson).Run(options.strFile, options.bDump);

    InstallInterruptHandler();
    IgnoreBrokenPipe();
    console.Detail("", kTextStarted);
    console.Detail("", FormatOsVersionLine());
    CBoardRequest request = options.GetBoardRequest();
    request.strVersion = CCommandLine::GetVersion();
    std::vector<CBoardPort> vecPorts;
    CRecordFile record;
    const std::string strCommand = "kelvora-cli " + std::string(options.GetCommandName()) + ": ";
    // Before any board is touched: the failure said, and recorded for every board asked for.
    const auto fnRefuse = [&](const std::string& strError, int nStatus) {
        RecordUntouched(console, options, request, vecPorts, strError, nStatus == kExitInterrupted, record);
        return nStatus;
    };
    if (!options.strRecord.empty() && record.Open(options.strRecord, strText) != 0) {
        console.Error("", strCommand + "--record " + strText);
        return fnRefuse(strText, kExitFailure);
    }
    // One image for every board of the run: the links only read it.
    std::shared_ptr<const CHexFile> pImage;
    const std::string strImage = options.GetImagePath();
    if (!strImage.empty()) {
        pImage = CheckImageFile(request, console, strText);
        if (pImage == nullptr)
            return fnRefuse(strText, kExitFailure);
        if (CSha256::HashFile(strImage, request.strImageSha256, request.nImageSize) != 0) {
            console.Error("", strImage + ": cannot be read");
            return fnRefuse(strImage + ": cannot be read", kExitFailure);
        }
    }

    const int nChoice = ChoosePorts(options.vecPorts, DiscoverPorts(console), vecPorts, strText);
    if (nChoice != 0) {
        console.Error("", strCommand + strText);
        return fnRefuse(strText, nChoice);
    }
    if (options.eCommand == ECommand::Read) {
        // Two boards must never be read into one file: the second would replace the first.
        for (size_t i = 0; i < vecPorts.size(); ++i)
            for (size_t j = i + 1; j < vecPorts.size(); ++j)
                if (GetBoardOutput(options.strOutput, vecPorts[i], vecPorts.size()) ==
                    GetBoardOutput(options.strOutput, vecPorts[j], vecPorts.size())) {
                    strText = vecPorts[i].strName + " and " + vecPorts[j].strName +
                              " would both be read into " +
                              GetBoardOutput(options.strOutput, vecPorts[i], vecPorts.size()) +
                              "; name the ports so that they differ";
                    console.Error("", strCommand + strText);
                    return fnRefuse(strText, kExitUsage);
                }
        for (const CBoardPort& port : vecPorts) {
            if (CheckWritablePath(GetBoardOutput(options.strOutput, port, vecPorts.size()), strText) != 0) {
                console.Error("", strText);
                return fnRefuse(strText, kExitFailure);
            }
        }
    }
    // Where ports cannot be watched, a station without Enter is refused before its first board.
    if (options.bRepeat && options.bNoPrompt && CPortWatch().Watch({}, strText) != 0) {
        console.Error("", strCommand + strText);
        return fnRefuse(strText, kExitUsage);
    }

    if (CheckBeforeReset(console, request.boot, vecPorts, strText) != 0)
        return fnRefuse(strText, kExitFailure);
    if (AskForReset(console, !options.bNoPrompt) != 0) {
        console.Error("", "Interrupted: stopped before connecting");
        return fnRefuse("Interrupted: stopped before connecting", kExitInterrupted);
    }
    // Each board's line goes into the record as soon as the board ends, whatever comes after.
    std::atomic<bool> bRecordRefused{false};
    const FnBoardDone fnRecordBoard = [&](const CBoardResult& result) {
        if (RecordBoard(console, result, record) != 0)
            bRecordRefused = true;
    };
    if (options.bRepeat)
        return CStation(console, options.bJson)
            .Run(request, vecPorts, pImage, options.bNoPrompt, ConsoleSinks(console), fnRecordBoard,
                 [&](const std::vector<CBoardResult>& vecResults) {
                     PrintRecords(console, vecResults, options.bJson);
                     Report(console, vecResults, options.bJson);
                     return bRecordRefused.exchange(false) ? -1 : 0;
                 });
    const std::vector<CBoardResult> vecResults =
        RunBoards(request, vecPorts, options.strOutput, ConsoleSinks(console), pImage, fnRecordBoard);
    PrintRecords(console, vecResults, options.bJson);
    Report(console, vecResults, options.bJson);
    const int nRecorded = bRecordRefused ? -1 : 0;
    const int nStatus = GetExitStatus(vecResults);
    return nStatus == kExitOk && nRecorded != 0 ? kExitFailure : nStatus;
}
