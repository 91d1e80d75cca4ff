#include "tools/portwatch.h"

CPortWatch::~CPortWatch() = default;

void CPortWatch::Close() {}

void CPortWatch::AddWatches() {}

int CPortWatch::Watch(const std::vector<std::string>&, std::string& strError)
{
    strError = "waiting for a port to go and come back is not available on Windows; leave out --no-prompt "
               "and press Enter for each board";
    return -1;
}

int CPortWatch::WaitGoneAndBack(std::string& strError)
{
    strError = "waiting for a port to go and come back is not available on Windows";
    return -1;
}
