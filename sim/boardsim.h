// A simulated C167 board on a fresh pseudo-terminal, served by its own thread.
//
// The PC side opens GetDevicePath() like a serial port. The board runs whatever it is sent,
// stage by stage (see EBoardStage and sim/payloadformat.h), and answers as the real chain
// would; anything it does not recognise makes it fall silent until the next reset.
// Reset: every time the last PC-side descriptor of the port is closed, the board goes back to its
// bootstrap loader, keeps its flash and drops what it had not yet delivered to the PC. The board
// holds a slave descriptor of its own (so the master never hangs up between sessions) and sees the
// PC's opens and closes of the slave node through inotify, in order, however quickly they follow.
// Pacing: with a baud rate set, a byte the PC wrote arrives 10 bit times after the receive line is
// free, and an answer reaches the PC 10 bit times after it is ready and the send line is free;
// deadlines are absolute, so the simulator's own wake-up delays are not added up.
// Adapter (optional, sim/usbadapter.h): sits between the PC and the line, holding answers for its
// latency and bytes towards the board until the next USB frame.
// Receiver: on a paced line the board has one holding register. The flasher program takes a byte
// the byte time after it arrived; a byte that arrives before that is lost (overrun, logged). The
// boot stages take bytes as fast as the line delivers them, as the chip's boot code does.
// All members are thread-safe; the board's thread calls nothing of the caller's but the event log.
#pragma once

#include "sim/boardcpu.h"
#include "sim/boardtypes.h"
#include "sim/linepacer.h"
#include "sim/usbadapter.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CBoardSim
{
public:
    CBoardSim();
    ~CBoardSim();   // stops the thread, closes the pty
    CBoardSim(const CBoardSim&) = delete;
    CBoardSim& operator=(const CBoardSim&) = delete;

    // Settings: may be changed at any time, they apply from the next byte on.
    void SetBaudRate(int nBaud);       // 0 = unpaced (default); else 10 bit times per byte each way
    void SetAdapterLatency(int nMs);   // 0 = no adapter (default); FTDI chips: 16, tuned: 1
    // Time the flasher program needs to take a received byte (default 20, well below one
    // character time at 57600 bit/s); only a paced line can outrun it.
    void SetByteTime(int nUs);
    void SetEraseTimes(int nSectorMs, int nChipMs);   // defaults 500 and 2000
    void SetFaults(const CBoardFaults& faults);
    CBoardFaults GetFaults() const;
    void SetWireLogEnabled(bool bEnabled);   // on by default
    // Called on the board's thread for every stage change, command and reset (short texts).
    void SetEventLog(std::function<void(const std::string&)> fnLog);
    // Saves the flash to this file after every erase and programming command ("" = never).
    void SetFlashFile(const std::string& strPath);

    int Start();                         // opens a fresh pty and starts the thread: 0 / -1
    void Stop();                         // prompt; also when an erase is under way
    std::string GetDevicePath() const;   // slave path, e.g. /dev/pts/7; "" before Start

    std::vector<CWireByte> GetWireLog() const;   // every byte each way, in order
    void ClearWireLog();
    EBoardStage GetStage() const;
    bool WaitForStage(EBoardStage eStage, int nTimeoutMs) const;
    int GetResetCount() const;     // resets seen (PC closed the port) since Start
    int GetOverrunCount() const;   // bytes the receiver lost since Start
    bool WaitForResetCount(int nCount, int nTimeoutMs) const;
    bool IsHungUp() const;
    // The pty's own delay for a byte towards the board, measured at Start and not charged to the
    // PC when pacing.
    int64_t GetInboundLatencyNs() const;   // the hang-up fault closed the pty

    std::vector<uint8_t> GetFlash() const;             // whole flash; empty before a flasher ran or a load
    int GetSectorCount() const;                        // of the running / last flasher program, 0 before
    std::string GetInfoText() const;                   // of the running / last flasher program
    int SaveFlash(const std::string& strPath) const;   // raw binary: 0 / -1
    int LoadFlash(const std::string& strPath);         // size must be whole 32 KiB sectors: 0 / -1

private:
    struct CTimedByte
    {
        uint8_t byValue;
        int64_t nTimeNs;   // arrival (received) or write time (to send)
    };

    static int64_t NowNs();
    int64_t MeasureInboundLatency();   // before the thread starts
    void Run();
    bool Advance(int64_t nNowNs);    // locked; false when the master would block
    bool WriteDue(int64_t nNowNs);   // locked
    void Execute(uint8_t byValue, int64_t nAtNs, bool bDeliver);   // locked
    int64_t ArrivalTime(int64_t nSeenNs);                          // locked; a byte read from the master
    void QueueAnswer(uint8_t byValue, int64_t nReadyNs);           // locked; through the line and adapter
    int64_t TakeTime(const CTimedByte& byte) const;                // locked; when the board takes it
    bool DropOverrun();    // locked; the first byte received came before the register was free
    void ReadMaster();     // locked
    void OnPortEvents();   // locked
    int ReadPortEvents(bool& bOpenAfterReset);   // locked; returns the PC sessions that ended
    void ResetBoard();                           // locked; bytes still queued belong to the next session
    void HangUp();                               // locked
    int64_t NextDeadline(bool bWithTx) const;   // locked; -1 for none; bWithTx false while the master is full
    void CloseDescriptors();

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cvChanged;   // stage, reset count, hang-up
    CBoardCpu m_cpu;
    CLinePacer m_pacer;
    CUsbAdapter m_adapter;
    int64_t m_nByteTimeNs = 20000;
    int64_t m_nRegisterFreeNs = 0;   // the receive holding register's byte is taken at this time
    long long m_nLineRxCount = 0;    // bytes arrived on the line since reset, lost ones too
    int m_nOverrunCount = 0;
    std::deque<CTimedByte> m_dequeRx;
    std::deque<CTimedByte> m_dequeTx;
    int64_t m_nBusyUntilNs = 0;   // erase under way: nothing is taken before
    std::vector<CWireByte> m_vecWireLog;
    bool m_bWireLog = true;
    int m_nResetCount = 0;
    bool m_bHungUp = false;
    bool m_bFlashDirty = false;
    std::string m_strDevicePath;
    std::string m_strFlashFile;
    std::function<void(const std::string&)> m_fnEventLog;
    std::vector<std::string> m_vecEvents;   // waiting for the event log

    // Descriptors: made by Start before the thread runs, used only by the thread, closed after it.
    int m_hMaster = -1;
    int m_hOwnSlave = -1;   // keeps the slave open, so the master never hangs up between PC sessions
    int m_hInotify = -1;    // opens and closes of the slave node by the PC
    int m_hWake = -1;       // eventfd: Stop
    int m_hTimer = -1;      // timerfd: next line or erase deadline, absolute
    int m_nPcOpens = 0;     // PC descriptors open on the slave (thread only)
    std::thread m_thread;
};
