// Helpers shared by the hex image tests: a scratch directory, files, records, image walks.
#pragma once

#include "hex/hexfile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

// A fresh directory under the system's temporary directory, removed with everything in it.
class CScratchDir
{
public:
    CScratchDir()
    {
        std::string strTemplate = (std::filesystem::temp_directory_path() / "kelvora_hex_XXXXXX").string();
        if (mkdtemp(strTemplate.data()) != nullptr)
            m_path = strTemplate;
    }
    ~CScratchDir()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    std::string Path(const std::string& strName) const { return (m_path / strName).string(); }
    const std::filesystem::path& Root() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void WriteFile(const std::string& strPath, const std::string& strContent)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    file.write(strContent.data(), static_cast<std::streamsize>(strContent.size()));
}

// One record with a correct checksum (moved by nChecksumDelta); the type as its two characters.
inline std::string Record(const char* pszType, uint16_t wAddress, const std::vector<uint8_t>& data,
                          int nChecksumDelta = 0)
{
    const unsigned nType = static_cast<unsigned>(std::strtoul(pszType, nullptr, 16));
    unsigned nSum = static_cast<unsigned>(data.size()) + (wAddress >> 8) + (wAddress & 0xFF) + nType;
    char sz[8];
    std::snprintf(sz, sizeof(sz), ":%02X%04X", static_cast<unsigned>(data.size()), wAddress);
    std::string str = sz + std::string(pszType);
    for (uint8_t by : data)
    {
        std::snprintf(sz, sizeof(sz), "%02X", by);
        str += sz;
        nSum += by;
    }
    std::snprintf(sz, sizeof(sz), "%02X", (0x100 - (nSum & 0xFF) + nChecksumDelta) & 0xFF);
    return str + sz;
}

inline std::vector<uint8_t> Bytes(size_t nCount, uint8_t bySeed = 0)
{
    std::vector<uint8_t> data(nCount);
    for (size_t i = 0; i < nCount; ++i)
        data[i] = static_cast<uint8_t>(bySeed + 7 * i);
    return data;
}

// The image as (address, value) pairs in list order; checks the array layout on the way:
// entry k links to entry k + 1, the last to null, and the count matches.
inline std::vector<std::pair<uint32_t, uint8_t>> Walk(CHexFile& hex)
{
    std::vector<std::pair<uint32_t, uint8_t>> items;
    for (hex.m_pCurrent = hex.m_pFirst; hex.m_pCurrent != nullptr; hex.m_pCurrent = hex.m_pCurrent->pNext)
    {
        const HexItem* p = hex.m_pCurrent;
        EXPECT_TRUE(p->pNext == nullptr || p->pNext == p + 1) << "item " << items.size();
        items.emplace_back(p->dwAddress, p->byValue);
    }
    EXPECT_EQ(items.size(), static_cast<size_t>(hex.m_nByteCount));
    return items;
}
