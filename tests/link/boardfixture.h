// A target link talking to a simulated board over a pseudo-terminal.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "link/targetlink.h"
#include "linktestsupport.h"
#include "sim/boardsim.h"

class CBoardFixture : public ::testing::Test
{
public:
    static constexpr int kFlasherSize = 2000;
    static constexpr int kSectorCount = 8;
    static constexpr const char* kInfo = "Kelvora test flasher";
    // The simulated board is unpaced; a fast port keeps the link's own line pacing short.
    static constexpr int kLinkBaudRate = 921600;

protected:

    void SetUp() override;
    void TearDown() override;

    // Writes the loader files; the flasher program as given.
    void WriteTargets(size_t nFlasherSize = kFlasherSize, int nSectors = kSectorCount,
                      const std::string& strInfo = kInfo);
    int Init(CTargetLink& link);
    // Init and the whole boot sequence; stops at the first failure with its result.
    int Boot(CTargetLink& link);
    // Bytes that crossed the wire in one direction since the log was cleared.
    std::vector<uint8_t> ToBoard() const;
    std::vector<uint8_t> FromBoard() const;
    // Bytes the board has received since its last reset: the index of the next one.
    long long ReceivedSinceStart() const;
    long long SentSinceStart() const;

    CTempDir m_dir;
    CBoardSim m_board;
    CTargetLink m_link;
};

// A wire log entry as a readable pair for failure messages.
std::vector<std::pair<bool, int>> Entries(const std::vector<CWireByte>& log);
