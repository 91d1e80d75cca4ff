#include "serial/simportdirectory.h"

#include <cstdlib>
#include <unistd.h>

std::string GetSimulatorPortDirectory()
{
    const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
    if (pszRuntime != nullptr && pszRuntime[0] == '/')
        return std::string(pszRuntime) + "/kelvora/ports";
    return "/tmp/kelvora-" + std::to_string(static_cast<unsigned long>(getuid())) + "/ports";
}
