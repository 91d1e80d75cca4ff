// kelvora-cli from argv to exit status: parses, checks everything that needs no board, chooses
// the ports, asks for the reset and runs the command on every board.
#pragma once

#include <cstdio>

class CCliApp
{
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailure = 1;
    static constexpr int kExitUsage = 2;
    static constexpr int kExitInterrupted = 130;

    int Run(int argc, const char* const* argv, FILE* pOut = stdout, FILE* pErr = stderr);
};
