// Waits for serial ports to go and come back, as an adapter unplugged and plugged in again
// does: how a station without a keyboard knows the next board is there. Blocks on the system's
// file events (portwatch_posix.cpp: inotify on the ports' folders), never polls; Ctrl-C ends it.
#pragma once

#include <map>
#include <string>
#include <vector>

class CPortWatch
{
public:
    CPortWatch() = default;
    ~CPortWatch();
    CPortWatch(const CPortWatch&) = delete;
    CPortWatch& operator=(const CPortWatch&) = delete;

    // From now on a port that goes counts. 0, or -1 with the reason.
    int Watch(const std::vector<std::string>& vecPaths, std::string& strError);
    // Blocks until every port went and is back, ready to be opened: 0; -1 after Ctrl-C
    // (IsInterrupted) or with the reason.
    int WaitGoneAndBack(std::string& strError);

private:
    void AddWatches();
    void Close();

    std::vector<std::string> m_vecPaths;
    std::vector<bool> m_vecGone;
    std::map<int, std::string> m_mapFolders;   // watch descriptor: folder
    int m_hEvents = -1;
};
