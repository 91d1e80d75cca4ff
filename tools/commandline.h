// The command line of kelvora-cli, read with CLI11 into CCliOptions.
#pragma once

#include <string>

#include "tools/clioptions.h"

class CCommandLine
{
public:
    enum EResult
    {
        kRun,         // options filled: run the command
        kShown,       // --help or --version: strText goes to standard output, status 0
        kUsageError   // strText names what is wrong: standard error, status 2
    };

    // argv as main received it. kUsageError: strReason is what was wrong, as a record names it, and
    // options hold what could be read (the command, ports, --json, --record).
    static EResult Parse(int argc, const char* const* argv, CCliOptions& options, std::string& strText,
                         std::string& strReason);
    // The tool's version, as --version shows it after the name.
    static const char* GetVersion();
};
