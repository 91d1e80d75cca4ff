#include "ui/barprogress.h"

#include <QCoreApplication>
#include <QProgressBar>

#include <algorithm>

CBarProgress::CBarProgress(QProgressBar* pBar, std::function<void()> fnAfterStep)
    : m_pBar(pBar), m_fnAfterStep(std::move(fnAfterStep))
{}

void CBarProgress::SetProgress(int nPos)
{
    // A bar holds 0..100 and would ignore a value outside it.
    m_pBar->setValue(std::clamp(nPos, 0, 100));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (m_fnAfterStep)
        m_fnAfterStep();
}
