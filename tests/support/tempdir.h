// A fresh folder under /tmp for one test or benchmark, removed with everything in it.
#pragma once

#include <string>

class CTempDir
{
public:
    // /tmp/<prefix>-XXXXXX; throws std::runtime_error when it can't be made.
    explicit CTempDir(const char* pszPrefix = "kelvora-test");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    std::string Path(const std::string& strName) const { return m_strPath + "/" + strName; }

private:
    std::string m_strPath;
};
