// A simulated board's registration for port discovery, held as long as the object lives or
// until Unregister: the link and the held lock of CSimPortRegistry.
#pragma once

#include "serial/simportregistry.h"

#include <string>

class CPortRegistration
{
public:
    CPortRegistration() = default;
    ~CPortRegistration();
    CPortRegistration(const CPortRegistration&) = delete;
    CPortRegistration& operator=(const CPortRegistration&) = delete;

    // Takes the name in CSimPortRegistry's default directory, replacing a leftover or another
    // simulator's registration of it. False on failure, nothing left.
    bool Register(const std::string& strName, const std::string& strDevice);
    // Lets the registration go (CSimPortRegistry::Unregister). Safe when not registered.
    void Unregister();
    const std::string& GetLinkPath() const { return m_strLink; }

private:
    CSimPortRegistry m_registry;
    std::string m_strName;
    std::string m_strDevice;
    std::string m_strLink;
    int m_hLock = -1;
};
