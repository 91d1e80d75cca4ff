// Shared pieces of the link tests: temporary folders, hex files, progress recording.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "link/progresssink.h"

// A fresh folder under /tmp, removed with everything in it.
class CTempDir
{
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    std::string Path(const std::string& strName) const { return m_strPath + "/" + strName; }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// Bytes at an address; a segment of an image.
using CSegment = std::pair<uint32_t, std::vector<uint8_t>>;

// Writes an Intel hex file (16 data bytes per record, extended linear records where needed).
void WriteHexFile(const std::string& strPath, const std::vector<CSegment>& segments);
// A file that passes the validating pass but holds no data bytes.
void WriteEmptyHexFile(const std::string& strPath);
// n bytes of a simple pattern at an address.
std::vector<uint8_t> Pattern(size_t nBytes, uint8_t bySeed = 0);

// Records every position a link operation reports.
class CRecordingProgress : public CProgressSink
{
public:
    void SetProgress(int nPos) override { m_positions.push_back(nPos); }
    std::vector<int> m_positions;
};

// A pseudo-terminal whose slave side the link opens; the test holds the master.
class CPtyPair
{
public:
    CPtyPair();
    ~CPtyPair();
    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;
    const std::string& SlavePath() const { return m_strSlave; }
    int Master() const { return m_nMaster; }

private:
    int m_nMaster;
    std::string m_strSlave;
};
