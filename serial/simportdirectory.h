// Where running board simulators register their pseudo-terminals for port discovery.
#pragma once

#include <string>

// $XDG_RUNTIME_DIR/kelvora/ports, else /tmp/kelvora-<uid>/ports (no trailing slash).
// Only computes the path; creates nothing.
std::string GetSimulatorPortDirectory();
