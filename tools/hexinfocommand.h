// The hexinfo command: checks and loads an Intel hex file as the window does and shows what the
// Hexinfo dialog shows, plus the number of runs of consecutive addresses.
#pragma once

#include <string>

class CConsole;

class CHexInfoCommand
{
public:
    CHexInfoCommand(CConsole& console, bool bJson) : m_console(console), m_bJson(bJson) {}
    // 0, or 1 for a file that is not valid or cannot be loaded (with the line and rule at fault).
    int Run(const std::string& strPath, bool bDump);

private:
    CConsole& m_console;
    bool m_bJson;
};
