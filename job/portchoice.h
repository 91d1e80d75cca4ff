// Which device each board of a run is on, from the --port arguments and the discovered ports.
#pragma once

#include <string>
#include <vector>

#include "serial/portdiscovery.h"

struct CBoardPort
{
    std::string strName;         // as the operator knows it: the --port argument, or the shown name
    std::string strDevicePath;   // what the link opens
    // The adapter's serial number, for the record; "" where unknown.
    std::string strSerial = {};
};

// The name a port is known by on the command line and in records: its shown name, or its friendly name as it
// stands where it has none.
std::string GetPortName(const SerialPortInfo& info);

// A --port argument is a name of a discovered port (GetPortName), the device path of one,
// "sn:SERIAL" for the one port of the adapter with that serial number, the by-id path of one, or a
// device named directly (job/portpath.h), taken as it is. Without arguments the only discovered port
// is taken. Two arguments for one device are refused. 0, or the exit status (1 no port found, 2 a
// usage error) with the text.
int ChoosePorts(const std::vector<std::string>& vecAsked, const std::vector<SerialPortInfo>& vecFound,
                std::vector<CBoardPort>& vecChosen, std::string& strError);
