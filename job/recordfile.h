// A file of records that several processes of one station append to at once: each line goes
// out in one appending write and is flushed, so lines are never lost, torn or interleaved.
// One file per platform: recordfile_posix.cpp (O_APPEND), recordfile_win32.cpp (FILE_APPEND_DATA).
#pragma once

#include <cstdint>
#include <string>

class CRecordFile
{
public:
    CRecordFile() = default;
    ~CRecordFile();
    CRecordFile(const CRecordFile&) = delete;
    CRecordFile& operator=(const CRecordFile&) = delete;

    // Opens or creates the file for appending. 0, or -1 with "<path>: <the system's reason>".
    int Open(const std::string& strPath, std::string& strError);
    // One line, its line end added. 0, or -1 with the reason.
    int Append(const std::string& strLine, std::string& strError);
    void Close();
    bool IsOpen() const;

private:
    std::string m_strPath;
    intptr_t m_hFile = -1;   // the descriptor or HANDLE; -1 (INVALID_HANDLE_VALUE) closed
};
