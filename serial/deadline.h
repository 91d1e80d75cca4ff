// One monotonic deadline for a whole blocking call: every wait inside the call asks it
// how long is left, so EINTR retries and partial transfers never stretch the limit.
#pragma once

#include <chrono>

class CDeadline
{
public:
    // nLimitMs < 0: no limit.
    explicit CDeadline(long long nLimitMs);

    // Milliseconds left, rounded up so a wait never ends before the deadline;
    // 0 once it has passed, -1 without a limit (the poll() convention).
    int RemainingMs() const;
    bool IsExpired() const;

private:
    std::chrono::steady_clock::time_point m_tpEnd;
    bool m_bUnlimited;
};
