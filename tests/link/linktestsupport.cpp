#include "linktestsupport.h"

#include "job/bootchain.h"
#include "job/jobsink.h"

CWireEntries Entries(const std::vector<CWireByte>& log)
{
    CWireEntries entries;
    for (const CWireByte& wire : log)
        entries.emplace_back(wire.bToBoard, wire.byValue);
    return entries;
}

void CTargetFilesFixture::SetUp()
{
    WriteTargets();
}

void CTargetFilesFixture::WriteTargets(size_t nFlasherSize, int nSectors, const std::string& strInfo)
{
    ASSERT_TRUE(WriteTargetFiles(m_dir, nFlasherSize, nSectors, strInfo));
}

void CBoardFixture::SetUp()
{
    CTargetFilesFixture::SetUp();
    ASSERT_EQ(0, m_board.Start());
}

void CBoardFixture::TearDown()
{
    m_link.Close();
    m_board.Stop();
}

int CBoardFixture::Init(CTargetLink& link)
{
    return link.Init(m_board.GetDevicePath().c_str(), kLinkBaudRate, m_dir.Path("prel1.hex").c_str(),
                     m_dir.Path("prel2.hex").c_str(), m_dir.Path("main.h86").c_str());
}

int CBoardFixture::Boot(CTargetLink& link, CJobSink* pSink, const std::string& strBoardName,
                        int nPipelineDepth)
{
    CBootSettings settings;
    settings.nPipelineDepth = nPipelineDepth;
    settings.strPort = m_board.GetDevicePath();
    settings.nBaudRate = kLinkBaudRate;
    settings.strLoaderDir = m_dir.Path();
    settings.strBoardName = strBoardName;
    CLineSink quiet;
    return RunBootChain(link, settings, pSink ? *pSink : quiet);
}

void CMemoryBoardFixture::TearDown()
{
    m_link.Close();
}

int CMemoryBoardFixture::Init(CTargetLink& link)
{
    return link.Init(m_board.Open(), m_dir.Path("prel1.hex").c_str(), m_dir.Path("prel2.hex").c_str(),
                     m_dir.Path("main.h86").c_str());
}

int CMemoryBoardFixture::Boot(CTargetLink& link, int nPipelineDepth)
{
    link.SetPipelineDepth(nPipelineDepth);
    return Init(link) != 0 || link.Connect() == -1 || link.SendBsl() != 0 || link.SendFirstLoader() != 0 ||
                   link.SendSecondLoader(nullptr) != 0 || link.TestConnection(nullptr) != 0
               ? -1
               : 0;
}
