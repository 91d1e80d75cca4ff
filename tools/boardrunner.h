// Runs one command on one or several boards at once: one job and one thread per board,
// then the summary and the JSON objects.
#pragma once

#include <vector>

#include "job/boardresult.h"
#include "job/portchoice.h"
#include "tools/clioptions.h"

class CConsole;

class CBoardRunner
{
public:
    CBoardRunner(const CCliOptions& options, const std::vector<CBoardPort>& vecPorts, CConsole& console);

    // Runs every board to its end; the results in the order of the ports.
    std::vector<CBoardResult> Run();
    // Which boards succeeded, when there are several; a JSON object per board with --json.
    void Report(const std::vector<CBoardResult>& vecResults) const;
    // 0 all succeeded, 130 any was interrupted, else 1.
    static int GetExitStatus(const std::vector<CBoardResult>& vecResults);

private:
    const CCliOptions& m_options;
    std::vector<CBoardPort> m_vecPorts;
    CConsole& m_console;
};
