#include "job/portpath.h"

#include <cstdlib>

#include <sys/stat.h>

bool GetDirectDevicePath(const std::string& strAsked, std::string& strPath)
{
    if (strAsked.find('/') == std::string::npos)
        return false;
    strPath = strAsked;
    return true;
}

CPortDevice ResolvePortDevice(const std::string& strDevicePath)
{
    CPortDevice device{strDevicePath, strDevicePath};
    if (char* pszResolved = realpath(strDevicePath.c_str(), nullptr)) {
        device.strPath = pszResolved;
        device.strKey = pszResolved;
        std::free(pszResolved);
    }
    struct stat st;
    if (stat(strDevicePath.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
        device.strKey = "char " + std::to_string(static_cast<unsigned long long>(st.st_rdev));
    return device;
}
