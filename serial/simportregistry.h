// How running board simulators register their pseudo-terminals for port discovery, for both
// sides. In the directory, NAME is a symbolic link to the simulator's pty and NAME.lock a file
// the simulator holds an flock on for as long as it runs: a registration whose lock nobody holds
// was left by a simulator that died without cleaning up, and its pty number may meanwhile belong
// to someone else's terminal. Registrations change only under the flock of the directory itself,
// so that discovery, which removes leftovers under it too, never sees a name half taken. Names
// beginning with a dot are a simulator's files in the making.
#pragma once

#include <string>

class CSimPortRegistry
{
public:
    // $XDG_RUNTIME_DIR/kelvora/ports, else /tmp/kelvora-<uid>/ports (no trailing slash).
    // Only computes the path; creates nothing.
    static std::string GetDefaultDirectory();

    explicit CSimPortRegistry(std::string strDirectory = GetDefaultDirectory());

    const std::string& GetDirectory() const { return m_strDirectory; }
    std::string GetLinkPath(const std::string& strName) const;
    std::string GetLockPath(const std::string& strName) const;

    // Takes NAME for strDevice, replacing a leftover or another simulator's registration of it,
    // in the directory made private when missing. Both files come into place by rename, the held
    // lock before the link. 0 with hLock the held lock for Unregister; -1 on failure, nothing left.
    int Register(const std::string& strName, const std::string& strDevice, int& hLock) const;
    // Removes the link and the lock file while they are still this registration's (another
    // simulator may have taken the name), then closes hLock, which lets the lock go.
    void Unregister(const std::string& strName, const std::string& strDevice, int hLock) const;
    // Whether NAME is a registration to offer: a link, not in the making, whose lock is held and
    // whose pty exists. A leftover is removed when the directory lock is free at once (a simulator
    // is registering otherwise, and the next look cleans up); it is never offered either way.
    bool IsLive(const std::string& strName) const;

private:
    std::string m_strDirectory;
};
