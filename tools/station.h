// flash --repeat: the same ports board after board, until Ctrl-C or the end of the input between
// two boards, with a line per board and the running count of passes and failures.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/boardrunner.h"

class CConsole;
class CHexFile;

class CStation
{
public:
    // bJson: the station's lines go to the log's stream, standard output being the records'.
    CStation(CConsole& console, bool bJson) : m_console(console), m_bJson(bJson) {}

    // Reports one round's results once all its boards ended: 0, or -1 when a record of the round
    // could not be written.
    using FnRecord = std::function<int(const std::vector<CBoardResult>&)>;

    // pImage: the request's image, loaded once for every board. fnBoardDone: each board's end, as RunBoards
    // gives it. bWatchPorts: the next board is there once every port went and came back, instead of after
    // Enter. A board under way when Ctrl-C comes is stopped and recorded as interrupted. 130 then, else 1
    // when any board failed (or a record), else 0.
    int Run(const CBoardRequest& request, const std::vector<CBoardPort>& vecPorts,
            const std::shared_ptr<const CHexFile>& pImage, bool bWatchPorts, const FnMakeSink& fnMakeSink,
            const FnBoardDone& fnBoardDone, const FnRecord& fnRecord);

private:
    void Say(const std::string& strLine);
    // Waits for the next board: 0, or -1 when the station ends (Ctrl-C, the end of the input, a failure
    // said, then m_bFailed).
    int WaitForNextBoard(const std::vector<CBoardPort>& vecPorts, bool bWatchPorts);

    CConsole& m_console;
    bool m_bJson;
    bool m_bFailed = false;   // something beside the boards failed: a record, the wait
};
