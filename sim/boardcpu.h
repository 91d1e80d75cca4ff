// The simulated board's processor: runs the stage it has been sent, byte by byte.
// No I/O and no clock: the caller feeds received bytes and carries out the actions.
#pragma once

#include "sim/boardtypes.h"
#include "sim/flashmemory.h"
#include "sim/payloadformat.h"

#include <cstdint>
#include <string>
#include <vector>

// What one received byte makes the board do.
struct CCpuActions
{
    std::vector<uint8_t> vecAnswer;   // bytes ready to go out now, in order
    bool bDelayed = false;            // byDelayed is ready nDelayMs later; the board takes nothing before
    int nDelayMs = 0;
    uint8_t byDelayed = 0;
    bool bHangUp = false;                 // close the line (fault)
    bool bFlashChanged = false;           // an erase or programming command has ended
    std::vector<std::string> vecEvents;   // stage changes and commands, for a log

    void Clear() { *this = CCpuActions(); }
};

class CBoardCpu
{
public:
    // Flasher protocol bytes.
    static constexpr uint8_t kCmdEraseGroup = 0x44;    // 'D' selector of the erase group
    static constexpr uint8_t kCmdSectorCount = 0x53;   // 'S' answer the sector count
    static constexpr uint8_t kCmdEraseChip = 0x43;     // 'C' erase the chip, answer a status
    static constexpr uint8_t kCmdEraseSector = 0x44;   // 'D' sector number follows, answer a status
    static constexpr uint8_t kCmdInfoGroup = 0x49;     // 'I' selector of the info group
    static constexpr uint8_t kCmdGetInfo = 0x47;       // 'G' answer length and info text
    static constexpr uint8_t kCmdFlashGroup = 0x46;    // 'F' selector of programming and read-back
    static constexpr uint8_t kCmdProgram = 0x58;       // 'X' enter programming mode
    static constexpr uint8_t kCmdBlock = 0x4E;         // 'N' one block: a2 a1 a0 length data, checksum back
    static constexpr uint8_t kCmdReadBack = 0x56;      // 'V' a2 a1 a0, two flash bytes back
    static constexpr uint8_t kCmdEnd = 0x42;           // 'B' end programming or read-back
    static constexpr uint8_t kStatusOk = 0x4F;         // 'O' erase done
    static constexpr uint8_t kStatusFailed = 0x45;     // 'E' erase failed or sector beyond the count
    static constexpr uint8_t kBootRequest = 0x00;      // the bootstrap loader waits for this
    static constexpr int kLastTestValue = 0xFE;        // echo test runs 0x00..0xFE

    CBoardCpu();

    void SetFaults(const CBoardFaults& faults) { m_faults = faults; }
    const CBoardFaults& GetFaults() const { return m_faults; }
    void SetEraseTimes(int nSectorMs, int nChipMs);

    // Reset button: back to the bootstrap loader; the flash and the last flasher's facts stay.
    void Reset();
    void OnByte(uint8_t byValue, CCpuActions& actions);

    EBoardStage GetStage() const;
    CFlashMemory& GetFlash() { return m_flash; }
    const CFlashMemory& GetFlash() const { return m_flash; }
    int GetSectorCount() const { return m_facts.nSectorCount; }
    const std::string& GetInfoText() const { return m_facts.strInfo; }

private:
    enum class EState
    {
        WaitBootRequest,
        TakeBootstrap,
        TakeFirstLoader,
        TakeLengthHigh,
        TakeLengthLow,
        TakeFlasher,
        EchoTest,
        Top,
        EraseGroup,
        EraseSectorNumber,
        InfoGroup,
        FlashGroup,
        Programming,
        BlockAddress,
        BlockLength,
        BlockData,
        ReadBack,
        ReadBackAddress,
        Silent
    };

    void Send(uint8_t byValue, CCpuActions& actions);
    void Echo(uint8_t byValue, CCpuActions& actions);
    void SendDelayed(uint8_t byValue, int nDelayMs, CCpuActions& actions);
    void FallSilent(const std::string& strWhy, CCpuActions& actions);
    void StartFlasher(CCpuActions& actions);

    void OnBootByte(uint8_t byValue, CCpuActions& actions);
    void OnFlasherByte(uint8_t byValue, CCpuActions& actions);
    void OnEraseByte(uint8_t byValue, CCpuActions& actions);
    void OnFlashGroupByte(uint8_t byValue, CCpuActions& actions);

    CBoardFaults m_faults;
    int m_nSectorEraseMs = 500;
    int m_nChipEraseMs = 2000;
    CFlashMemory m_flash;
    CFlasherFacts m_facts;

    EState m_eState = EState::WaitBootRequest;
    long long m_nRxCount = 0;            // since reset
    long long m_nTxCount = 0;            // since reset
    std::vector<uint8_t> m_vecLoading;   // stage being received
    size_t m_nLoadSize = 0;
    uint16_t m_wFirstLoaderCrc = 0;
    int m_nTestNext = 0;   // next echo test value
    uint32_t m_dwAddress = 0;
    int m_nAddressBytes = 0;
    int m_nBlockLength = 0;
    int m_nBlockDone = 0;
    uint8_t m_bySum = 0;
    int m_nBlockIndex = 0;           // since the flasher started
    long long m_nCommandCount = 0;   // blocks or read-backs of the current programming / read-back run
    long long m_nCommandBytes = 0;
};
