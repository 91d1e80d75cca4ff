#include "linktestsupport.h"

#include <stdexcept>

#include "hex/hexwriter.h"
#include "job/bootchain.h"
#include "sim/targetfiles.h"
#include "support/quietsink.h"

void WriteHexFile(const std::string& strPath, const std::vector<CSegment>& segments)
{
    CHexWriter writer(EHexAddressing::Linear);
    for (const CSegment& segment : segments)
        writer.AddData(segment.first, segment.second);
    if (writer.WriteFile(strPath) != 0)
        throw std::runtime_error("cannot write " + strPath);
}

std::vector<uint8_t> Pattern(size_t nBytes, uint8_t bySeed)
{
    std::vector<uint8_t> bytes(nBytes);
    for (size_t i = 0; i < nBytes; ++i)
        bytes[i] = static_cast<uint8_t>(bySeed + i * 7 + (i >> 8));
    return bytes;
}

CWireEntries Entries(const std::vector<CWireByte>& log)
{
    CWireEntries entries;
    for (const CWireByte& wire : log)
        entries.emplace_back(wire.bToBoard, wire.byValue);
    return entries;
}

void CBoardFixture::SetUp()
{
    WriteTargets();
    ASSERT_EQ(0, m_board.Start());
}

void CBoardFixture::TearDown()
{
    m_link.Close();
    m_board.Stop();
}

void CBoardFixture::WriteTargets(size_t nFlasherSize, int nSectors, const std::string& strInfo)
{
    ASSERT_EQ(0, CTargetFiles::WriteLoaderFiles(m_dir.Path("prel1.hex"), m_dir.Path("prel2.hex"),
                                                CTargetFiles::kStandardFirstLoaderSize));
    ASSERT_EQ(0, CTargetFiles::WriteFlasher(m_dir.Path("main.h86"), nFlasherSize, nSectors, strInfo));
}

int CBoardFixture::Init(CTargetLink& link)
{
    return link.Init(m_board.GetDevicePath().c_str(), kLinkBaudRate, m_dir.Path("prel1.hex").c_str(),
                     m_dir.Path("prel2.hex").c_str(), m_dir.Path("main.h86").c_str());
}

int CBoardFixture::Boot(CTargetLink& link, int nPipelineDepth)
{
    CBootSettings settings;
    settings.nPipelineDepth = nPipelineDepth;
    settings.strPort = m_board.GetDevicePath();
    settings.nBaudRate = kLinkBaudRate;
    settings.strLoaderDir = m_dir.Path();
    CQuietSink sink;
    return RunBootChain(link, settings, sink);
}

std::vector<uint8_t> CBoardFixture::ToBoard() const
{
    std::vector<uint8_t> bytes;
    for (const CWireByte& wire : m_board.GetWireLog())
        if (wire.bToBoard)
            bytes.push_back(wire.byValue);
    return bytes;
}

std::vector<uint8_t> CBoardFixture::FromBoard() const
{
    std::vector<uint8_t> bytes;
    for (const CWireByte& wire : m_board.GetWireLog())
        if (!wire.bToBoard)
            bytes.push_back(wire.byValue);
    return bytes;
}
