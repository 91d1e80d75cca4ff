// One request on one or several boards at once: one job and one thread per board, each with
// its own link and its own sink.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "job/boardjob.h"
#include "job/boardresult.h"
#include "job/portchoice.h"

class CJobSink;

// The sink of one board; bSeveral tells whether other boards run beside it.
using FnMakeSink = std::function<std::unique_ptr<CJobSink>(const CBoardPort& port, bool bSeveral)>;

// Called with a board's result as soon as it ends, on that board's thread.
using FnBoardDone = std::function<void(const CBoardResult& result)>;

// Runs every board to its end; the results in the order of the ports. strOutput is the read's
// output file, made distinct per board when there are several. pImage: the request's image,
// loaded once and read by every board (none: each job loads it).
std::vector<CBoardResult> RunBoards(const CBoardRequest& request, const std::vector<CBoardPort>& vecPorts,
                                    const std::string& strOutput, const FnMakeSink& fnMakeSink,
                                    const std::shared_ptr<const CHexFile>& pImage = nullptr,
                                    const FnBoardDone& fnDone = nullptr);

// The output file of one board of a run on nBoards boards.
std::string GetBoardOutput(const std::string& strOutput, const CBoardPort& port, size_t nBoards);

// 0 all succeeded, 130 any was interrupted, else 1.
int GetExitStatus(const std::vector<CBoardResult>& vecResults);
