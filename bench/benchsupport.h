// Pieces the benchmarks share: a temporary folder, a clock, and the direct-loop baseline.
#pragma once

#include <chrono>
#include <string>

class CBenchDir
{
public:
    CBenchDir();
    ~CBenchDir();
    CBenchDir(const CBenchDir&) = delete;
    CBenchDir& operator=(const CBenchDir&) = delete;
    std::string Path(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};

inline double SecondsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
}

// Seconds for nExchanges one-byte write / poll / read exchanges on a pseudo-terminal whose
// other side echoes every byte at once: what a byte round trip costs without our port layer.
// Negative on failure.
double DirectEchoSeconds(int nExchanges);
