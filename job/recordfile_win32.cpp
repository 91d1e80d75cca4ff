#include "job/recordfile.h"

#include <windows.h>

namespace
{
std::string SystemText(DWORD dwError)
{
    char szText[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   dwError, 0, szText, sizeof szText, nullptr);
    std::string strText(szText, n);
    while (!strText.empty() && (strText.back() == '\n' || strText.back() == '\r' || strText.back() == '.'))
        strText.pop_back();
    return strText.empty() ? "error " + std::to_string(dwError) : strText;
}
}   // namespace

CRecordFile::~CRecordFile()
{
    Close();
}

bool CRecordFile::IsOpen() const
{
    return m_hFile != -1;
}

int CRecordFile::Open(const std::string& strPath, std::string& strError)
{
    Close();
    // Append-only access: every write lands at the file's end, as one, whoever else appends.
    const HANDLE hFile = CreateFileA(strPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) {
        strError = strPath + ": " + SystemText(GetLastError());
        return -1;
    }
    m_strPath = strPath;
    m_hFile = reinterpret_cast<intptr_t>(hFile);
    return 0;
}

int CRecordFile::Append(const std::string& strLine, std::string& strError)
{
    const std::string strOut = strLine + "\n";
    DWORD dwWritten = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(m_hFile), strOut.data(), static_cast<DWORD>(strOut.size()),
                   &dwWritten, nullptr) ||
        dwWritten != strOut.size() || !FlushFileBuffers(reinterpret_cast<HANDLE>(m_hFile))) {
        strError = m_strPath + ": " + SystemText(GetLastError());
        return -1;
    }
    return 0;
}

void CRecordFile::Close()
{
    if (m_hFile != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_hFile));
    m_hFile = -1;
}
