#include "support/tempdir.h"

#include <filesystem>
#include <stdexcept>
#include <stdlib.h>

CTempDir::CTempDir(const char* pszPrefix)
{
    std::string strTemplate = std::string("/tmp/") + pszPrefix + "-XXXXXX";
    if (mkdtemp(strTemplate.data()) == nullptr)
        throw std::runtime_error("cannot make a folder like " + strTemplate);
    m_strPath = strTemplate;
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}
