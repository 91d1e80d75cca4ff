#include "job/portchoice.h"

#include "job/boardfacts.h"
#include "job/portpath.h"

std::string GetPortName(const SerialPortInfo& info)
{
    std::string strShown;
    return GetShownPortName(info.m_strFriendlyName, strShown) ? strShown : info.m_strFriendlyName;
}

int ChoosePorts(const std::vector<std::string>& vecAsked, const std::vector<SerialPortInfo>& vecFound,
                std::vector<CBoardPort>& vecChosen, std::string& strError)
{
    vecChosen.clear();
    if (vecAsked.empty()) {
        if (vecFound.empty()) {
            strError = "no serial port found; give one with --port";
            return 1;
        }
        if (vecFound.size() > 1) {
            strError = "several serial ports found; choose one with --port:";
            for (const SerialPortInfo& info : vecFound)
                strError += "\n  " + GetPortName(info) + "\t" + info.m_strDevicePath;
            return 2;
        }
        vecChosen.push_back({GetPortName(vecFound[0]), vecFound[0].m_strDevicePath});
        return 0;
    }
    for (const std::string& strAsked : vecAsked) {
        std::string strPath;
        for (const SerialPortInfo& info : vecFound)
            if (GetPortName(info) == strAsked || info.m_strDevicePath == strAsked) {
                strPath = info.m_strDevicePath;
                break;
            }
        if (strPath.empty())
            GetDirectDevicePath(strAsked, strPath);
        if (strPath.empty()) {
            strError = "--port: unknown port '" + strAsked +
                       "' ('kelvora-cli ports' lists them; a device path works too)";
            return 2;
        }
        vecChosen.push_back({strAsked, strPath});
    }
    return 0;
}
