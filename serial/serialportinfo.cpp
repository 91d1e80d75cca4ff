// The rules every discovery method shares: completion of a record and the merge by port name.
#include "serial/portdiscovery.h"

void CompleteSerialPortInfo(SerialPortInfo& info)
{
    if (info.m_strFriendlyName.empty())
        info.m_strFriendlyName = info.m_strPortName;
    if (info.m_strDescription.empty()) {
        info.m_strDescription = info.m_strFriendlyName;
        const size_t nOpen = info.m_strDescription.find(" (");
        if (nOpen != std::string::npos && nOpen > 0 &&
            info.m_strDescription.find(')') == info.m_strDescription.size() - 1)
            info.m_strDescription.erase(nOpen);
    }
}

void MergeSerialPortInfo(std::vector<SerialPortInfo>& ports, const SerialPortInfo& info)
{
    for (SerialPortInfo& existing : ports) {
        if (existing.m_strPortName == info.m_strPortName) {
            existing = info;
            return;
        }
    }
    ports.push_back(info);
}

std::string NormalizeUsbId(const std::string& strId)
{
    std::string strDigits = strId.rfind("0x", 0) == 0 ? strId.substr(2) : strId;
    if (strDigits.size() != 4)
        return std::string();
    for (char& ch : strDigits) {
        if (ch >= 'A' && ch <= 'F')
            ch = static_cast<char>(ch - 'A' + 'a');
        else if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f')))
            return std::string();
    }
    return strDigits;
}
