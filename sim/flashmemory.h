// NOR flash model of the simulated board: uniform 32 KiB sectors from address 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CFlashMemory
{
public:
    static constexpr uint32_t kSectorSize = 32 * 1024;   // every sector of our simulated chips
    static constexpr int kMaxSectors = 255;              // a sector count travels as one byte
    static constexpr uint8_t kErased = 0xFF;             // what an erased byte reads

    // Re-creates the array erased with nSectors sectors (0..kMaxSectors); -1 for a count out of range.
    int Create(int nSectors);
    int GetSectorCount() const { return m_nSectors; }
    uint32_t GetSize() const { return static_cast<uint32_t>(m_vecBytes.size()); }

    // Programming can only clear bits, as on a real NOR chip; bytes outside the array are dropped.
    void Program(uint32_t dwAddress, uint8_t byValue);
    // Outside the array the bus reads as erased.
    uint8_t Read(uint32_t dwAddress) const;
    int EraseSector(int nSector);   // -1 for a sector beyond the count
    void EraseChip();

    const std::vector<uint8_t>& GetBytes() const { return m_vecBytes; }
    // Takes a raw image whose size is a whole number of sectors (1..kMaxSectors); else -1, unchanged.
    int SetBytes(const std::vector<uint8_t>& vecBytes);

    // Raw binary files, the whole array.
    static int SaveFile(const std::string& strPath, const std::vector<uint8_t>& vecBytes);
    static int LoadFile(const std::string& strPath, std::vector<uint8_t>& vecBytes);

private:
    int m_nSectors = 0;
    std::vector<uint8_t> m_vecBytes;
};
