#include "job/portchoice.h"

#include <algorithm>
#include <cctype>

#include "job/boardfacts.h"
#include "job/portpath.h"

namespace
{
const char* const kSerialPrefix = "sn:";

bool EqualsIgnoringCase(const std::string& strA, const std::string& strB)
{
    return strA.size() == strB.size() &&
           std::equal(strA.begin(), strA.end(), strB.begin(),
                      [](unsigned char a, unsigned char b) { return std::tolower(a) == std::tolower(b); });
}

// "sn:SERIAL": the one port of the adapter with that serial number (letter case aside, as labels
// and Windows differ in it). 0 with the path, else 2 with what is there.
int ChooseBySerialNumber(const std::string& strAsked, const std::vector<SerialPortInfo>& vecFound,
                         std::string& strPath, std::string& strError)
{
    const std::string strSerial = strAsked.substr(std::string(kSerialPrefix).size());
    std::string strMatches;
    std::string strSerials;
    int nMatches = 0;
    for (const SerialPortInfo& info : vecFound) {
        if (info.m_strSerialNumber.empty())
            continue;
        const std::string strLine = "\n  " + info.m_strSerialNumber + "\t" + GetPortName(info) + "\t" +
                                    (info.m_strByIdPath.empty() ? info.m_strDevicePath : info.m_strByIdPath);
        strSerials += strLine;
        if (EqualsIgnoringCase(info.m_strSerialNumber, strSerial)) {
            strMatches += strLine;
            strPath = info.m_strDevicePath;
            ++nMatches;
        }
    }
    if (nMatches == 1)
        return 0;
    if (nMatches > 1)
        strError = "--port: the adapter with serial number '" + strSerial +
                   "' has several ports; choose one by its path:" + strMatches;
    else if (strSerials.empty())
        strError = "--port: no adapter with serial number '" + strSerial +
                   "': no adapter with a serial number found";
    else
        strError =
            "--port: no adapter with serial number '" + strSerial + "'; serial numbers found:" + strSerials;
    return 2;
}

// A stable path (by-id) is a link to the tty the adapter is on now: that tty, empty when none.
std::string FindByIdPort(const std::string& strAsked, const std::vector<SerialPortInfo>& vecFound)
{
    const std::string strKey = ResolvePortDevice(strAsked).strKey;
    for (const SerialPortInfo& info : vecFound)
        if (!info.m_strByIdPath.empty() && ResolvePortDevice(info.m_strByIdPath).strKey == strKey)
            return info.m_strDevicePath;
    return std::string();
}

// One board under two names would be opened twice, the second open resetting the first run.
int RefuseSameDevice(const std::vector<CBoardPort>& vecChosen, std::string& strError)
{
    std::vector<CPortDevice> vecDevices;
    for (const CBoardPort& port : vecChosen) {
        const CPortDevice device = ResolvePortDevice(port.strDevicePath);
        for (size_t i = 0; i < vecDevices.size(); ++i)
            if (vecDevices[i].strKey == device.strKey) {
                strError = "--port: '" + vecChosen[i].strName + "' and '" + port.strName +
                           "' are the same port (" + device.strPath + "); give each board once";
                return 2;
            }
        vecDevices.push_back(device);
    }
    return 0;
}
}   // namespace

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
        vecChosen.push_back(
            {GetPortName(vecFound[0]), vecFound[0].m_strDevicePath, vecFound[0].m_strSerialNumber});
        return 0;
    }
    for (const std::string& strAsked : vecAsked) {
        std::string strPath;
        for (const SerialPortInfo& info : vecFound)
            if (GetPortName(info) == strAsked || info.m_strDevicePath == strAsked) {
                strPath = info.m_strDevicePath;
                break;
            }
        if (strPath.empty() && strAsked.rfind(kSerialPrefix, 0) == 0 &&
            ChooseBySerialNumber(strAsked, vecFound, strPath, strError) != 0)
            return 2;
        if (strPath.empty())
            strPath = FindByIdPort(strAsked, vecFound);
        if (strPath.empty())
            GetDirectDevicePath(strAsked, strPath);
        if (strPath.empty()) {
            strError = "--port: unknown port '" + strAsked +
                       "' ('kelvora-cli ports' lists them; a device path works too)";
            return 2;
        }
        std::string strSerial;
        for (const SerialPortInfo& info : vecFound)
            if (info.m_strDevicePath == strPath)
                strSerial = info.m_strSerialNumber;
        vecChosen.push_back({strAsked, strPath, strSerial});
    }
    return RefuseSameDevice(vecChosen, strError);
}
