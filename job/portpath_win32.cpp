#include "job/portpath.h"

#include <cctype>

namespace
{
const char* const kDevicePrefix = "\\\\.\\";   // "\\.\": a device by its name, COM10 and up included

bool IsComName(const std::string& str)
{
    if (str.size() < 4 || std::toupper(static_cast<unsigned char>(str[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(str[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(str[2])) != 'M')
        return false;
    for (size_t i = 3; i < str.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(str[i])))
            return false;
    return true;
}
}   // namespace

bool GetDirectDevicePath(const std::string& strAsked, std::string& strPath)
{
    if (strAsked.rfind("\\\\", 0) == 0) {
        strPath = strAsked;
        return true;
    }
    // Ports that SetupAPI does not list (some virtual ports, Wine's) are still opened by name.
    if (!IsComName(strAsked))
        return false;
    strPath = kDevicePrefix + strAsked;
    return true;
}

CPortDevice ResolvePortDevice(const std::string& strDevicePath)
{
    std::string strName =
        strDevicePath.rfind(kDevicePrefix, 0) == 0 ? strDevicePath.substr(4) : strDevicePath;
    for (char& ch : strName)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return CPortDevice{strName, strName};
}
