#include "job/portlist.h"

#include <algorithm>
#include <cctype>

#include "job/boardfacts.h"

std::vector<std::string> MakePortNames(std::vector<SerialPortInfo>& ports)
{
    std::vector<std::string> names;
    for (SerialPortInfo& port : ports) {
        if (!GetShownPortName(port.m_strFriendlyName, port.m_strFriendlyName))
            break;
        names.push_back(port.m_strFriendlyName);
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
