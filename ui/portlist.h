// What the Port list offers and how its selection maps back to a device: no widgets in here.
#pragma once

#include <string>
#include <vector>

#include "serial/portdiscovery.h"

// Names longer than this are cut to the text inside their last pair of parentheses.
constexpr size_t kPortNameKeepLength = 6;

// Rewrites each port's friendly name, in discovery order, to the name the Port list offers and
// returns those names. A name longer than 6 characters becomes the text strictly inside its last
// "(" and last ")"; when either is missing or the pair holds nothing, that port and every later
// one are not offered (their records stay as they were).
std::vector<std::string> MakePortNames(std::vector<SerialPortInfo>& ports);

// Alphabetical order without regard to letter case, as the Port list shows its entries.
bool PortNameLess(const std::string& strLeft, const std::string& strRight);
std::vector<std::string> SortPortNames(std::vector<std::string> names);

// The device path of the first port whose (rewritten) friendly name equals strName exactly;
// empty when none does.
std::string FindPortPath(const std::vector<SerialPortInfo>& ports, const std::string& strName);
