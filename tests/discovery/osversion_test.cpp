#include "serial/osversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <stdlib.h>
#include <sys/utsname.h>

namespace
{

TEST(OsVersion, PrettyNameOfFirstOsReleaseFileAndKernel)
{
    char szTemplate[] = "/tmp/kelvora-osrelease-XXXXXX";
    const std::filesystem::path dir = mkdtemp(szTemplate);
    const std::string strEtc = (dir / "etc-os-release").string();
    const std::string strLib = (dir / "lib-os-release").string();
    struct utsname uts;
    std::memset(&uts, 0, sizeof(uts));
    std::strcpy(uts.sysname, "Linux");
    std::strcpy(uts.release, "6.1.0-18-amd64");

    struct Case
    {
        const char* pszEtc;  // nullptr: file missing
        const char* pszLib;
        bool bUname;
        const char* pszWant;
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n", nullptr, true,
         "Debian GNU/Linux 12 (bookworm), Linux 6.1.0-18-amd64"},
        {"PRETTY_NAME=Gentoo\n", nullptr, true, "Gentoo, Linux 6.1.0-18-amd64"},
        {"PRETTY_NAME='Alpine Linux v3.19'\n", nullptr, true, "Alpine Linux v3.19, Linux 6.1.0-18-amd64"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\o/\"\r\n", nullptr, true, "Say \"hi\" \\o/, Linux 6.1.0-18-amd64"},
        {"# comment\nNAME=\"Arch Linux\"\n", nullptr, true, "Arch Linux, Linux 6.1.0-18-amd64"},
        {nullptr, "PRETTY_NAME=\"Fedora Linux 39\"\n", true, "Fedora Linux 39, Linux 6.1.0-18-amd64"},
        {"ID=bare\n", "PRETTY_NAME=\"Not consulted\"\n", true, "Linux 6.1.0-18-amd64"},
        {nullptr, nullptr, true, "Linux 6.1.0-18-amd64"},
        {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n", nullptr, false, "Debian GNU/Linux 12 (bookworm)"},
        {nullptr, nullptr, false, "Unknown OS Version"},
    };
    for (const Case& c : cases)
    {
        std::filesystem::remove(strEtc);
        std::filesystem::remove(strLib);
        if (c.pszEtc != nullptr)
            std::ofstream(strEtc) << c.pszEtc;
        if (c.pszLib != nullptr)
            std::ofstream(strLib) << c.pszLib;
        EXPECT_EQ(GetOsVersionText({strEtc, strLib}, c.bUname ? &uts : nullptr), c.pszWant);
    }
    std::filesystem::remove_all(dir);
}

TEST(OsVersion, RealMachineNamesItsKernel)
{
    struct utsname uts;
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_NE(GetOsVersionText().find(std::string(uts.sysname) + " " + uts.release), std::string::npos);
}

}  // namespace
