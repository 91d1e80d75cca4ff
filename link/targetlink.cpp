#include "link/targetlink.h"

#include <chrono>
#include <thread>
#include <utility>

#include "hex/hexfile.h"
#include "serial/rs232port.h"

CTargetLink::CTargetLink()
    : m_bInitialized(0), m_bConnected(0), m_pBsl(nullptr), m_pFirstLoader(nullptr), m_pSecondLoader(nullptr),
      m_pPort(nullptr), m_nSystemError(0), m_bVerifyMismatch(0), m_bFlasherReady(0), m_nPipelineDepth(0),
      m_dRoundTripMs(0), m_nProgrammedBytes(0), m_dwProgramAddress(0), m_bBlockFault(0),
      m_ePipeFault(EPipeFault::None)
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

    CRS232Port* pPort = new CRS232Port();
    m_pPort = pPort;
    CreateImages(pszBslFile, pszFirstLoaderFile, pszSecondLoaderFile);
    if (pPort->Open(pszPort != nullptr ? pszPort : "", nBaudRate) != 0) {
        m_nSystemError = pPort->GetLastSystemError();
        m_strSystemError = pPort->GetLastSystemErrorText();
        m_strFailedOn = pszPort != nullptr ? pszPort : "";
        return Fail("Error, cannot open serial port");
    }
    return LoadImages();
}

int CTargetLink::Init(std::unique_ptr<CBytePort> pPort, const char* pszBslFile,
                      const char* pszFirstLoaderFile, const char* pszSecondLoaderFile)
{
    if (m_pPort != nullptr || m_pBsl != nullptr)
        Close();

    m_pPort = pPort.release();
    CreateImages(pszBslFile, pszFirstLoaderFile, pszSecondLoaderFile);
    if (m_pPort == nullptr)
        return Fail("Error, cannot open serial port");
    return LoadImages();
}

void CTargetLink::CreateImages(const char* pszBslFile, const char* pszFirstLoaderFile,
                               const char* pszSecondLoaderFile)
{
    m_pBsl = new CHexFile(pszBslFile != nullptr ? pszBslFile : "");
    m_pFirstLoader = new CHexFile(pszFirstLoaderFile != nullptr ? pszFirstLoaderFile : "");
    m_pSecondLoader = new CHexFile(pszSecondLoaderFile != nullptr ? pszSecondLoaderFile : "");

    m_strError.clear();
    m_nSystemError = 0;
    m_strSystemError.clear();
    m_strFailedOn.clear();
}

int CTargetLink::LoadImages()
{
    auto failOn = [this](const CHexFile* pFile, const std::string& strWhy, const char* pszError) {
        m_strFailedOn = pFile->m_szFileName + (strWhy.empty() ? "" : ": " + strWhy);
        return Fail(pszError);
    };

    if (m_pBsl->Verify() != 0)
        return failOn(m_pBsl, m_pBsl->GetFaultText(), "Error reading bsl");
    if (m_pFirstLoader->Verify() != 0)
        return failOn(m_pFirstLoader, m_pFirstLoader->GetFaultText(), "Error reading first stage loader");
    if (m_pSecondLoader->Verify() != 0)
        return failOn(m_pSecondLoader, m_pSecondLoader->GetFaultText(), "Error reading second stage loader");

    if (m_pBsl->m_nByteCount != kBslSize)
        return failOn(m_pBsl, "holds " + std::to_string(m_pBsl->m_nByteCount) + " data bytes",
                      "Error, bsl byte count size is not 32");

    if (m_pBsl->Load() != 0)
        return failOn(m_pBsl, "", "Error loading bsl file into memory");
    if (m_pFirstLoader->Load() != 0)
        return failOn(m_pFirstLoader, "", "Error loading first stage loader code into pc memory");
    if (m_pSecondLoader->Load() != 0)
        return failOn(m_pSecondLoader, "", "Error loading second stage loader code into pc memory");

    m_bInitialized = 1;
    return 0;
}

void CTargetLink::Close()
{
    if (m_bInitialized != 0) {
        m_pPort->Close();
        std::this_thread::sleep_for(m_pPort->GetSettleTime());
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
    m_dequeOwed.clear();
}

std::string CTargetLink::GetErrorText() const
{
    return m_strError;
}

int CTargetLink::GetFlasherByteCount() const
{
    return m_pSecondLoader != nullptr ? m_pSecondLoader->m_nByteCount : 0;
}

const CLatencyTimer& CTargetLink::GetLatencyTimer() const
{
    static const CLatencyTimer kNone;
    return m_pPort != nullptr ? m_pPort->GetLatencyTimer() : kNone;
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

int CTargetLink::SendAhead(uint8_t byValue, int nAnswers, uint8_t* pbyAnswers)
{
    // Never more owed than the depth, but a byte with answers goes out at least alone.
    while (!m_dequeOwed.empty() && static_cast<int>(m_dequeOwed.size()) + 1 + nAnswers > m_nPipelineDepth)
        if (TakeReply() != 0)
            return -1;
    if (WriteByte(byValue) != 1) {
        m_ePipeFault = EPipeFault::WriteFailed;
        return -1;
    }
    m_dequeOwed.push_back(CPendingReply{byValue, nullptr});
    for (int i = 0; i < nAnswers; ++i)
        m_dequeOwed.push_back(CPendingReply{0, pbyAnswers + i});
    return 0;
}

int CTargetLink::TakeReply()
{
    const CPendingReply reply = m_dequeOwed.front();
    m_dequeOwed.pop_front();
    uint8_t byRead = 0;
    int nCount = 0;
    if (ReadByte(&byRead, &nCount) != 0) {
        m_ePipeFault = EPipeFault::ReadFailed;
        return -1;
    }
    if (reply.pbyAnswer != nullptr) {
        if (nCount != 1) {
            m_ePipeFault = EPipeFault::NoAnswer;
            return -1;
        }
        *reply.pbyAnswer = byRead;
        return 0;
    }
    if (nCount != 1) {
        m_ePipeFault = EPipeFault::NoEcho;
        return -1;
    }
    if (byRead != reply.byEcho) {
        m_ePipeFault = EPipeFault::WrongEcho;
        return -1;
    }
    return 0;
}

int CTargetLink::TakeAllReplies()
{
    while (!m_dequeOwed.empty())
        if (TakeReply() != 0)
            return -1;
    return 0;
}

int CTargetLink::FailPipe(const CPipeTexts& texts)
{
    // The operation ends here: replies still on their way are never compared, so a byte lost
    // on the line can only fail it, never shift it into a later step's success.
    m_dequeOwed.clear();
    const char* pszText = nullptr;
    switch (m_ePipeFault) {
    case EPipeFault::WriteFailed:
        pszText = texts.pszWriteFailed;
        break;
    case EPipeFault::ReadFailed:
        pszText = texts.pszReadFailed;
        break;
    case EPipeFault::NoEcho:
        pszText = texts.pszNoEcho;
        break;
    case EPipeFault::WrongEcho:
        pszText = texts.pszWrongEcho;
        break;
    case EPipeFault::NoAnswer:
        pszText = texts.pszNoAnswer;
        break;
    case EPipeFault::None:
        break;
    }
    m_ePipeFault = EPipeFault::None;
    return pszText != nullptr ? Fail(pszText) : -1;
}
