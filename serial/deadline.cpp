#include "serial/deadline.h"

#include <climits>

CDeadline::CDeadline(long long nLimitMs)
    : m_tpEnd(std::chrono::steady_clock::now() + std::chrono::milliseconds(nLimitMs < 0 ? 0 : nLimitMs)),
      m_bUnlimited(nLimitMs < 0)
{}

int CDeadline::RemainingMs() const
{
    if (m_bUnlimited)
        return -1;
    const auto dtLeft = m_tpEnd - std::chrono::steady_clock::now();
    if (dtLeft <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto nMs = std::chrono::ceil<std::chrono::milliseconds>(dtLeft).count();
    return nMs > INT_MAX ? INT_MAX : static_cast<int>(nMs);
}

bool CDeadline::IsExpired() const
{
    return RemainingMs() == 0;
}
