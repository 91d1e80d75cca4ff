// libFuzzer target: any bytes as the board's side of one job on an in-memory port (see
// fuzz/linkjob.h for the format): boot chain, connection test, sector count, an erase,
// programming a small image and verifying it, lock-step or pipelined as the input says.
// Checks: every timed wait ends within its bound in reads; a step that reports success sent
// exactly the protocol's bytes and got exactly the protocol's answers for this job.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "hex/hexfile.h"
#include "link/progresssink.h"
#include "link/targetlink.h"
#include "linkjob.h"
#include "serial/memoryport.h"

namespace
{
constexpr const char* kUntouched = "(untouched)";   // the error text a step finds
constexpr uint8_t kStatusFailed = 0x45;             // 'E': an erase that failed

void Check(bool bCondition, const char* pszWhat)
{
    if (!bCondition) {
        std::fprintf(stderr, "link fuzzer: %s\n", pszWhat);
        std::abort();
    }
}

// The files once per process, on tmpfs where there is one.
struct CScratch
{
    std::string strDir;
    std::unique_ptr<CHexFile> pEven;
    std::unique_ptr<CHexFile> pOdd;

    CScratch()
    {
        strDir = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/kelvora_linkfuzz_" +
                 std::to_string(getpid());
        Check(mkdir(strDir.c_str(), 0700) == 0 && WriteJobFiles(strDir) == 0, "scratch files");
        pEven = Load("even.hex");
        pOdd = Load("odd.hex");
    }
    ~CScratch()
    {
        for (const char* pszName : {"prel1.hex", "prel2.hex", "main.h86", "even.hex", "odd.hex"})
            std::remove(Path(pszName).c_str());
        rmdir(strDir.c_str());
    }
    std::string Path(const char* pszName) const { return strDir + "/" + pszName; }
    std::unique_ptr<CHexFile> Load(const char* pszName) const
    {
        auto pFile = std::make_unique<CHexFile>(Path(pszName).c_str());
        Check(pFile->Verify() == 0 && pFile->Load() == 0, "image loads");
        return pFile;
    }
};

const CScratch& Scratch()
{
    static const CScratch scratch;
    return scratch;
}

// Positions within 0..100, or above for a counter that ran past the byte count, never below.
class CProgressCheck : public CProgressSink
{
public:
    void SetProgress(int nPos) override { Check(nPos >= 0, "progress is never negative"); }
};

// The in-memory port, watching one step at a time.
class CCheckedPort : public CMemoryPort
{
public:
    void Begin(const CJobStep& step)
    {
        m_pStep = &step;
        m_vecPc.clear();
        m_vecBoard.clear();
        m_bReadFailed = false;
        m_bOnScript = true;
        m_nEmptyRun = 0;
    }

    int Write(const void* pBuffer, int n) override
    {
        const int nResult = CMemoryPort::Write(pBuffer, n);
        for (int i = 0; i < nResult; ++i) {
            const uint8_t by = static_cast<const uint8_t*>(pBuffer)[i];
            m_bOnScript =
                m_bOnScript && m_vecPc.size() < m_pStep->vecPc.size() && m_pStep->vecPc[m_vecPc.size()] == by;
            m_vecPc.push_back(by);
        }
        return nResult;
    }

    int ReadChar(char* pch, int* pnCount) override
    {
        const int nResult = CMemoryPort::ReadChar(pch, pnCount);
        if (nResult != 0) {
            m_bReadFailed = true;
        } else if (*pnCount == 1) {
            m_vecBoard.push_back(static_cast<uint8_t>(*pch));
            m_nEmptyRun = 0;
        } else {
            // The wait is the one after the PC's last byte; off the script only echoes are awaited.
            const int nBound = m_vecPc.empty() || !m_bOnScript ? 1 : m_pStep->vecBound[m_vecPc.size() - 1];
            Check(++m_nEmptyRun <= nBound, "a timed wait went past its bound in reads");
        }
        return nResult;
    }

    const std::vector<uint8_t>& GetPc() const { return m_vecPc; }
    const std::vector<uint8_t>& GetBoard() const { return m_vecBoard; }
    bool HasReadFailed() const { return m_bReadFailed; }

private:
    const CJobStep* m_pStep = nullptr;
    std::vector<uint8_t> m_vecPc;
    std::vector<uint8_t> m_vecBoard;
    bool m_bReadFailed = false;
    bool m_bOnScript = true;
    int m_nEmptyRun = 0;
};

bool IsExpected(const std::vector<uint8_t>& vecGot, const std::vector<int>& vecExpected)
{
    if (vecGot.size() != vecExpected.size())
        return false;
    for (size_t i = 0; i < vecGot.size(); ++i) {
        const bool bMatch = vecExpected[i] == kAnyByte ||
                            (vecExpected[i] == kAnyStatus && vecGot[i] != kStatusFailed) ||
                            vecExpected[i] == vecGot[i];
        if (!bMatch)
            return false;
    }
    return true;
}

// Runs one step; true when the link reports success.
bool RunStep(CTargetLink& link, CCheckedPort& port, const CJobStep& step, const CLinkJob& job,
             const CHexFile& image)
{
    port.Begin(step);
    link.SetErrorText(kUntouched);
    CProgressCheck progress;
    int nCount = 0;
    bool bSuccess = false;
    switch (step.eOp) {
    case EJobOp::Connect: {
        const int nId = link.Connect();
        bSuccess = nId != -1;
        Check(!bSuccess || nId == -59, "Connect gives the ID as a signed char");
        break;
    }
    case EJobOp::SendBsl:
        bSuccess = link.SendBsl() == 0;
        break;
    case EJobOp::SendFirstLoader:
        bSuccess = link.SendFirstLoader() == 0;
        break;
    case EJobOp::SendSecondLoader:
        bSuccess = link.SendSecondLoader(&progress) == 0;
        break;
    case EJobOp::TestConnection:
        bSuccess = link.TestConnection(&progress) == 0;
        break;
    case EJobOp::SelectEraseGroup:
        bSuccess = link.SelectEraseGroup() == 0;
        break;
    case EJobOp::GetSectorCount:
        nCount = link.GetSectorCount();
        bSuccess = link.GetErrorText() == kUntouched;   // its failure shows only in the text
        break;
    case EJobOp::EraseChip:
        bSuccess = link.EraseChip() == 0;
        break;
    case EJobOp::EraseSector:
        bSuccess = link.EraseSector(job.nSector) == 0;
        break;
    case EJobOp::SelectFlashGroup:
        bSuccess = link.SelectFlashGroup() == 0;
        break;
    case EJobOp::ProgramImage:
        bSuccess = link.ProgramImage(&progress, &image) == 0;
        Check(!bSuccess || link.GetProgrammedBytes() == image.m_nByteCount, "programmed bytes on success");
        break;
    case EJobOp::VerifyImage:
        bSuccess = link.VerifyImage(&progress, &image) == 0;
        break;
    }

    if (bSuccess) {
        Check(port.GetPc() == step.vecPc, "a step that succeeds sent the protocol's bytes for this job");
        Check(!port.HasReadFailed(), "a step that succeeds had no failed read");
        Check(IsExpected(port.GetBoard(), step.vecBoard), "a step that succeeds got the protocol's answers");
        if (step.eOp == EJobOp::GetSectorCount)
            Check(nCount == static_cast<signed char>(port.GetBoard().back()),
                  "the sector count as the board sent it");
        if (step.eOp == EJobOp::VerifyImage)
            Check(link.GetVerifyMismatch() == nullptr, "no difference after a verify that succeeds");
    } else if (step.eOp == EJobOp::VerifyImage && link.GetVerifyMismatch() != nullptr) {
        const CByteDifference& difference = *link.GetVerifyMismatch();
        const HexItem* pItem = image.m_pFirst;
        while (pItem != nullptr && pItem->dwAddress != difference.dwAddress)
            pItem = pItem->pNext;
        Check(pItem != nullptr && pItem->byValue == difference.byExpected &&
                  difference.byRead != difference.byExpected,
              "a verify difference names an image byte and what the board had instead");
    }
    return bSuccess;
}

// The board's side after the header, into the port's script.
void Script(CMemoryPort& port, const uint8_t* pData, size_t nSize)
{
    for (size_t i = 0; i < nSize; ++i) {
        if (pData[i] != kEscape) {
            port.Send(pData[i]);
            continue;
        }
        if (++i == nSize)
            return;
        if (pData[i] == 0)
            port.Send(kEscape);
        else if (pData[i] == kEscapeLost)
            port.LoseLine();
        else
            port.Wait(pData[i]);
    }
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < sizeof(CJobHeader))
        return 0;
    const CScratch& scratch = Scratch();
    // The job of a variant once per process, the depth apart: building it costs as much as running it.
    static std::unique_ptr<CLinkJob> apJobs[256];
    std::unique_ptr<CLinkJob>& pJob = apJobs[pData[1]];
    if (!pJob)
        pJob = std::make_unique<CLinkJob>(MakeLinkJob(pData[1]));
    const CLinkJob& job = *pJob;
    const CHexFile& image = job.bOddImage ? *scratch.pOdd : *scratch.pEven;

    auto pOwned = std::make_unique<CCheckedPort>();
    CCheckedPort& port = *pOwned;   // the link's until Close
    Script(port, pData + sizeof(CJobHeader), nSize - sizeof(CJobHeader));
    CTargetLink link;
    link.SetPipelineDepth(pData[0]);
    Check(link.Init(std::move(pOwned), scratch.Path("prel1.hex").c_str(), scratch.Path("prel2.hex").c_str(),
                    scratch.Path("main.h86").c_str()) == 0,
          "Init on the in-memory port");
    for (const CJobStep& step : job.steps)
        if (!RunStep(link, port, step, job, image))
            break;
    link.Close();
    return 0;
}
