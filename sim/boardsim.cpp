#include "sim/boardsim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace
{
constexpr int64_t kNsPerMs = 1000000;
// Timer wake-ups come tens of microseconds late: the board thread wakes this much before a
// deadline and spins the rest, so paced bytes leave on their bit time.
constexpr int64_t kEarlyWakeNs = 80000;
constexpr size_t kReadChunk = 4096;

void CloseFd(int& hFd)
{
    if (hFd >= 0)
        close(hFd);
    hFd = -1;
}

int MakeRaw(int hFd)
{
    struct termios tio
    {};
    if (tcgetattr(hFd, &tio) != 0)
        return -1;
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(hFd, TCSANOW, &tio);
}
}   // namespace

CBoardSim::CBoardSim() = default;

CBoardSim::~CBoardSim()
{
    Stop();
}

int64_t CBoardSim::NowNs()
{
    struct timespec ts
    {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void CBoardSim::SetBaudRate(int nBaud)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pacer.SetBaudRate(nBaud);
}

void CBoardSim::SetAdapterLatency(int nMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_adapter.SetLatency(nMs);
}

void CBoardSim::SetByteTime(int nUs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nByteTimeNs = nUs > 0 ? static_cast<int64_t>(nUs) * 1000 : 0;
}

void CBoardSim::SetEraseTimes(int nSectorMs, int nChipMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cpu.SetEraseTimes(nSectorMs, nChipMs);
}

void CBoardSim::SetFaults(const CBoardFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cpu.SetFaults(faults);
}

CBoardFaults CBoardSim::GetFaults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetFaults();
}

void CBoardSim::SetWireLogEnabled(bool bEnabled)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bWireLog = bEnabled;
}

void CBoardSim::SetEventLog(std::function<void(const std::string&)> fnLog)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fnEventLog = std::move(fnLog);
}

void CBoardSim::SetFlashFile(const std::string& strPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strFlashFile = strPath;
}

int CBoardSim::Start()
{
    if (m_thread.joinable())
        return -1;
    m_hMaster = open("/dev/ptmx", O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char szPath[PATH_MAX] = {};
    bool bOk = m_hMaster >= 0 && grantpt(m_hMaster) == 0 && unlockpt(m_hMaster) == 0 &&
               ptsname_r(m_hMaster, szPath, sizeof szPath) == 0;
    if (bOk) {
        m_hOwnSlave = open(szPath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        // Raw both ways: no echo, no CR/LF translation, no signals, whatever the PC sets later.
        bOk = m_hOwnSlave >= 0 && MakeRaw(m_hOwnSlave) == 0 && MakeRaw(m_hMaster) == 0;
    }
    if (bOk) {
        m_hInotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        bOk = m_hInotify >= 0 &&
              inotify_add_watch(m_hInotify, szPath, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) >= 0;
    }
    if (bOk) {
        m_hWake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        m_hTimer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        bOk = m_hWake >= 0 && m_hTimer >= 0;
    }
    if (!bOk) {
        CloseDescriptors();
        return -1;
    }
    const int64_t nInboundNs = MeasureInboundLatency();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_strDevicePath = szPath;
        m_pacer.SetInboundLatency(nInboundNs);
        m_cpu.Reset();
        m_dequeRx.clear();
        m_dequeTx.clear();
        m_nBusyUntilNs = 0;
        m_pacer.Reset();
        m_adapter.Reset();
        m_nRegisterFreeNs = 0;
        m_nLineRxCount = 0;
        m_nOverrunCount = 0;
        m_nResetCount = 0;
        m_bHungUp = false;
        m_nPcOpens = 0;
    }
    m_thread = std::thread(&CBoardSim::Run, this);
    return 0;
}

int64_t CBoardSim::GetInboundLatencyNs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pacer.GetInboundLatency();
}

int64_t CBoardSim::MeasureInboundLatency()
{
    // Probe bytes from our own slave descriptor to a thread waiting on the master, spaced
    // like echoed bytes; the smallest delay seen is the pty's own, never more.
    constexpr int kProbes = 25;
    int64_t anSeenNs[kProbes] = {};
    std::thread reader([&] {
        for (int i = 0; i < kProbes; ++i) {
            struct pollfd pfd = {m_hMaster, POLLIN, 0};
            if (poll(&pfd, 1, 100) <= 0)
                return;
            anSeenNs[i] = NowNs();
            uint8_t byProbe;
            if (read(m_hMaster, &byProbe, 1) != 1)
                return;
        }
    });
    int64_t nBestNs = -1;
    int64_t anSentNs[kProbes] = {};
    for (int i = 0; i < kProbes; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        const uint8_t byProbe = 0;
        anSentNs[i] = NowNs();
        if (write(m_hOwnSlave, &byProbe, 1) != 1)
            break;
    }
    reader.join();
    for (int i = 0; i < kProbes; ++i)
        if (anSeenNs[i] > anSentNs[i] && anSentNs[i] > 0 &&
            (nBestNs < 0 || anSeenNs[i] - anSentNs[i] < nBestNs))
            nBestNs = anSeenNs[i] - anSentNs[i];
    tcflush(m_hMaster, TCIFLUSH);
    return nBestNs > 0 ? nBestNs : 0;
}

void CBoardSim::Stop()
{
    if (m_thread.joinable()) {
        const uint64_t qwOne = 1;
        ssize_t n;
        do
            n = write(m_hWake, &qwOne, sizeof qwOne);
        while (n < 0 && errno == EINTR);
        m_thread.join();
    }
    CloseDescriptors();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dequeRx.clear();
    m_dequeTx.clear();
}

void CBoardSim::CloseDescriptors()
{
    CloseFd(m_hInotify);
    CloseFd(m_hOwnSlave);
    CloseFd(m_hMaster);
    CloseFd(m_hWake);
    CloseFd(m_hTimer);
}

std::string CBoardSim::GetDevicePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strDevicePath;
}

std::vector<CWireByte> CBoardSim::GetWireLog() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecWireLog;
}

void CBoardSim::ClearWireLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecWireLog.clear();
}

EBoardStage CBoardSim::GetStage() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetStage();
}

bool CBoardSim::WaitForStage(EBoardStage eStage, int nTimeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                [&] { return m_cpu.GetStage() == eStage; });
}

int CBoardSim::GetResetCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nResetCount;
}

bool CBoardSim::WaitForResetCount(int nCount, int nTimeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                [&] { return m_nResetCount >= nCount; });
}

int CBoardSim::GetOverrunCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nOverrunCount;
}

bool CBoardSim::IsHungUp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bHungUp;
}

std::vector<uint8_t> CBoardSim::GetFlash() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetFlash().GetBytes();
}

int CBoardSim::GetSectorCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetSectorCount();
}

std::string CBoardSim::GetInfoText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetInfoText();
}

int CBoardSim::SaveFlash(const std::string& strPath) const
{
    return CFlashMemory::SaveFile(strPath, GetFlash());
}

int CBoardSim::LoadFlash(const std::string& strPath)
{
    std::vector<uint8_t> vecBytes;
    if (CFlashMemory::LoadFile(strPath, vecBytes) != 0)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cpu.GetFlash().SetBytes(vecBytes);
}

// ---- board thread ----

void CBoardSim::Run()
{
    // Line deadlines are a few hundred microseconds apart: ask for wake-ups without slack.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    int64_t nArmedNs = -1;
    std::vector<std::string> vecEvents;
    for (;;) {
        bool bWritable = true;
        bool bHungUp = false;
        int64_t nNextNs = -1;
        std::function<void(const std::string&)> fnLog;
        std::string strSaveTo;
        std::vector<uint8_t> vecFlash;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_bHungUp)
                bWritable = Advance(NowNs());
            bHungUp = m_bHungUp;
            nNextNs = NextDeadline(bWritable);
            if (!m_vecEvents.empty()) {
                vecEvents.swap(m_vecEvents);
                fnLog = m_fnEventLog;
            }
            if (m_bFlashDirty && !m_strFlashFile.empty()) {
                strSaveTo = m_strFlashFile;
                vecFlash = m_cpu.GetFlash().GetBytes();
            }
            m_bFlashDirty = false;
        }
        if (fnLog)
            for (const std::string& strEvent : vecEvents)
                fnLog(strEvent);
        vecEvents.clear();
        if (!strSaveTo.empty())
            CFlashMemory::SaveFile(strSaveTo, vecFlash);

        if (nNextNs != nArmedNs) {
            struct itimerspec its
            {};
            if (nNextNs > 0) {
                const int64_t nWakeNs = std::max<int64_t>(1, nNextNs - kEarlyWakeNs);
                its.it_value.tv_sec = static_cast<time_t>(nWakeNs / 1000000000LL);
                its.it_value.tv_nsec = static_cast<long>(nWakeNs % 1000000000LL);
            }
            timerfd_settime(m_hTimer, TFD_TIMER_ABSTIME, &its, nullptr);
            nArmedNs = nNextNs;
        }

        struct pollfd aPoll[4] = {
            {m_hWake, POLLIN, 0},
            {m_hTimer, POLLIN, 0},
            {bHungUp ? -1 : m_hInotify, POLLIN, 0},
            {bHungUp ? -1 : m_hMaster, static_cast<short>(POLLIN | (bWritable ? 0 : POLLOUT)), 0},
        };
        if (poll(aPoll, 4, -1) < 0)
            continue;   // EINTR
        if (aPoll[0].revents != 0)
            break;
        if (aPoll[1].revents & POLLIN) {
            uint64_t qwExpirations = 0;
            if (read(m_hTimer, &qwExpirations, sizeof qwExpirations) > 0) {
                // The rest of the way to the deadline is spun, so an answer leaves on its bit time.
                while (NowNs() < nArmedNs) {
                }
                nArmedNs = -1;
            }
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (aPoll[2].revents != 0)
            OnPortEvents();
        if (!m_bHungUp && (aPoll[3].revents & POLLIN))
            ReadMaster();
        // We hold a slave descriptor, so this only happens if the pty itself broke: stop serving it.
        if (!m_bHungUp && (aPoll[3].revents & (POLLERR | POLLHUP | POLLNVAL)) && !(aPoll[3].revents & POLLIN))
            HangUp();
    }
}

bool CBoardSim::Advance(int64_t nNowNs)
{
    bool bWritable = WriteDue(nNowNs);
    for (;;) {
        bool bTook = false;
        while (!m_bHungUp && !m_dequeRx.empty()) {
            if (DropOverrun())
                continue;
            const int64_t nAtNs = TakeTime(m_dequeRx.front());
            if (nAtNs > nNowNs)
                break;
            const uint8_t byValue = m_dequeRx.front().byValue;
            m_dequeRx.pop_front();
            m_nRegisterFreeNs = nAtNs;
            ++m_nLineRxCount;
            Execute(byValue, nAtNs, true);
            bTook = true;
            // Answers leave before the next byte is taken, so a hang-up never swallows them.
            if (!m_bHungUp)
                bWritable = WriteDue(nNowNs);
        }
        if (m_bHungUp)
            return true;
        bWritable = WriteDue(nNowNs);
        if (!bTook)
            break;
        m_cvChanged.notify_all();
    }
    return bWritable;
}

bool CBoardSim::WriteDue(int64_t nNowNs)
{
    uint8_t abyOut[256];
    while (!m_dequeTx.empty() && m_dequeTx.front().nTimeNs <= nNowNs) {
        size_t nCount = 0;
        while (nCount < m_dequeTx.size() && nCount < sizeof abyOut && m_dequeTx[nCount].nTimeNs <= nNowNs) {
            abyOut[nCount] = m_dequeTx[nCount].byValue;
            ++nCount;
        }
        const ssize_t nWritten = write(m_hMaster, abyOut, nCount);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten < 0 && errno == EAGAIN)
            return false;
        if (nWritten <= 0) {
            m_dequeTx.clear();   // the pty refuses data: nothing can reach the PC
            return true;
        }
        for (ssize_t i = 0; i < nWritten; ++i) {
            if (m_bWireLog)
                m_vecWireLog.push_back({false, m_dequeTx.front().byValue});
            m_dequeTx.pop_front();
        }
    }
    return true;
}

void CBoardSim::Execute(uint8_t byValue, int64_t nAtNs, bool bDeliver)
{
    if (m_bWireLog)
        m_vecWireLog.push_back({true, byValue});
    CCpuActions actions;
    m_cpu.OnByte(byValue, actions);
    if (bDeliver) {
        for (uint8_t byAnswer : actions.vecAnswer)
            QueueAnswer(byAnswer, nAtNs);
        if (actions.bDelayed) {
            m_nBusyUntilNs = nAtNs + actions.nDelayMs * kNsPerMs;
            QueueAnswer(actions.byDelayed, m_nBusyUntilNs);
        }
    }
    m_bFlashDirty = m_bFlashDirty || actions.bFlashChanged;
    for (std::string& strEvent : actions.vecEvents)
        m_vecEvents.push_back(std::move(strEvent));
    if (actions.bHangUp)
        HangUp();
}

void CBoardSim::QueueAnswer(uint8_t byValue, int64_t nReadyNs)
{
    size_t nRetime = 0;
    const int64_t nAtPcNs = m_adapter.ToPc(m_pacer.SendTime(nReadyNs), m_dequeTx.size(), nRetime);
    for (size_t i = m_dequeTx.size() - nRetime; i < m_dequeTx.size(); ++i)
        m_dequeTx[i].nTimeNs = nAtPcNs;
    m_dequeTx.push_back({byValue, nAtPcNs});
}

int64_t CBoardSim::ArrivalTime(int64_t nSeenNs)
{
    if (m_adapter.GetLatency() == 0)
        return m_pacer.ReceiveTime(nSeenNs);
    // The pty's own delay is no part of the PC's write time, nor is it of a cable's.
    return m_pacer.ReceiveFrom(m_adapter.ToBoard(nSeenNs - m_pacer.GetInboundLatency()));
}

int64_t CBoardSim::TakeTime(const CTimedByte& byte) const
{
    const int64_t nAtNs = std::max(byte.nTimeNs, m_nBusyUntilNs);
    // Only the flasher program needs time per byte; an unpaced line has no character time to beat.
    if (m_pacer.GetBaudRate() == 0 || m_cpu.GetStage() != EBoardStage::Flasher)
        return nAtNs;
    return nAtNs + m_nByteTimeNs;
}

bool CBoardSim::DropOverrun()
{
    if (m_pacer.GetBaudRate() == 0 || m_dequeRx.front().nTimeNs >= m_nRegisterFreeNs)
        return false;
    m_dequeRx.pop_front();
    ++m_nOverrunCount;
    m_vecEvents.push_back("overrun: byte " + std::to_string(m_nLineRxCount++) + " lost");
    return true;
}

void CBoardSim::ReadMaster()
{
    uint8_t abyIn[kReadChunk];
    for (;;) {
        const ssize_t n = read(m_hMaster, abyIn, sizeof abyIn);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        const int64_t nSeenNs = NowNs();
        for (ssize_t i = 0; i < n; ++i)
            m_dequeRx.push_back({abyIn[i], ArrivalTime(nSeenNs)});
    }
}

int CBoardSim::ReadPortEvents(bool& bOpenAfterReset)
{
    alignas(struct inotify_event) char achBuffer[4096];
    int nResets = 0;
    for (;;) {
        const ssize_t n = read(m_hInotify, achBuffer, sizeof achBuffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return nResets;
        for (ssize_t nAt = 0; nAt < n;) {
            const auto* pEvent = reinterpret_cast<const struct inotify_event*>(achBuffer + nAt);
            nAt += static_cast<ssize_t>(sizeof(struct inotify_event) + pEvent->len);
            if (pEvent->mask & IN_Q_OVERFLOW) {
                // Lost track of the PC's descriptors: assume it closed them all and came back.
                m_nPcOpens = 0;
                ++nResets;
                bOpenAfterReset = true;
            }
            if (pEvent->mask & IN_OPEN) {
                ++m_nPcOpens;
                bOpenAfterReset = true;
            }
            if (pEvent->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                if (m_nPcOpens > 0)
                    --m_nPcOpens;
                if (m_nPcOpens == 0) {
                    ++nResets;
                    bOpenAfterReset = false;
                }
            }
        }
    }
}

void CBoardSim::OnPortEvents()
{
    bool bOpenAfterReset = false;
    int nResets = ReadPortEvents(bOpenAfterReset);
    if (nResets == 0)
        return;
    // Bytes already taken from the master were sent before the close. If the PC has not come
    // back, so was everything the master still holds: an open is reported before its first write.
    size_t nOldBytes = m_dequeRx.size();
    if (!bOpenAfterReset) {
        ReadMaster();
        nResets += ReadPortEvents(bOpenAfterReset);
        if (!bOpenAfterReset)
            nOldBytes = m_dequeRx.size();
    }
    // They reach the board before the reset; what it answers is lost with the closed port.
    for (; nOldBytes > 0 && !m_bHungUp; --nOldBytes) {
        const uint8_t byValue = m_dequeRx.front().byValue;
        m_dequeRx.pop_front();
        Execute(byValue, 0, false);
    }
    if (m_bHungUp)
        return;
    m_nResetCount += nResets;
    ResetBoard();
}

void CBoardSim::ResetBoard()
{
    m_cpu.Reset();
    m_dequeTx.clear();
    m_nBusyUntilNs = 0;
    m_pacer.Reset();
    m_adapter.Reset();
    m_nRegisterFreeNs = 0;
    m_nLineRxCount = 0;
    // A closed port drops what the board sent; don't let the next PC session read stale bytes.
    tcflush(m_hOwnSlave, TCIFLUSH);
    // A real port forgets TIOCEXCL at its last close, a pty does not: without this the PC's
    // next open fails with EBUSY (unless it runs as root).
    ioctl(m_hOwnSlave, TIOCNXCL);
    m_vecEvents.push_back("reset: the PC closed the port");
    m_cvChanged.notify_all();
}

void CBoardSim::HangUp()
{
    CloseFd(m_hInotify);
    CloseFd(m_hOwnSlave);
    CloseFd(m_hMaster);
    m_dequeRx.clear();
    m_dequeTx.clear();
    m_bHungUp = true;
    m_vecEvents.push_back("line hung up");
    m_cvChanged.notify_all();
}

int64_t CBoardSim::NextDeadline(bool bWithTx) const
{
    int64_t nNextNs = -1;
    if (bWithTx && !m_dequeTx.empty())
        nNextNs = m_dequeTx.front().nTimeNs;
    if (!m_dequeRx.empty()) {
        const int64_t nRxNs = TakeTime(m_dequeRx.front());
        nNextNs = nNextNs < 0 ? nRxNs : std::min(nNextNs, nRxNs);
    }
    return nNextNs;
}
