#include "sim/flashmemory.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int CFlashMemory::Create(int nSectors)
{
    if (nSectors < 0 || nSectors > kMaxSectors)
        return -1;
    m_nSectors = nSectors;
    m_vecBytes.assign(static_cast<size_t>(nSectors) * kSectorSize, kErased);
    return 0;
}

void CFlashMemory::Program(uint32_t dwAddress, uint8_t byValue)
{
    if (dwAddress < m_vecBytes.size())
        m_vecBytes[dwAddress] &= byValue;
}

uint8_t CFlashMemory::Read(uint32_t dwAddress) const
{
    return dwAddress < m_vecBytes.size() ? m_vecBytes[dwAddress] : kErased;
}

int CFlashMemory::EraseSector(int nSector)
{
    if (nSector < 0 || nSector >= m_nSectors)
        return -1;
    auto itStart = m_vecBytes.begin() + static_cast<std::ptrdiff_t>(nSector) * kSectorSize;
    std::fill(itStart, itStart + kSectorSize, kErased);
    return 0;
}

void CFlashMemory::EraseChip()
{
    std::fill(m_vecBytes.begin(), m_vecBytes.end(), kErased);
}

int CFlashMemory::SetBytes(const std::vector<uint8_t>& vecBytes)
{
    const size_t nSize = vecBytes.size();
    if (nSize == 0 || nSize % kSectorSize != 0 || nSize / kSectorSize > kMaxSectors)
        return -1;
    m_vecBytes = vecBytes;
    m_nSectors = static_cast<int>(nSize / kSectorSize);
    return 0;
}

int CFlashMemory::SaveFile(const std::string& strPath, const std::vector<uint8_t>& vecBytes)
{
    // Write beside the target and rename, so a board killed mid-save never leaves half a flash.
    const std::string strTemp = strPath + ".tmp";
    int hFile = open(strTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (hFile < 0)
        return -1;
    size_t nDone = 0;
    while (nDone < vecBytes.size()) {
        ssize_t n = write(hFile, vecBytes.data() + nDone, vecBytes.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(hFile);
            unlink(strTemp.c_str());
            return -1;
        }
        nDone += static_cast<size_t>(n);
    }
    if (close(hFile) != 0 || rename(strTemp.c_str(), strPath.c_str()) != 0) {
        unlink(strTemp.c_str());
        return -1;
    }
    return 0;
}

int CFlashMemory::LoadFile(const std::string& strPath, std::vector<uint8_t>& vecBytes)
{
    int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0)
        return -1;
    struct stat st
    {};
    if (fstat(hFile, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > static_cast<off_t>(kMaxSectors) * kSectorSize) {
        close(hFile);
        return -1;
    }
    std::vector<uint8_t> vecRead(static_cast<size_t>(st.st_size));
    size_t nDone = 0;
    while (nDone < vecRead.size()) {
        ssize_t n = read(hFile, vecRead.data() + nDone, vecRead.size() - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        nDone += static_cast<size_t>(n);
    }
    close(hFile);
    if (nDone != vecRead.size())
        return -1;
    vecBytes.swap(vecRead);
    return 0;
}
