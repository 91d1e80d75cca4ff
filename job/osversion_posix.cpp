#include "job/osversion.h"

#include <fstream>

#include <sys/utsname.h>

namespace
{

// A value of os-release, which follows shell quoting: "..." with backslash escapes, '...' verbatim.
std::string UnquoteValue(const std::string& strRaw)
{
    if (strRaw.size() >= 2 && strRaw[0] == '\'' && strRaw.back() == '\'')
        return strRaw.substr(1, strRaw.size() - 2);
    if (strRaw.size() >= 2 && strRaw[0] == '"' && strRaw.back() == '"') {
        std::string strValue;
        for (size_t i = 1; i + 1 < strRaw.size(); ++i) {
            if (strRaw[i] == '\\' && i + 2 < strRaw.size())
                ++i;
            strValue += strRaw[i];
        }
        return strValue;
    }
    return strRaw;
}

// PRETTY_NAME, else NAME, of the first file that opens; the later files are only
// fallbacks for a missing first one, as os-release prescribes.
std::string ReadOsName(const std::vector<std::string>& osReleaseFiles)
{
    for (const std::string& strPath : osReleaseFiles) {
        std::ifstream file(strPath);
        if (!file)
            continue;
        std::string strPretty;
        std::string strName;
        std::string strLine;
        while (std::getline(file, strLine)) {
            while (!strLine.empty() &&
                   (strLine.back() == '\r' || strLine.back() == ' ' || strLine.back() == '\t'))
                strLine.pop_back();
            if (strLine.rfind("PRETTY_NAME=", 0) == 0)
                strPretty = UnquoteValue(strLine.substr(12));
            else if (strLine.rfind("NAME=", 0) == 0)
                strName = UnquoteValue(strLine.substr(5));
        }
        return strPretty.empty() ? strName : strPretty;
    }
    return std::string();
}

}   // namespace

std::string GetOsVersionText()
{
    struct utsname uts;
    const bool bUname = uname(&uts) == 0;
    return GetOsVersionText({"/etc/os-release", "/usr/lib/os-release"}, bUname ? &uts : nullptr);
}

std::string GetOsVersionText(const std::vector<std::string>& osReleaseFiles, const struct utsname* pUname)
{
    const std::string strOs = ReadOsName(osReleaseFiles);
    std::string strKernel;
    if (pUname != nullptr && pUname->sysname[0] != '\0')
        strKernel = std::string(pUname->sysname) + (pUname->release[0] != '\0' ? " " : "") + pUname->release;
    if (strOs.empty() && strKernel.empty())
        return "Unknown OS Version";
    if (strOs.empty() || strKernel.empty())
        return strOs + strKernel;
    return strOs + ", " + strKernel;
}
