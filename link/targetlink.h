// The PC side of one connection with the board: the serial port, the three images of the
// loader chain, the boot sequence and the flasher program's commands.
// Every operation blocks; results are 0 / -1 with the reason in GetErrorText().
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class CHexFile;
class CBytePort;
class CProgressSink;
struct CLatencyTimer;

// A byte of the flash that differs from the image.
struct CByteDifference
{
    uint32_t dwAddress = 0;
    uint8_t byExpected = 0;   // the image's byte
    uint8_t byRead = 0;       // the board's byte
};

// A programming block whose checksum answer was not the expected one.
struct CBlockFault
{
    uint32_t dwAddress = 0;   // the block's first address
    int nLength = 0;
    uint8_t byExpected = 0;   // two's complement of the data bytes' sum
    int nAnswer = -1;         // what the board answered; -1 nothing within the limit
};

class CTargetLink
{
public:
    CTargetLink();
    ~CTargetLink();
    CTargetLink(const CTargetLink&) = delete;
    CTargetLink& operator=(const CTargetLink&) = delete;

    // Opens the port and checks and loads the bootstrap code, first and second stage
    // loader (full paths). Called once per link object.
    int Init(const char* pszPort, int nBaudRate, const char* pszBslFile, const char* pszFirstLoaderFile,
             const char* pszSecondLoaderFile);
    // The same on a port that is already open (an in-memory one, for tests and fuzzing): the link
    // takes it over, and Close closes and frees it.
    int Init(std::unique_ptr<CBytePort> pPort, const char* pszBslFile, const char* pszFirstLoaderFile,
             const char* pszSecondLoaderFile);
    // Ends the connection; safe after a failed Init and when already closed.
    void Close();
    std::string GetErrorText() const;
    // Bytes the flasher program's echo-only steps may send ahead of their replies: the bytes of
    // a block up to its checksum, the connection test, the read-back exchanges. 0 or 1:
    // lock-step, each byte waits for its echo (the default). Everything owed is taken before a
    // byte whose answer is a status. Kept across Init and Close.
    void SetPipelineDepth(int nBytes) { m_nPipelineDepth = nBytes; }
    int GetPipelineDepth() const { return m_nPipelineDepth; }
    // The line's round trip per echoed byte (PC to board and back, adapter included) as the
    // connection test timed it, over echoes that each waited for the one before; 0 before it.
    double GetRoundTripMs() const { return m_dRoundTripMs; }

    // Boot sequence, called in this order after Init.
    int Connect();   // the CPU's identification byte as a signed char, or -1
    int SendBsl();
    int SendFirstLoader();
    int SendSecondLoader(CProgressSink* pProgress);
    int TestConnection(CProgressSink* pProgress);

    // Flasher program commands. Each group command follows its selector.
    int SendEchoedByte(int nByte);
    int SelectEraseGroup();
    int SelectInfoGroup();
    int SelectFlashGroup();
    int GetSectorCount();   // signed count; 0 on failure
    int EraseChip();
    int EraseSector(int nSector);
    std::unique_ptr<std::string> GetInfoText();   // new text owned by the caller; null on failure
    int ProgramImage(CProgressSink* pProgress, const CHexFile* pImage);
    int SendBlock(const uint8_t* pData, int nLength, uint32_t dwAddress);
    // On a difference the read-back is ended ('B') and the first difference is kept below.
    int VerifyImage(CProgressSink* pProgress, const CHexFile* pImage);
    // After VerifyImage: whether the flasher program waits for the next command, its
    // read-back ended properly (after a match, and after a difference whose ending was echoed).
    bool IsFlasherReady() const { return m_bFlasherReady != 0; }
    // Reads nLength bytes of flash from dwStart through the read-back exchange, after
    // SelectFlashGroup; ends it with 'B'. The range must lie below 2^24. 0 / -1.
    int ReadFlash(CProgressSink* pProgress, uint32_t dwStart, uint32_t nLength, uint8_t* pBuffer);

    // The state and the facts of the last operations, for the caller's reports.
    bool IsInitialized() const { return m_bInitialized != 0; }
    bool IsConnected() const { return m_bConnected != 0; }
    // The flasher program's size in bytes, once Init has loaded it; 0 before.
    int GetFlasherByteCount() const;
    // The port's latency timer as Init found and set it (a plain line: nothing found).
    const CLatencyTimer& GetLatencyTimer() const;
    // The system's reason when Init could not open the port (errno and its text on POSIX,
    // GetLastError and its text on Windows); 0 and empty otherwise. Kept after Close.
    int GetSystemError() const { return m_nSystemError; }
    const std::string& GetSystemErrorText() const { return m_strSystemError; }
    // What a failed Init failed on: the port as given, or the loader file's path and what is
    // wrong with it ("/dir/prel1.hex: cannot be opened: ..."); empty otherwise. Kept after Close.
    const std::string& GetFailedOn() const { return m_strFailedOn; }
    // The first difference found by the last VerifyImage; null when none was found.
    const CByteDifference* GetVerifyMismatch() const
    {
        return m_bVerifyMismatch != 0 ? &m_mismatch : nullptr;
    }
    // How far the last ProgramImage came: the bytes of the blocks the board took, and the address
    // of the block under way (the one that failed, after a failure).
    int32_t GetProgrammedBytes() const { return m_nProgrammedBytes; }
    uint32_t GetProgramAddress() const { return m_dwProgramAddress; }
    // The last block whose checksum answer was wrong or missing; null when every block's was right.
    const CBlockFault* GetBlockFault() const { return m_bBlockFault != 0 ? &m_blockFault : nullptr; }
    // Puts a text in place of the last failure's, as a caller that carries on from another link would.
    void SetErrorText(const std::string& strError) { m_strError = strError; }

    static constexpr int kBslSize = 32;   // the bootstrap loader takes exactly this many bytes
    static constexpr uint32_t kAddressLimit = 0x1000000;   // addresses travel as 24 bits

private:
    // What went wrong with a pipelined byte; each step gives it its own lock-step text.
    enum class EPipeFault
    {
        None,
        WriteFailed,
        ReadFailed,
        NoEcho,      // nothing within the read limit: missing or late
        WrongEcho,   // a byte came, not the one sent: lost or garbled on the way
        NoAnswer
    };
    // One reply byte the board owes: the echo of a sent byte, or an answer stored on arrival.
    struct CPendingReply
    {
        uint8_t byEcho;
        uint8_t* pbyAnswer;   // null: an echo to compare
    };
    // The lock-step texts of one step; null leaves the text as it was.
    struct CPipeTexts
    {
        const char* pszWriteFailed;
        const char* pszReadFailed;
        const char* pszNoEcho;
        const char* pszWrongEcho;
        const char* pszNoAnswer;
    };

    static const CPipeTexts kCommandTexts;   // flasher commands
    static const CPipeTexts kTestTexts;      // the connection test

    bool IsPipelined() const { return m_nPipelineDepth > 1; }
    // Writes byValue once fewer than the depth's replies are owed (taking them in order until
    // then) and notes its echo and nAnswers answers to come into pbyAnswers. 0 / -1.
    int SendAhead(uint8_t byValue, int nAnswers, uint8_t* pbyAnswers);
    int TakeReply();        // the oldest owed reply, one timed read: 0 / -1
    int TakeAllReplies();   // 0 / -1
    // -1 with the step's text for the last fault; what is still owed is forgotten.
    int FailPipe(const CPipeTexts& texts);
    // The read-back exchanges in order: fnNext gives the next address (false: none left), fnCheck
    // takes each answer pair (0 go on, 1 stop). Pipelined, what is in flight at a stop is taken
    // before returning. 0 all done, 1 stopped, -1 failed.
    int RunReadBacks(const std::function<bool(uint32_t*)>& fnNext,
                     const std::function<int(uint32_t, uint8_t, uint8_t)>& fnCheck);
    void NoteVerifyMismatch(uint32_t dwAddress, uint8_t byExpected, uint8_t byRead);

    int Fail(const char* pszError);
    // Init's steps around opening the port: creating the images, then checking and loading them.
    void CreateImages(const char* pszBslFile, const char* pszFirstLoaderFile,
                      const char* pszSecondLoaderFile);
    int LoadImages();
    // One byte out on the port: the number written (1), or -1.
    int WriteByte(uint8_t byValue);
    // One timed read: 0 with *pnCount 0 or 1, or -1.
    int ReadByte(uint8_t* pby, int* pnCount);
    // Up to nReads timed reads until one delivers a byte: 1 byte, 0 none, -1 read failure.
    int ReadWithin(int nReads, uint8_t* pby);
    // 'V' and a 24-bit address, then the two bytes the flasher answers. 0 / -1.
    int ReadBackPair(uint32_t dwAddress, uint8_t* pbyFirst, uint8_t* pbySecond);
    int EndVerifyMismatch(uint32_t dwAddress, uint8_t byExpected, uint8_t byRead);

    std::string m_strError;
    int m_bInitialized;
    int m_bConnected;
    CHexFile* m_pBsl;
    CHexFile* m_pFirstLoader;
    CHexFile* m_pSecondLoader;
    CBytePort* m_pPort;
    int m_nSystemError;
    std::string m_strSystemError;
    std::string m_strFailedOn;
    int m_bVerifyMismatch;
    CByteDifference m_mismatch;
    int m_bFlasherReady;
    int m_nPipelineDepth;
    double m_dRoundTripMs;
    int32_t m_nProgrammedBytes;
    uint32_t m_dwProgramAddress;
    int m_bBlockFault;
    CBlockFault m_blockFault;
    std::deque<CPendingReply> m_dequeOwed;
    EPipeFault m_ePipeFault;
};
