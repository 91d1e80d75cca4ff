#include "job/boardrunner.h"

#include <thread>

#include "job/imagewriter.h"
#include "job/jobsink.h"

std::string GetBoardOutput(const std::string& strOutput, const CBoardPort& port, size_t nBoards)
{
    return nBoards > 1 && !strOutput.empty() ? GetBoardOutputPath(strOutput, port.strName) : strOutput;
}

std::vector<CBoardResult> RunBoards(const CBoardRequest& request, const std::vector<CBoardPort>& vecPorts,
                                    const std::string& strOutput, const FnMakeSink& fnMakeSink,
                                    const std::shared_ptr<const CHexFile>& pImage, const FnBoardDone& fnDone)
{
    const bool bSeveral = vecPorts.size() > 1;
    std::vector<std::unique_ptr<CJobSink>> vecSinks;
    std::vector<std::unique_ptr<CBoardJob>> vecJobs;
    for (size_t i = 0; i < vecPorts.size(); ++i) {
        const CBoardPort& port = vecPorts[i];
        vecSinks.push_back(fnMakeSink(port, bSeveral));
        vecJobs.push_back(std::make_unique<CBoardJob>(request, port.strName, port.strDevicePath,
                                                      GetBoardOutput(strOutput, port, vecPorts.size()),
                                                      *vecSinks.back(), pImage));
    }
    std::vector<CBoardResult> vecResults(vecPorts.size());
    // Each run touches only its own job, its own sink and its own result slot.
    auto fnRun = [&](size_t i) {
        vecResults[i] = vecJobs[i]->Run();
        vecResults[i].strSerial = vecPorts[i].strSerial;
        if (fnDone)
            fnDone(vecResults[i]);
    };
    if (!bSeveral) {
        if (!vecJobs.empty())
            fnRun(0);
    } else {
        std::vector<std::thread> vecThreads;
        for (size_t i = 0; i < vecJobs.size(); ++i)
            vecThreads.emplace_back(fnRun, i);
        for (std::thread& thread : vecThreads)
            thread.join();
    }
    return vecResults;
}

int GetExitStatus(const std::vector<CBoardResult>& vecResults)
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
