#include "sim/portregistration.h"

CPortRegistration::~CPortRegistration()
{
    Unregister();
}

bool CPortRegistration::Register(const std::string& strName, const std::string& strDevice)
{
    Unregister();
    // The directory as it is now: the environment may name another one by the time it ends.
    m_registry = CSimPortRegistry();
    if (m_registry.Register(strName, strDevice, m_hLock) != 0)
        return false;
    m_strName = strName;
    m_strDevice = strDevice;
    m_strLink = m_registry.GetLinkPath(strName);
    return true;
}

void CPortRegistration::Unregister()
{
    if (m_hLock < 0)
        return;
    m_registry.Unregister(m_strName, m_strDevice, m_hLock);
    m_hLock = -1;
}
