// What the window's Port list offers and how its selection maps back to a device.
#pragma once

#include <string>
#include <vector>

#include "serial/portdiscovery.h"

// Rewrites each port's friendly name, in discovery order, to the name it is shown by
// (GetShownPortName) and returns those names; a port without a shown name ends the list there:
// it and every later one are not offered (their records stay as they were).
std::vector<std::string> MakePortNames(std::vector<SerialPortInfo>& ports);

// Alphabetical order without regard to letter case, as the Port list shows its entries.
bool PortNameLess(const std::string& strLeft, const std::string& strRight);
std::vector<std::string> SortPortNames(std::vector<std::string> names);

// The device path of the first port whose (rewritten) friendly name equals strName exactly;
// empty when none does.
std::string FindPortPath(const std::vector<SerialPortInfo>& ports, const std::string& strName);
