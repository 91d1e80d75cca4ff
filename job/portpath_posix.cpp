#include "job/portpath.h"

bool GetDirectDevicePath(const std::string& strAsked, std::string& strPath)
{
    if (strAsked.find('/') == std::string::npos)
        return false;
    strPath = strAsked;
    return true;
}
