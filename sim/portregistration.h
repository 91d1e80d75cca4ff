// A simulated board's registration for port discovery: the symbolic link NAME -> pty in
// GetSimulatorPortDirectory(), and NAME.lock beside it, flock-ed as long as the registration
// lives. Discovery offers a link only while its lock is held, so the leftovers of a simulator
// that died without cleaning up are never offered once its pty belongs to someone else.
#pragma once

#include <string>

class CPortRegistration
{
public:
    CPortRegistration() = default;
    ~CPortRegistration();
    CPortRegistration(const CPortRegistration&) = delete;
    CPortRegistration& operator=(const CPortRegistration&) = delete;

    // Takes the name, replacing a leftover or another simulator's registration of it. Both files
    // come into place by rename, the held lock before the link. False on failure, nothing left.
    bool Register(const std::string& strName, const std::string& strDevice);
    // Removes the link and the lock file while they are still ours (another simulator may have
    // taken the name), then lets the lock go. Safe when not registered.
    void Unregister();
    const std::string& GetLinkPath() const { return m_strLink; }

private:
    std::string m_strLink;
    std::string m_strLock;
    std::string m_strDevice;
    int m_hLock = -1;
};
