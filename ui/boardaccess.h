// What a dialog that works on the board borrows from the main window: the session, the worker its
// operations run on, the sink they report to, and where each operation's record goes.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <string>

#include "job/boardresult.h"
#include "job/boardsession.h"

class CBoardWorker;
class CMessageBoxes;
class CWindowSink;
class QWidget;

struct CBoardAccess
{
    CBoardSession* pSession = nullptr;
    CBoardWorker* pWorker = nullptr;
    CWindowSink* pSink = nullptr;
    std::function<void(const CBoardResult&)> fnRecord;   // none: nothing is recorded
};

// One operation of a dialog, timed and recorded as kelvora-cli --record records the same.
class COperationRecord
{
public:
    explicit COperationRecord(const std::string& strOperation);
    CBoardResult& Result() { return m_result; }
    // The outcome and its errors: those the sink kept, and for a lost link its text, how far the
    // operation came and the lost connection, as the command line says them.
    void Finish(ESessionOutcome eOutcome, const CBoardSession& session, const std::string& strKept);

private:
    CBoardResult m_result;
    std::chrono::steady_clock::time_point m_tpStart;
};

// Runs one operation for pDialog on the worker with its errors kept (not logged) and a failed
// step shown as a box over pDialog; the main window's log still takes its lines.
void RunDialogOperation(const CBoardAccess& board, QWidget* pDialog, CMessageBoxes* pBoxes,
                        const std::function<void()>& fnWork);

// While a run is under way: asks whether to stop it (a Yes/No box over pWindow); true when it will.
bool AskToStopRun(CBoardWorker& worker, CMessageBoxes& boxes, QWidget* pWindow);
