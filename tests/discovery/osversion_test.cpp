#include "job/osversion.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <stdlib.h>
#include <sys/utsname.h>

namespace
{

TEST(OsVersion, PrettyNameOfFirstOsReleaseFileAndKernel)
{
    const CTempDir dir("kelvora-osrelease");
    const std::string strEtc = dir.Path("etc-os-release");
    const std::string strLib = dir.Path("lib-os-release");
    struct utsname uts = {};
    std::strcpy(uts.sysname, "Linux");
    std::strcpy(uts.release, "6.1.0");

    // os-release texts (nullptr: file missing), the uname result (nullptr: uname failed), the text wanted
    const std::tuple<const char*, const char*, const struct utsname*, const char*> cases[] = {
        {"NAME=\"Debian\"\nPRETTY_NAME=\"Debian 12 (bookworm)\"\n", nullptr, &uts,
         "Debian 12 (bookworm), Linux 6.1.0"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\o/\"\r\n", nullptr, &uts, "Say \"hi\" \\o/, Linux 6.1.0"},
        {"# comment\nNAME=\"Arch Linux\"\nID=arch\n", nullptr, &uts, "Arch Linux, Linux 6.1.0"},
        {nullptr, "PRETTY_NAME=Gentoo\n", &uts, "Gentoo, Linux 6.1.0"},
        {"ID=bare\n", "PRETTY_NAME=\"Not consulted\"\n", &uts, "Linux 6.1.0"},
        {nullptr, nullptr, &uts, "Linux 6.1.0"},
        {"PRETTY_NAME='Alpine Linux v3.19'\n", nullptr, nullptr, "Alpine Linux v3.19"},
        {nullptr, nullptr, nullptr, "Unknown OS Version"},
    };
    for (const auto& [pszEtc, pszLib, pUname, pszWant] : cases) {
        for (const auto& [strPath, pszText] : {std::pair(strEtc, pszEtc), std::pair(strLib, pszLib)}) {
            std::filesystem::remove(strPath);
            if (pszText != nullptr)
                std::ofstream(strPath) << pszText;
        }
        EXPECT_EQ(GetOsVersionText({strEtc, strLib}, pUname), pszWant);
    }
}

TEST(OsVersion, RealMachineNamesItsKernel)
{
    struct utsname uts;
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_NE(GetOsVersionText().find(std::string(uts.sysname) + " " + uts.release), std::string::npos);
}

}   // namespace
