// Pieces the benchmarks share: a clock and the direct-loop baseline.
#pragma once

#include <chrono>

inline double SecondsSince(std::chrono::steady_clock::time_point tpStart)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - tpStart).count();
}

// Seconds for nExchanges one-byte write / poll / read exchanges on a pseudo-terminal whose
// other side echoes every byte at once: what a byte round trip costs without our port layer.
// Negative on failure.
double DirectEchoSeconds(int nExchanges);
