#include "wintestenv.h"

#include <cstdlib>

std::vector<std::string> TestPorts()
{
    std::vector<std::string> ports;
    const std::string strList = TestEnvironment("KELVORA_TEST_PORTS");
    size_t nStart = 0;
    while (nStart < strList.size()) {
        size_t nEnd = strList.find(',', nStart);
        if (nEnd == std::string::npos)
            nEnd = strList.size();
        if (nEnd > nStart)
            ports.push_back("\\\\.\\" + strList.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return ports;
}

std::string TestEnvironment(const char* pszName)
{
    const char* pszValue = std::getenv(pszName);
    return pszValue != nullptr ? pszValue : "";
}
