#include "link/targetlink.h"

#include <chrono>
#include <thread>

#include "hex/hexfile.h"
#include "serial/rs232port.h"

namespace
{
// Pause after closing an initialised port, so that a board still sending has stopped
// before the same device is opened again.
constexpr std::chrono::milliseconds kClosePause(100);
}   // namespace

CTargetLink::CTargetLink()
    : m_bInitialized(0), m_bConnected(0), m_pBsl(nullptr), m_pFirstLoader(nullptr), m_pSecondLoader(nullptr),
      m_pPort(nullptr), m_nSystemError(0), m_bVerifyMismatch(0), m_dwMismatchAddress(0),
      m_byMismatchExpected(0), m_byMismatchRead(0), m_bFlasherReady(0)
{}

CTargetLink::~CTargetLink()
{
    // The owner closes first; this only catches an owner that forgot, so that the reader
    // thread and the device are never left behind.
    Close();
}

int CTargetLink::Init(const char* pszPort, int nBaudRate, const char* pszBslFile,
                      const char* pszFirstLoaderFile, const char* pszSecondLoaderFile)
{
    // A second Init on the same object starts from scratch instead of leaking the first.
    if (m_pPort != nullptr || m_pBsl != nullptr)
        Close();

    m_pPort = new CRS232Port();
    m_pBsl = new CHexFile(pszBslFile != nullptr ? pszBslFile : "");
    m_pFirstLoader = new CHexFile(pszFirstLoaderFile != nullptr ? pszFirstLoaderFile : "");
    m_pSecondLoader = new CHexFile(pszSecondLoaderFile != nullptr ? pszSecondLoaderFile : "");

    m_strError.clear();
    m_nSystemError = 0;
    m_strSystemError.clear();

    if (m_pPort->Open(pszPort != nullptr ? pszPort : "", nBaudRate) != 0) {
        m_nSystemError = m_pPort->GetLastSystemError();
        m_strSystemError = m_pPort->GetLastSystemErrorText();
        return Fail("Error, cannot open serial port");
    }

    if (m_pBsl->Verify() != 0)
        return Fail("Error reading bsl");
    if (m_pFirstLoader->Verify() != 0)
        return Fail("Error reading first stage loader");
    if (m_pSecondLoader->Verify() != 0)
        return Fail("Error reading second stage loader");

    if (m_pBsl->m_nByteCount != kBslSize)
        return Fail("Error, bsl byte count size is not 32");

    if (m_pBsl->Load() != 0)
        return Fail("Error loading bsl file into memory");
    if (m_pFirstLoader->Load() != 0)
        return Fail("Error loading first stage loader code into pc memory");
    if (m_pSecondLoader->Load() != 0)
        return Fail("Error loading second stage loader code into pc memory");

    m_bInitialized = 1;
    return 0;
}

void CTargetLink::Close()
{
    if (m_bInitialized != 0) {
        m_pPort->Close();
        std::this_thread::sleep_for(kClosePause);
    }
    delete m_pPort;   // its destructor releases whatever a failed Init left open
    delete m_pBsl;
    delete m_pFirstLoader;
    delete m_pSecondLoader;
    m_pPort = nullptr;
    m_pBsl = nullptr;
    m_pFirstLoader = nullptr;
    m_pSecondLoader = nullptr;
    m_bInitialized = 0;
    m_bConnected = 0;
}

std::string CTargetLink::GetErrorText() const
{
    return m_strError;
}

int CTargetLink::Fail(const char* pszError)
{
    m_strError = pszError;
    return -1;
}

int CTargetLink::WriteByte(uint8_t byValue)
{
    if (m_pPort == nullptr)
        return -1;
    return m_pPort->Write(&byValue, 1);
}

int CTargetLink::ReadByte(uint8_t* pby, int* pnCount)
{
    *pnCount = 0;
    if (m_pPort == nullptr)
        return -1;
    char ch = 0;
    int nResult = m_pPort->ReadChar(&ch, pnCount);
    *pby = static_cast<uint8_t>(ch);
    return nResult;
}

int CTargetLink::ReadWithin(int nReads, uint8_t* pby)
{
    for (int i = 0; i < nReads; ++i) {
        int nCount = 0;
        if (ReadByte(pby, &nCount) != 0)
            return -1;
        if (nCount == 1)
            return 1;
    }
    return 0;
}
