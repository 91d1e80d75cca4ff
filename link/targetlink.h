// The PC side of one connection with the board: the serial port, the three images of the
// loader chain, the boot sequence and the flasher program's commands.
// Every operation blocks; results are 0 / -1 with the reason in GetErrorText().
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CHexFile;
class CRS232Port;
class CProgressSink;

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
    // Ends the connection; safe after a failed Init and when already closed.
    void Close();
    std::string GetErrorText() const;

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
    int ProgramImage(CProgressSink* pProgress, CHexFile* pImage);
    int SendBlock(const uint8_t* pData, int nLength, uint32_t dwAddress);
    // On a difference the read-back is ended ('B') and the first difference is kept below.
    int VerifyImage(CProgressSink* pProgress, CHexFile* pImage);
    // After VerifyImage: whether the flasher program waits for the next command, its
    // read-back ended properly (after a match, and after a difference whose ending was echoed).
    bool IsFlasherReady() const { return m_bFlasherReady != 0; }
    // Reads nLength bytes of flash from dwStart through the read-back exchange, after
    // SelectFlashGroup; ends it with 'B'. The range must lie below 2^24. 0 / -1.
    int ReadFlash(CProgressSink* pProgress, uint32_t dwStart, uint32_t nLength, uint8_t* pBuffer);

    std::string m_strError;
    int m_bInitialized;
    int m_bConnected;
    CHexFile* m_pBsl;
    CHexFile* m_pFirstLoader;
    CHexFile* m_pSecondLoader;
    CRS232Port* m_pPort;
    // The system's reason when Init could not open the port (errno and its text on POSIX,
    // GetLastError and its text on Windows); 0 and empty otherwise. Kept after Close.
    int m_nSystemError;
    std::string m_strSystemError;
    // The first difference found by the last VerifyImage: set when m_bVerifyMismatch is 1.
    int m_bVerifyMismatch;
    uint32_t m_dwMismatchAddress;
    uint8_t m_byMismatchExpected;   // the image's byte
    uint8_t m_byMismatchRead;       // the board's byte
    int m_bFlasherReady;

    static constexpr int kBslSize = 32;
    static constexpr uint32_t kAddressLimit =
        0x1000000;   // addresses travel as 24 bits   // the bootstrap loader takes exactly this many bytes

private:
    int Fail(const char* pszError);
    // One byte out on the port: the number written (1), or -1.
    int WriteByte(uint8_t byValue);
    // One timed read: 0 with *pnCount 0 or 1, or -1.
    int ReadByte(uint8_t* pby, int* pnCount);
    // Up to nReads timed reads until one delivers a byte: 1 byte, 0 none, -1 read failure.
    int ReadWithin(int nReads, uint8_t* pby);
    // 'V' and a 24-bit address, then the two bytes the flasher answers. 0 / -1.
    int ReadBackPair(uint32_t dwAddress, uint8_t* pbyFirst, uint8_t* pbySecond);
    int EndVerifyMismatch(uint32_t dwAddress, uint8_t byExpected, uint8_t byRead);
};
