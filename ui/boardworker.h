// Runs one board operation on a thread of its own while the window's events go on: the handler
// that starts it waits in an event loop of its own, so the window repaints, moves and resizes, and
// what the operation reports reaches the window's thread in the order it was reported.
// Operator input to the window is held while it runs, except what asks for a stop (Escape, the
// close box, the window's stop button), which the window answers itself.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QEventLoop;
class QWidget;

class CBoardWorker : public QObject
{
    Q_OBJECT

public:
    CBoardWorker();
    ~CBoardWorker() override;

    // Runs fnWork on a worker thread and returns once it has ended and everything it posted has
    // run. pWindow's input is held meanwhile; pStopButton (may be null) stays usable.
    void Run(QWidget* pWindow, QWidget* pStopButton, const std::function<void()>& fnWork);
    bool IsRunning() const { return m_bRunning; }
    // Whether any worker's run is under way on the window's thread (the event loop that turns is
    // then a run's own).
    static bool IsAnyRunning() { return s_nRunning > 0; }

    // From the worker: fnCall runs on the window's thread, after everything posted before it.
    void Post(std::function<void()> fnCall);
    // From the worker: as Post, and returns once it has run (a box the operator confirms).
    void Call(const std::function<void()>& fnCall);

    // The window asks the run to stop after the exchange under way; the operation sees it at
    // its next check (IsStopRequested).
    void RequestStop() { m_bStopRequested = true; }
    bool IsStopRequested() const { return m_bStopRequested; }

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    // Runs what the worker posted; the worker wakes it by a queued call that carries no data,
    // the data itself passing under m_mutex.
    void OnPosted();

private:
    std::mutex m_mutex;
    std::condition_variable m_cvCalled;
    std::deque<std::function<void()>> m_dequePosted;
    bool m_bWorkDone = false;
    QEventLoop* m_pLoop = nullptr;
    QWidget* m_pStopButton = nullptr;
    bool m_bRunning = false;
    std::atomic<bool> m_bStopRequested{false};
    static int s_nRunning;
};
