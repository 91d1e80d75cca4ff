// The registration contract between board simulators and discovery: a registration is live
// while its lock is held, leftovers are removed, and a name taken over stays with its new owner.
#include "serial/simportregistry.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

struct CRegistryDir
{
    CRegistryDir() : registry(dir.Path("kelvora/ports")) {}
    bool Exists(const std::string& strPath) const { return fs::exists(fs::symlink_status(strPath)); }

    const CTempDir dir{"kelvora-registry"};
    const CSimPortRegistry registry;
    const std::string strPty = dir.Path("pty");   // stands for a simulator's pty
    const std::string strOtherPty = dir.Path("pty2");
};

TEST(SimPortRegistry, DefaultDirectoryFollowsTheRuntimeDirectory)
{
    const char* pszOld = getenv("XDG_RUNTIME_DIR");
    const std::string strOld = pszOld != nullptr ? pszOld : "";
    ASSERT_EQ(0, setenv("XDG_RUNTIME_DIR", "/run/user/7", 1));
    EXPECT_EQ("/run/user/7/kelvora/ports", CSimPortRegistry::GetDefaultDirectory());
    ASSERT_EQ(0, setenv("XDG_RUNTIME_DIR", "relative", 1));   // not a directory to trust
    EXPECT_EQ("/tmp/kelvora-" + std::to_string(getuid()) + "/ports", CSimPortRegistry::GetDefaultDirectory());
    if (pszOld != nullptr)
        setenv("XDG_RUNTIME_DIR", strOld.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(SimPortRegistry, RegisteredNameIsLiveInAPrivateDirectoryAndGoneAfterUnregister)
{
    const CRegistryDir d;
    std::ofstream(d.strPty).put('\0');
    int hLock = -1;
    ASSERT_EQ(0, d.registry.Register("board", d.strPty, hLock));
    EXPECT_EQ(d.strPty, fs::read_symlink(d.registry.GetLinkPath("board")).string());
    EXPECT_EQ(d.registry.GetLinkPath("board") + ".lock", d.registry.GetLockPath("board"));
    EXPECT_TRUE(d.registry.IsLive("board"));
    struct stat st
    {};
    ASSERT_EQ(0, stat(d.registry.GetDirectory().c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777u);
    d.registry.Unregister("board", d.strPty, hLock);
    EXPECT_TRUE(fs::is_empty(d.registry.GetDirectory()));
}

// What discovery finds in the directory, and what it leaves there.
TEST(SimPortRegistry, OnlyALinkWhoseLockIsHeldAndWhosePtyExistsIsLive)
{
    const struct
    {
        const char* pszName;
        bool bLink;       // NAME is a link to the pty (else a plain file)
        bool bLockFile;   // NAME.lock exists
        bool bHeld;       // and is locked
        bool bPty;        // the link's target exists
        bool bLive;
        bool bKept;   // NAME is still there afterwards
    } cases[] = {
        {"live", true, true, true, true, true, true},
        {"dead", true, true, false, true, false, false},   // its simulator died
        {"no-lock", true, false, false, true, false, false},
        {"pty-gone", true, true, true, false, false, true},   // held: its simulator still runs
        {"not-a-link", false, false, false, true, false, true},
        {".in-the-making", true, true, false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const CRegistryDir d;
        fs::create_directories(d.registry.GetDirectory());
        if (c.bPty)
            std::ofstream(d.strPty).put('\0');
        const std::string strLink = d.registry.GetLinkPath(c.pszName);
        if (c.bLink)
            fs::create_symlink(d.strPty, strLink);
        else
            std::ofstream(strLink).put('\0');
        int hLock = -1;
        if (c.bLockFile) {
            hLock = open(d.registry.GetLockPath(c.pszName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            ASSERT_GE(hLock, 0);
            ASSERT_EQ(0, c.bHeld ? flock(hLock, LOCK_EX) : 0);
        }
        EXPECT_EQ(c.bLive, d.registry.IsLive(c.pszName));
        EXPECT_EQ(c.bKept, d.Exists(strLink));
        EXPECT_EQ(c.bKept && c.bLockFile, d.Exists(d.registry.GetLockPath(c.pszName)));
        if (hLock >= 0)
            close(hLock);
    }
}

// A restarted simulator takes its name over from a leftover or a running one; the one that
// lost it must not remove the new owner's files when it ends.
TEST(SimPortRegistry, NameTakenOverStaysWithItsNewOwner)
{
    const CRegistryDir d;
    std::ofstream(d.strPty).put('\0');
    std::ofstream(d.strOtherPty).put('\0');
    int hFirst = -1;
    int hSecond = -1;
    ASSERT_EQ(0, d.registry.Register("board", d.strPty, hFirst));
    ASSERT_EQ(0, d.registry.Register("board", d.strOtherPty, hSecond));
    EXPECT_EQ(d.strOtherPty, fs::read_symlink(d.registry.GetLinkPath("board")).string());
    d.registry.Unregister("board", d.strPty, hFirst);
    EXPECT_TRUE(d.registry.IsLive("board"));
    EXPECT_EQ(d.strOtherPty, fs::read_symlink(d.registry.GetLinkPath("board")).string());
    d.registry.Unregister("board", d.strOtherPty, hSecond);
    EXPECT_TRUE(fs::is_empty(d.registry.GetDirectory()));
}

}   // namespace
