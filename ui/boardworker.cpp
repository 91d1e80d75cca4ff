#include "ui/boardworker.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include <exception>
#include <thread>
#include <vector>

int CBoardWorker::s_nRunning = 0;

CBoardWorker::CBoardWorker() = default;

CBoardWorker::~CBoardWorker() = default;

void CBoardWorker::Run(QWidget* pWindow, QWidget* pStopButton, const std::function<void()>& fnWork)
{
    QEventLoop loop;
    m_pLoop = &loop;
    m_pStopButton = pStopButton;
    m_bRunning = true;
    ++s_nRunning;
    m_bStopRequested = false;
    m_bWorkDone = false;
    // On the window's widgets only: what the worker posts to this object never passes the filter.
    std::vector<QPointer<QWidget>> vecWidgets{pWindow};
    for (QWidget* pWidget : pWindow->findChildren<QWidget*>())
        vecWidgets.emplace_back(pWidget);
    for (const QPointer<QWidget>& pWidget : vecWidgets)
        pWidget->installEventFilter(this);

    std::exception_ptr pFailure;
    std::thread worker([&] {
        try {
            fnWork();
        } catch (...) {
            pFailure = std::current_exception();
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_bWorkDone = true;
        }
        QMetaObject::invokeMethod(this, "OnPosted", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();

    for (const QPointer<QWidget>& pWidget : vecWidgets)
        if (pWidget != nullptr)
            pWidget->removeEventFilter(this);
    m_bRunning = false;
    --s_nRunning;
    m_pLoop = nullptr;
    m_pStopButton = nullptr;
    if (pFailure)
        std::rethrow_exception(pFailure);
}

void CBoardWorker::Post(std::function<void()> fnCall)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_dequePosted.push_back(std::move(fnCall));
    }
    QMetaObject::invokeMethod(this, "OnPosted", Qt::QueuedConnection);
}

void CBoardWorker::Call(const std::function<void()>& fnCall)
{
    bool bCalled = false;
    Post([&] {
        fnCall();
        const std::lock_guard<std::mutex> lock(m_mutex);
        bCalled = true;
        m_cvCalled.notify_all();
    });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cvCalled.wait(lock, [&] { return bCalled; });
}

void CBoardWorker::OnPosted()
{
    for (;;) {
        std::function<void()> fnCall;
        bool bDone = false;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_dequePosted.empty()) {
                fnCall = std::move(m_dequePosted.front());
                m_dequePosted.pop_front();
            } else {
                bDone = m_bWorkDone;
            }
        }
        if (!fnCall) {
            // The worker's last word comes after everything it posted.
            if (bDone && m_pLoop != nullptr)
                m_pLoop->quit();
            return;
        }
        fnCall();
    }
}

bool CBoardWorker::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        break;
    default:
        return false;
    }
    QWidget* pWidget = qobject_cast<QWidget*>(pWatched);
    if (pWidget == nullptr)
        return false;
    if (m_pStopButton != nullptr && (pWidget == m_pStopButton || m_pStopButton->isAncestorOf(pWidget)))
        return false;
    const bool bKey = pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::KeyRelease;
    if (bKey && static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape)
        return false;   // the window asks whether to stop
    return true;
}
