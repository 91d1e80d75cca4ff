#include "tools/boardrunner.h"

#include <cstdio>
#include <memory>
#include <thread>

#include "job/boardjob.h"
#include "job/imagewriter.h"
#include "tools/clihelpers.h"
#include "tools/console.h"
#include "tools/consolesink.h"

CBoardRunner::CBoardRunner(const CCliOptions& options, const std::vector<CBoardPort>& vecPorts,
                           CConsole& console)
    : m_options(options), m_vecPorts(vecPorts), m_console(console)
{}

std::vector<CBoardResult> CBoardRunner::Run()
{
    const bool bSeveral = m_vecPorts.size() > 1;
    const CBoardRequest request = m_options.GetBoardRequest();
    std::vector<CBoardResult> vecResults(m_vecPorts.size());
    std::vector<std::unique_ptr<CConsoleSink>> vecSinks;
    std::vector<std::unique_ptr<CBoardJob>> vecJobs;
    for (const CBoardPort& port : m_vecPorts) {
        const std::string strOutput = bSeveral && !m_options.strOutput.empty()
                                          ? GetBoardOutputPath(m_options.strOutput, port.strName)
                                          : m_options.strOutput;
        vecSinks.push_back(std::make_unique<CConsoleSink>(
            m_console, bSeveral ? "[" + port.strName + "] " : "", port.strDevicePath));
        vecJobs.push_back(std::make_unique<CBoardJob>(request, port.strName, port.strDevicePath, strOutput,
                                                      *vecSinks.back()));
    }
    if (!bSeveral) {
        vecResults[0] = vecJobs[0]->Run();
        return vecResults;
    }
    // Each thread touches only its own job and its own result slot.
    std::vector<std::thread> vecThreads;
    for (size_t i = 0; i < vecJobs.size(); ++i)
        vecThreads.emplace_back([&vecResults, &vecJobs, i] { vecResults[i] = vecJobs[i]->Run(); });
    for (std::thread& thread : vecThreads)
        thread.join();
    return vecResults;
}

void CBoardRunner::Report(const std::vector<CBoardResult>& vecResults) const
{
    if (vecResults.size() > 1 && !m_options.bJson) {
        int nOk = 0;
        for (const CBoardResult& result : vecResults)
            nOk += result.bOk ? 1 : 0;
        m_console.Result("Summary: " + std::to_string(nOk) + " of " + std::to_string(vecResults.size()) +
                         " boards succeeded");
        for (const CBoardResult& result : vecResults) {
            char szSeconds[32];
            std::snprintf(szSeconds, sizeof szSeconds, "%.1f s", result.dSeconds);
            m_console.Result("  " + result.strPort + "\t" +
                             (result.bOk            ? std::string("ok")
                              : result.bInterrupted ? "interrupted"
                                                    : "failed") +
                             "\t" + szSeconds + (result.bOk ? std::string() : "\t" + result.strError));
        }
    }
    if (m_options.bJson)
        for (const CBoardResult& result : vecResults)
            m_console.Result(FormatJson(result));
}

int CBoardRunner::GetExitStatus(const std::vector<CBoardResult>& vecResults)
{
    int nStatus = 0;
    for (const CBoardResult& result : vecResults) {
        if (result.bInterrupted)
            return 130;
        if (!result.bOk)
            nStatus = 1;
    }
    return nStatus;
}
