// Discovery and the version name against the running Windows (under Wine on the CI machine).
#include "job/osversion.h"
#include "serial/portdiscovery.h"
#include "wintestenv.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace
{

TEST(WindowsSystem, SetupApiDiscoveryListsOnlyCompletedInterfacePaths)
{
    std::vector<SerialPortInfo> ports;
    ASSERT_NO_THROW(EnumerateSerialPorts(ports));
    for (const SerialPortInfo& info : ports) {
        std::printf("port: %s | %s | %s | usb %d\n", info.m_strDevicePath.c_str(),
                    info.m_strFriendlyName.c_str(), info.m_strDescription.c_str(), info.m_bUsb ? 1 : 0);
        EXPECT_EQ(info.m_strPortName, "");   // SetupAPI names none: the fixed names were not used
        EXPECT_FALSE(info.m_strDevicePath.empty());
        EXPECT_FALSE(info.m_strFriendlyName.empty());
    }
    std::printf("%zu port(s) through SetupAPI\n", ports.size());
}

TEST(WindowsSystem, VersionIsNamedFromTheRealVersionNotTheShimmedOne)
{
    const std::string strText = GetOsVersionText();
    std::printf("OS Version: %s\n", strText.c_str());
    // GetVersionExA reports 6.2 ("Windows 8") on every later Windows to a program without a
    // manifest; the runner names the version its Wine prefix was made for.
    const std::string strWant = TestEnvironment("KELVORA_TEST_OS_NAME");
    if (strWant.empty())
        GTEST_SKIP() << "KELVORA_TEST_OS_NAME not set";
    EXPECT_EQ(strText, strWant);
}

}   // namespace
