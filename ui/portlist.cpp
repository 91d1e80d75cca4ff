#include "ui/portlist.h"

#include <algorithm>
#include <cctype>

std::vector<std::string> MakePortNames(std::vector<SerialPortInfo>& ports)
{
    std::vector<std::string> names;
    for (SerialPortInfo& port : ports) {
        std::string& strName = port.m_strFriendlyName;
        if (strName.size() > kPortNameKeepLength) {
            const size_t nOpen = strName.rfind('(');
            const size_t nClose = strName.rfind(')');
            if (nOpen == std::string::npos || nClose == std::string::npos || nClose < nOpen + 2)
                break;
            strName = strName.substr(nOpen + 1, nClose - nOpen - 1);
        }
        names.push_back(strName);
    }
    return names;
}

bool PortNameLess(const std::string& strLeft, const std::string& strRight)
{
    return std::lexicographical_compare(
        strLeft.begin(), strLeft.end(), strRight.begin(), strRight.end(),
        [](unsigned char a, unsigned char b) { return std::tolower(a) < std::tolower(b); });
}

std::vector<std::string> SortPortNames(std::vector<std::string> names)
{
    std::stable_sort(names.begin(), names.end(), PortNameLess);
    return names;
}

std::string FindPortPath(const std::vector<SerialPortInfo>& ports, const std::string& strName)
{
    for (const SerialPortInfo& port : ports)
        if (port.m_strFriendlyName == strName)
            return port.m_strDevicePath;
    return std::string();
}
