#include "ui/barprogress.h"

#include <QCoreApplication>
#include <QProgressBar>

#include <algorithm>

CBarProgress::CBarProgress(QProgressBar* pBar, std::function<void()> fnAfterStep)
    : m_pBar(pBar), m_fnAfterStep(std::move(fnAfterStep))
{}

int CBarProgress::ClampPosition(int nPos)
{
    return std::clamp(nPos, 0, 100);
}

void CBarProgress::SetProgress(int nPos)
{
    m_pBar->setValue(ClampPosition(nPos));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (m_fnAfterStep)
        m_fnAfterStep();
}
