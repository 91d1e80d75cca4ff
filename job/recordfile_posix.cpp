#include "job/recordfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CRecordFile::~CRecordFile()
{
    Close();
}

bool CRecordFile::IsOpen() const
{
    return m_hFile >= 0;
}

int CRecordFile::Open(const std::string& strPath, std::string& strError)
{
    Close();
    int hFd;
    do
        hFd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    while (hFd < 0 && errno == EINTR);
    if (hFd < 0) {
        strError = strPath + ": " + std::strerror(errno);
        return -1;
    }
    m_strPath = strPath;
    m_hFile = hFd;
    return 0;
}

int CRecordFile::Append(const std::string& strLine, std::string& strError)
{
    const std::string strOut = strLine + "\n";
    ssize_t n;
    // A write interrupted before it wrote anything wrote nothing: it may go again whole.
    do
        n = write(static_cast<int>(m_hFile), strOut.data(), strOut.size());
    while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(strOut.size())) {
        strError = m_strPath + ": " + (n < 0 ? std::strerror(errno) : "the line was cut short (disk full?)");
        return -1;
    }
    if (fdatasync(static_cast<int>(m_hFile)) != 0 && errno != EINVAL) {
        strError = m_strPath + ": " + std::strerror(errno);
        return -1;
    }
    return 0;
}

void CRecordFile::Close()
{
    if (m_hFile >= 0)
        close(static_cast<int>(m_hFile));
    m_hFile = -1;
}
