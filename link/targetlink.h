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
    int VerifyImage(CProgressSink* pProgress, CHexFile* pImage);

    std::string m_strError;
    int m_bInitialized;
    int m_bConnected;
    CHexFile* m_pBsl;
    CHexFile* m_pFirstLoader;
    CHexFile* m_pSecondLoader;
    CRS232Port* m_pPort;

    static constexpr int kBslSize = 32;   // the bootstrap loader takes exactly this many bytes

private:
    int Fail(const char* pszError);
    // One byte out on the port: the number written (1), or -1.
    int WriteByte(uint8_t byValue);
    // One timed read: 0 with *pnCount 0 or 1, or -1.
    int ReadByte(uint8_t* pby, int* pnCount);
    // Up to nReads timed reads until one delivers a byte: 1 byte, 0 none, -1 read failure.
    int ReadWithin(int nReads, uint8_t* pby);
};
