#include "linktestsupport.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

CTempDir::CTempDir()
{
    char szTemplate[] = "/tmp/kelvora-test-XXXXXX";
    if (mkdtemp(szTemplate) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    m_strPath = szTemplate;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

namespace
{
void WriteRecord(FILE* pFile, uint16_t wAddress, uint8_t byType, const uint8_t* pData, size_t nBytes)
{
    unsigned nSum = static_cast<unsigned>(nBytes) + (wAddress >> 8) + (wAddress & 0xFFu) + byType;
    std::fprintf(pFile, ":%02X%04X%02X", static_cast<unsigned>(nBytes), wAddress, byType);
    for (size_t i = 0; i < nBytes; ++i) {
        std::fprintf(pFile, "%02X", pData[i]);
        nSum += pData[i];
    }
    std::fprintf(pFile, "%02X\n", (0x100u - (nSum & 0xFFu)) & 0xFFu);
}
}

void WriteHexFile(const std::string& strPath, const std::vector<CSegment>& segments)
{
    FILE* pFile = std::fopen(strPath.c_str(), "w");
    if (pFile == nullptr)
        throw std::runtime_error("cannot write " + strPath);
    uint32_t dwUpper = 0;
    for (const CSegment& segment : segments) {
        size_t nDone = 0;
        while (nDone < segment.second.size()) {
            const uint32_t dwAddress = segment.first + static_cast<uint32_t>(nDone);
            if ((dwAddress >> 16) != dwUpper) {
                dwUpper = dwAddress >> 16;
                const uint8_t abyUpper[2] = {static_cast<uint8_t>(dwUpper >> 8), static_cast<uint8_t>(dwUpper)};
                WriteRecord(pFile, 0, 0x04, abyUpper, 2);
            }
            // A record never crosses a 64 KiB page, so the page record above stays right.
            size_t nChunk = std::min<size_t>(16, segment.second.size() - nDone);
            nChunk = std::min<size_t>(nChunk, 0x10000u - (dwAddress & 0xFFFFu));
            WriteRecord(pFile, static_cast<uint16_t>(dwAddress), 0x00, segment.second.data() + nDone, nChunk);
            nDone += nChunk;
        }
    }
    WriteRecord(pFile, 0, 0x01, nullptr, 0);
    std::fclose(pFile);
}

void WriteEmptyHexFile(const std::string& strPath)
{
    WriteHexFile(strPath, {});
}

std::vector<uint8_t> Pattern(size_t nBytes, uint8_t bySeed)
{
    std::vector<uint8_t> bytes(nBytes);
    for (size_t i = 0; i < nBytes; ++i)
        bytes[i] = static_cast<uint8_t>(bySeed + i * 7 + (i >> 8));
    return bytes;
}

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

CPtyPair::CPtyPair()
{
    m_nMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_nMaster < 0 || grantpt(m_nMaster) != 0 || unlockpt(m_nMaster) != 0)
        throw std::runtime_error("no pseudo-terminal");
    m_strSlave = ptsname(m_nMaster);
}

CPtyPair::~CPtyPair()
{
    close(m_nMaster);
}
