// The progress sink a window hands to a link operation: sets one of its bars, lets the window
// repaint (without taking the operator's input, the operation still runs) and then refreshes
// the window's data from its controls.
#pragma once

#include <functional>

#include "link/progresssink.h"

class QProgressBar;

class CBarProgress : public CProgressSink
{
public:
    explicit CBarProgress(QProgressBar* pBar, std::function<void()> fnAfterStep = {});
    void SetProgress(int nPos) override;

private:
    QProgressBar* m_pBar;
    std::function<void()> m_fnAfterStep;
};
